#pragma once

#include "core/Controls.hpp"
#include "core/Form.hpp"
#include "core/Services.hpp"
#include "kaleidoscope/Animators.hpp"

namespace kalvotune::kaleidoscope {

/// The mode scheduler and the window's kaleidoscope handlers: which pattern timer runs,
/// how the template steers each tick, the figure types, Auto and Drive.
class Scheduler {
public:
    Scheduler(Form& form, Services& services, Engine& engine);

    /// The first step of every pattern tick; false means the tick must end at once.
    bool TickStep();
    /// On: enables `Fullscreen1` and starts the pattern timer of `ModeNumber` with `Timer15`
    /// (neither when the tables failed to load). Off: stops them all.
    void RunPatterns(bool on);
    /// Fills the figure slots for the current `FigureType`.
    void SelectFigures();
    /// Applies one of the five figure types at random.
    void RandomFigureType();

    void SpeedButton5Click();
    void SpeedButton1Click();
    void Timer3Timer();
    void TrackBar1Change();
    void TrackBar2Change();
    void BallClick();
    void BallCasualClick();
    void CasualClick();
    void MicroClick();
    void MicroPlusClick();
    /// Drive: toggles `MotionOff` (also the `Drive` menu item).
    void SpeedButton10Click();

    /// Runs the handler of one of the eleven pattern timers (`Timer1`, `Timer5` ... `Timer14`).
    /// The tick's handler sets `timer.interval` to `PatternInterval` and draws the mode
    /// that `ModeNumber` names when that mode belongs to `timer`, else the timer's own mode.
    /// A timer that is not a pattern timer, or tables that are not loaded, do nothing.
    void PatternTimerTimer(TimerControl& timer);

    /// The `TemplateTick` of the previous pattern tick.
    int PreviousTick() const { return m_previousTick; }
    const Animators& PatternAnimators() const { return m_animators; }

private:
    /// The mode a firing of `timer` draws; -1 when `timer` is no pattern timer.
    int ModeOfTimer(const TimerControl& timer) const;
    bool Playing() const;
    void ApplyFigureType(std::uint8_t type);

    Form& m_form;
    Services& m_services;
    Engine& m_engine;
    Animators m_animators;
    int m_previousTick{};
};

} // namespace kalvotune::kaleidoscope
