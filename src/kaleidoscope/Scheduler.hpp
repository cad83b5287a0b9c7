#pragma once

#include "core/Controls.hpp"
#include "core/Form.hpp"
#include "core/Services.hpp"

namespace kalvotune::kaleidoscope {

class Engine;

/// The mode scheduler and the window's kaleidoscope handlers: which pattern timer runs,
/// how the template steers each tick, the figure types, Auto and Drive.
class Scheduler {
public:
    Scheduler(Form& form, Services& services, Engine& engine);

    /// The first step of every pattern tick; false means the tick must end at once.
    bool TickStep();
    /// On: starts `Timer15`, enables `Fullscreen1` and the pattern timer of `ModeNumber`
    /// (no pattern timer when the tables failed to load). Off: stops them all.
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
    void PatternTimerTimer(TimerControl& timer);

private:
    Form& m_form;
    Services& m_services;
    Engine& m_engine;
};

} // namespace kalvotune::kaleidoscope
