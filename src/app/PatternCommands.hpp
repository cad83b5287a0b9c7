#pragma once

#include "core/AudioDevice.hpp"
#include "core/Form.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"

#include <array>

namespace kalvotune::app {

/// The window's pattern timer of number 1 or 5..14; any other number stands for `Timer10`.
constexpr TimerControl Form::*PatternTimerOf(int number)
{
    switch (number) {
    case 1:
        return &Form::Timer1;
    case 5:
        return &Form::Timer5;
    case 6:
        return &Form::Timer6;
    case 7:
        return &Form::Timer7;
    case 8:
        return &Form::Timer8;
    case 9:
        return &Form::Timer9;
    case 11:
        return &Form::Timer11;
    case 12:
        return &Form::Timer12;
    case 13:
        return &Form::Timer13;
    case 14:
        return &Form::Timer14;
    default:
        return &Form::Timer10;
    }
}

/// The pattern timer that animates each mode 0..15; any other mode number runs on `Timer10`.
inline constexpr std::array<TimerControl Form::*, kaleidoscope::kModeCount> kModeTimers = [] {
    std::array<TimerControl Form::*, kaleidoscope::kModeCount> timers{};
    for (std::size_t mode = 0; mode < timers.size(); ++mode)
        timers[mode] = PatternTimerOf(kaleidoscope::kModeTimerNumbers[mode]);
    return timers;
}();

/// The window's kaleidoscope handlers: which pattern timer runs, the mode and figure-type
/// buttons and menu items, Auto, Drive and the picture-change slider. They steer the
/// scheduler, which draws from `form.Pattern()`, and show its state in the window.
class PatternCommands {
public:
    /// All references must outlive the object; `engine` draws from `form.Pattern()`.
    PatternCommands(Form& form, AudioDevice& device, kaleidoscope::Engine& engine, kaleidoscope::Scheduler& scheduler);

    /// On: enables `FullScreenItem` and starts the pattern timer of `ModeNumber` with `KeepAwakeTimer`
    /// (neither when the tables failed to load). Off: stops them all.
    void RunPatterns(bool on);

    void NextMode();
    void ToggleAutoModeChange();
    void OnAutoModeTick();
    void ApplyPictureRate();
    void ApplyAutoModeRate();
    void ChooseBallFigures();
    void ChooseBallPlusFigures();
    void ChooseRandomFigures();
    void ChooseMicroFigures();
    void ChooseMicroPlusFigures();
    /// Drive: toggles `MotionOff` (also the `DriveItem` menu item).
    void ToggleMotion();

    /// Runs the handler of one of the eleven pattern timers (`Timer1`, `Timer5` ... `Timer14`).
    /// The tick's handler sets `timer.interval` to `PatternInterval` and draws the mode
    /// that `ModeNumber` names when that mode belongs to `timer`, else the timer's own mode.
    /// An automatic mode change shows the new mode and restarts the patterns instead.
    /// A timer that is not a pattern timer, or tables that are not loaded, do nothing.
    void OnPatternTick(TimerControl& timer);

private:
    /// The mode a firing of `timer` draws; -1 when `timer` is no pattern timer.
    int ModeOfTimer(const TimerControl& timer) const;
    bool Playing() const;
    void ShowMode();

    Form& m_form;
    AudioDevice& m_device;
    kaleidoscope::Engine& m_engine;
    kaleidoscope::Scheduler& m_scheduler;
};

} // namespace kalvotune::app
