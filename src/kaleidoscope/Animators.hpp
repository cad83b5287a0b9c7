#pragma once

#include "core/Random.hpp"
#include "kaleidoscope/Engine.hpp"

#include <array>
#include <span>

namespace kalvotune::kaleidoscope {

inline constexpr int kModeCount{16};

/// The number of the window's pattern timer (1, 5..14) that animates each mode 0..15:
/// modes that share a timer share its pace. Any other mode number runs on timer 10.
inline constexpr std::array<int, kModeCount> kModeTimerNumbers{5, 6, 7, 8, 9, 10, 11, 14, 6, 1, 12, 10, 10, 7, 6, 13};
inline constexpr int kOtherModesTimerNumber{10};
/// The pattern timers' numbers in the order the window switches them off.
inline constexpr std::array<int, 11> kPatternTimerNumbers{1, 5, 6, 7, 8, 9, 10, 11, 12, 14, 13};
/// The interval every pattern timer starts with, in ms.
inline constexpr int kFirstPatternInterval{20};

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
    /// Draws with `engine` from the engine's inputs; both references must outlive the object.
    Animators(Engine& engine, Random& random)
        : m_engine{engine}
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
    Random& m_random;
    int m_freezeSign{1};
    int m_lastFreezeTick{};
};

} // namespace kalvotune::kaleidoscope
