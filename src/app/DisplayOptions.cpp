#include "app/DisplayOptions.hpp"

#include "app/PatternCommands.hpp"
#include "core/AudioDevice.hpp"
#include "core/SurfaceFile.hpp"

namespace kalvotune::app {

DisplayOptions::DisplayOptions(Form& form, Services& services, PatternCommands& patterns)
    : m_form{form}
    , m_services{services}
    , m_patterns{patterns}
{
}

void DisplayOptions::ToggleSmoothing()
{
    m_form.SmoothingItem.checked = !m_form.SmoothingItem.checked;
    m_form.SmearingItem.checked = false;
}

void DisplayOptions::ToggleSmearing()
{
    m_form.SmearingItem.checked = !m_form.SmearingItem.checked;
    m_form.SmoothingItem.checked = false;
}

void DisplayOptions::ApplyClockVisibility()
{
    m_form.ClockText.visible = m_form.ClockItem.checked;
    m_form.ShowClock = m_form.ClockItem.checked;
}

void DisplayOptions::ToggleGraphics()
{
    if (m_form.GraphicsItem.tag != 0) {
        if (m_services.device.Mode() == DeviceMode::Playing && !m_form.CurrentListBox.visible
            && !m_form.MyListsBox.visible)
            m_patterns.RunPatterns(true);
        m_form.GraphicsItem.tag = 0;
        m_form.GraphicsItem.checked = false;
    } else {
        m_form.GraphicsItem.tag = 1;
        m_patterns.RunPatterns(false);
        m_form.GraphicsItem.checked = true;
    }
}

void DisplayOptions::SaveScreenShot()
{
    const auto folder = m_form.ProgramDir / "ScreenShot";
    std::error_code ec;
    // Without the folder the picture lands in the program folder itself.
    const auto target = (std::filesystem::is_directory(folder, ec) ? folder : m_form.ProgramDir) / "ScreenShot.BMP";
    const WriteResult written = SaveSurfaceBmp(target, m_form.surface);
    if (!written.ok)
        m_services.dialogs.ShowError(written.message);
}

} // namespace kalvotune::app
