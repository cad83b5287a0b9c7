#include "app/Settings.hpp"

namespace kalvotune::app {

namespace {

constexpr std::size_t kWords{100};

std::int32_t Flag(bool value)
{
    return value ? 1 : 0;
}

void GatherInto(const Form& form, SettingsRecord& s)
{
    s[0] = form.FigureType;
    s[1] = form.ModeNumber;
    s[2] = form.TrackBar1.position;
    s[3] = form.TrackBar2.position;
    s[4] = Flag(form.N6.checked);
    s[5] = Flag(form.Utiug.checked);
    s[6] = Flag(form.Razmazat.checked);
    s[7] = form.StopGraphica.tag;
    s[8] = Flag(form.StilWindow.checked);
    s[9] = Flag(form.FixatorLista1.checked);
    s[10] = Flag(form.Joces.checked);
    s[11] = Flag(form.MotionOff);
    s[12] = Flag(form.TrackBar2.visible);
    s[13] = Flag(form.AutoTipFig.checked);
    s[14] = Flag(form.DeleteBadStringPop.checked);
    s[15] = Flag(form.Ball.checked);
    s[16] = Flag(form.BallCasual.checked);
    s[17] = Flag(form.Casual.checked);
    s[18] = Flag(form.Micro.checked);
    s[19] = Flag(form.MicroPlus.checked);
    s[20] = Flag(form.StartMessage.checked);
}

} // namespace

SettingsRecord DefaultSettings()
{
    // A form is large (its picture alone is a megabyte); its initial states never change.
    static const SettingsRecord defaults = [] {
        Form form;
        SettingsRecord record{};
        GatherInto(form, record);
        return record;
    }();
    return defaults;
}

namespace {

// The words `file` holds over `record`; a short or missing file leaves the rest as they are.
SettingsRecord OverlayFile(const std::filesystem::path& file, SettingsRecord record)
{
    const auto bytes = ReadFileBytes(file, kWords * 4);
    if (!bytes)
        return record;
    const std::size_t words = bytes->size() / 4;
    for (std::size_t i = 0; i < words; ++i) {
        const auto* b = bytes->data() + i * 4;
        record[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8
            | static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
    }
    return record;
}

} // namespace

SettingsRecord ReadSettings(const std::filesystem::path& file)
{
    // The defaults are gathered once: building a form for every read costs a megabyte.
    return OverlayFile(file, DefaultSettings());
}

SettingsRecord ReadSettings(const std::filesystem::path& file, const Form& initial)
{
    SettingsRecord record{};
    GatherInto(initial, record);
    return OverlayFile(file, record);
}

WriteResult WriteSettings(const std::filesystem::path& file, const SettingsRecord& record)
{
    Bytes bytes;
    bytes.reserve(kWords * 4);
    for (const std::int32_t word : record) {
        const auto u = static_cast<std::uint32_t>(word);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    return WriteFileAtomically(file, bytes);
}

void ApplySettings(Form& form, const SliderHandlers& sliders)
{
    const SettingsRecord& s = form.Settings;
    form.FigureType = static_cast<std::uint8_t>(s[0] & 0xFF);
    form.ModeNumber = s[1];
    form.SpeedButton5.caption = std::to_string(form.ModeNumber);
    if (form.TrackBar1.SetPosition(s[2]) && sliders.trackBar1Change)
        sliders.trackBar1Change();
    if (form.TrackBar2.SetPosition(s[3]) && sliders.trackBar2Change)
        sliders.trackBar2Change();
    form.N6.checked = s[4] != 0;
    form.Utiug.checked = s[5] != 0;
    form.Razmazat.checked = s[6] != 0;
    form.StopGraphica.tag = s[7];
    form.StilWindow.checked = s[8] != 0;
    form.FixatorLista1.checked = s[9] != 0;
    form.Joces.checked = s[10] != 0;
    form.MotionOff = s[11] != 0;
    // The six figure items form one radio group: of several stored ticks the last one
    // set stays, as with radio items.
    form.Check(form.AutoTipFig, s[13] != 0);
    form.DeleteBadStringPop.checked = s[14] != 0;
    form.Check(form.Ball, s[15] != 0);
    form.Check(form.BallCasual, s[16] != 0);
    form.Check(form.Casual, s[17] != 0);
    form.Check(form.Micro, s[18] != 0);
    form.Check(form.MicroPlus, s[19] != 0);
    form.StartMessage.checked = s[20] != 0;
    if (form.StopGraphica.tag == 1)
        form.StopGraphica.checked = true;
}

void GatherSettings(Form& form)
{
    GatherInto(form, form.Settings);
}

} // namespace kalvotune::app
