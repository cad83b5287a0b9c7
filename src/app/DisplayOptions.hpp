#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"

namespace kalvotune::app {

class PatternCommands;

/// The display items of the settings menu: smoothing, smearing, the clock, graphics on
/// and off, and the screenshot.
class DisplayOptions {
public:
    DisplayOptions(Form& form, Services& services, PatternCommands& patterns);

    /// "сглаживать": toggles smoothing and switches smearing off.
    void ToggleSmoothing();
    /// "размазать": toggles smearing and switches smoothing off.
    void ToggleSmearing();
    /// "Показывать таймер": the clock is shown exactly while the item is ticked.
    void ApplyClockVisibility();
    /// "Откл/включить графику": graphics off stops the patterns; on restarts them only
    /// while a track plays with no list shown.
    void ToggleGraphics();
    /// "ScreenShot": saves the surface as ScreenShot/ScreenShot.BMP, the next start picture.
    void SaveScreenShot();

private:
    Form& m_form;
    Services& m_services;
    PatternCommands& m_patterns;
};

} // namespace kalvotune::app
