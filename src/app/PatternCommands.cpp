#include "app/PatternCommands.hpp"

#include <string>

namespace kalvotune::app {

PatternCommands::PatternCommands(
    Form& form, AudioDevice& device, kaleidoscope::Engine& engine, kaleidoscope::Scheduler& scheduler)
    : m_form{form}
    , m_device{device}
    , m_engine{engine}
    , m_scheduler{scheduler}
{
}

bool PatternCommands::Playing() const
{
    return m_device.Mode() == DeviceMode::Playing;
}

void PatternCommands::ShowMode()
{
    m_form.ModeButton.caption = std::to_string(m_form.ModeNumber);
}

void PatternCommands::RunPatterns(bool on)
{
    Form& f = m_form;
    for (TimerControl* timer : f.PatternTimers())
        timer->enabled = false;
    if (!on) {
        f.KeepAwakeTimer.enabled = false;
        if (!f.IsFullScreen)
            f.FullScreenItem.enabled = false;
        return;
    }
    f.FullScreenItem.enabled = true;
    // Without tables there is nothing to draw from, so no pattern timer runs, and the
    // session needs no keeping awake for a picture that does not move.
    if (!m_engine.Ready()) {
        f.KeepAwakeTimer.enabled = false;
        return;
    }
    f.KeepAwakeTimer.enabled = true;
    const bool known = f.ModeNumber >= 0 && f.ModeNumber < kaleidoscope::kModeCount;
    TimerControl Form::*timer = known ? kModeTimers[static_cast<std::size_t>(f.ModeNumber)] : &Form::Timer10;
    (f.*timer).enabled = true;
}

void PatternCommands::ChooseBallFigures()
{
    m_scheduler.ApplyFigureType(kaleidoscope::kBall);
}
void PatternCommands::ChooseBallPlusFigures()
{
    m_scheduler.ApplyFigureType(kaleidoscope::kBallCasual);
}
void PatternCommands::ChooseRandomFigures()
{
    m_scheduler.ApplyFigureType(kaleidoscope::kCasual);
}
void PatternCommands::ChooseMicroFigures()
{
    m_scheduler.ApplyFigureType(kaleidoscope::kMicro);
}
void PatternCommands::ChooseMicroPlusFigures()
{
    m_scheduler.ApplyFigureType(kaleidoscope::kMicroPlus);
}

void PatternCommands::NextMode()
{
    m_scheduler.NextMode();
    ShowMode();
    if (Playing())
        RunPatterns(true);
}

void PatternCommands::ToggleAutoModeChange()
{
    m_form.AutoModeTimer.enabled = !m_form.AutoModeTimer.enabled;
    m_form.AutoModeRateSlider.visible = m_form.AutoModeTimer.enabled;
}

void PatternCommands::OnAutoModeTick()
{
    m_form.AutoChangeDue = true;
}

void PatternCommands::ApplyPictureRate()
{
    m_scheduler.MarkEvery(m_form.PictureRateSlider.position);
}

void PatternCommands::ApplyAutoModeRate()
{
    m_form.AutoModeTimer.interval = m_form.AutoModeRateSlider.position;
}

void PatternCommands::ToggleMotion()
{
    m_form.MotionOff = !m_form.MotionOff;
}

int PatternCommands::ModeOfTimer(const TimerControl& timer) const
{
    Form& f = m_form;
    const int mode = f.ModeNumber;
    if (mode >= 0 && mode < kaleidoscope::kModeCount) {
        if (&(f.*kModeTimers[static_cast<std::size_t>(mode)]) == &timer)
            return mode;
    } else if (&timer == &f.Timer10) {
        return mode;
    }
    for (int m = 0; m < kaleidoscope::kModeCount; ++m)
        if (&(f.*kModeTimers[static_cast<std::size_t>(m)]) == &timer)
            return m == 5 ? 11 : m; // Timer10 on its own draws without a background
    return -1;
}

void PatternCommands::OnPatternTick(TimerControl& timer)
{
    const int mode = ModeOfTimer(timer);
    if (mode < 0 || !m_engine.Ready())
        return;
    // The menu's ticks are the window's; the kaleidoscope draws with what they say now.
    PatternState& state = m_form.pattern;
    state.smoothing = m_form.SmoothingItem.checked;
    state.smearing = m_form.SmearingItem.checked;
    state.autoFigureType = m_form.AutoFiguresItem.checked;
    if (!m_scheduler.Tick(mode)) {
        ShowMode();
        RunPatterns(true);
        return;
    }
    timer.interval = m_form.PatternInterval;
}

} // namespace kalvotune::app
