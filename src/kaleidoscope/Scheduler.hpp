#pragma once

#include "core/AudioDevice.hpp"
#include "core/Random.hpp"
#include "kaleidoscope/Animators.hpp"

#include <cstdint>
#include <optional>

namespace kalvotune::kaleidoscope {

/// The five figure types, as `PatternState::figureType` holds them.
inline constexpr std::uint8_t kBall{1};
inline constexpr std::uint8_t kBallCasual{2};
inline constexpr std::uint8_t kCasual{3};
inline constexpr std::uint8_t kMicroPlus{4};
inline constexpr std::uint8_t kMicro{5};

/// The mode scheduler: how the template steers each pattern tick, the figure types and
/// the automatic mode change. Reads and writes the engine's inputs (tick, interval, mode,
/// figure type, the pending change) and reads the play position of `device`. Which timer
/// runs a mode is its owner's business: a tick that changes the mode says so instead of
/// drawing.
class Scheduler {
public:
    /// All references must outlive the scheduler.
    Scheduler(Engine& engine, AudioDevice& device, Random& random);

    /// The first step of every pattern tick: the template tick from the play position,
    /// the interval, re-selection and the tick's values. False when the automatic mode
    /// change picked a new `modeNumber` instead: the tick must end at once, and whoever
    /// runs the ticks restarts them for the new mode.
    bool TickStep();
    /// One whole pattern tick drawing `mode`: `TickStep`, then the mode's drawing. False
    /// as `TickStep`. Without tables nothing happens (true).
    bool Tick(int mode);
    /// Fills the figure slots for the current figure type.
    void SelectFigures();
    /// Makes `type` the figure type and fills the slots for it.
    void ApplyFigureType(std::uint8_t type);
    /// Applies one of the five figure types at random.
    void RandomFigureType();
    /// Steps `modeNumber` on by one: past the last mode (or from any stored number as
    /// large) it starts again at 0, and micro plus skips mode 7.
    void NextMode();
    /// Without a template while playing: the generated speed channel gets a mark every
    /// `period` ticks instead of its old ones. Nothing for a period below 1.
    void MarkEvery(int period);

    /// Listening to live sound: the template tick is `tick` instead of the play position
    /// (the picture's delay is already in it), and the figures move as while playing.
    /// Empty follows the play position again.
    void FollowLiveTick(std::optional<int> tick) { m_liveTick = tick; }

    /// The template tick of the previous pattern tick.
    int PreviousTick() const { return m_previousTick; }
    const Animators& PatternAnimators() const { return m_animators; }

private:
    bool Playing() const;

    Engine& m_engine;
    PatternState& m_state;
    TemplateChannels& m_channels;
    AudioDevice& m_device;
    Random& m_random;
    Animators m_animators;
    int m_previousTick{};
    std::optional<int> m_liveTick;
};

} // namespace kalvotune::kaleidoscope
