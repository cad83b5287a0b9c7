#pragma once

#include "core/Form.hpp"
#include "core/Random.hpp"
#include "kaleidoscope/Engine.hpp"

#include <array>
#include <span>

namespace kalvotune::kaleidoscope {

inline constexpr int kModeCount{16};

/// The pattern timer that animates each mode 0..15; any other mode number runs on `Timer10`.
inline constexpr std::array<TimerControl Form::*, kModeCount> kModeTimers{&Form::Timer5, &Form::Timer6, &Form::Timer7,
    &Form::Timer8, &Form::Timer9, &Form::Timer10, &Form::Timer11, &Form::Timer14, &Form::Timer6, &Form::Timer1,
    &Form::Timer12, &Form::Timer10, &Form::Timer10, &Form::Timer7, &Form::Timer6, &Form::Timer13};

/// One step of a mode's paint list.
enum class PaintOp { Flat, Rising, Falling, MoveOnMark, Smooth };
/// The value a paint step writes, from the tick's colours.
enum class PaintValue { Blue, Green, Red, BlueDiv3, GreenDiv3, BlueDivDB, GreenDivDG, Zero };
/// A `last` slot that stands for first + value div 50 (the counted figures of mode 0).
inline constexpr int kCountedLast{-1};

struct PaintCall {
    PaintOp op{};
    PaintValue value{};
    int channel{};
    int first{};
    int last{}; ///< inclusive
};

enum class BackgroundKind { None, Ramp, Level, Thirds, Black, Dark };

struct BackgroundRule {
    BackgroundKind kind{BackgroundKind::None};
    int a{};
    int r{};
    int g{};
    bool onMarksOnly{};
};

/// Everything that tells one mode's pattern tick from another's.
struct ModeRecipe {
    /// Fade factors a/b for blue, green, red; a zero divisor means no fade.
    std::array<int, 6> fade{};
    /// Slots 0..moveEnd-1 move by `CurrentSpeed` before painting.
    int moveEnd{kFigureSlots};
    /// Mode 13: alternates between animated and frozen at each picture-change mark.
    bool freezes{};
    /// Mode 10: draws the divisors dG and dB before moving.
    bool drawsDivisors{};
    std::span<const PaintCall> paint;
    BackgroundRule background;
};

/// The recipe of `mode`; a number outside 0..15 gets the plain `Timer10` recipe (mode 11).
const ModeRecipe& Recipe(int mode);

/// The body of every pattern handler after `TickStep` and the interval: pre-check, fade,
/// move, paint, background and `FinishFrame`. Keeps mode 13's freeze state across ticks
/// and across mode changes.
class Animators {
public:
    Animators(Engine& engine, Form& form, Random& random)
        : m_engine{engine}
        , m_form{form}
        , m_random{random}
    {
    }

    /// Runs one pattern tick of `mode`; the tick's values must already be set by `TickStep`.
    void RunPatternTick(int mode);

    int FreezeSign() const { return m_freezeSign; }

private:
    void Paint(const PaintCall& call, int dividerBlue, int dividerGreen);
    void ApplyBackground(const BackgroundRule& rule);

    Engine& m_engine;
    Form& m_form;
    Random& m_random;
    int m_freezeSign{1};
    int m_lastFreezeTick{};
};

} // namespace kalvotune::kaleidoscope
