// The settings record `SetGet.kvt`: read, applied to the controls, gathered and written.
#include "app/Settings.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "support/TempDir.hpp"

using namespace kalvotune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const testing::TempDir dir;
    const std::filesystem::path file = dir.Path() / kSettingsFileName;
    fuzz::PutFile(file, fuzz::AsText(data, size));

    const SavedSettings settings = ReadSettings(file);
    const SettingsWords record = ToWords(settings);
    static const SettingsWords defaults = ToWords(SavedSettings{});
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (4 * i + 4 > size) {
            fuzz::Require(record[i] == defaults[i], "a word the file does not hold is not the default");
            continue;
        }
        const std::uint32_t word = data[4 * i] | data[4 * i + 1] << 8 | data[4 * i + 2] << 16
            | static_cast<std::uint32_t>(data[4 * i + 3]) << 24;
        fuzz::Require(record[i] == static_cast<std::int32_t>(word), "a word is not read as stored");
    }

    static Form form; // a form is large; the apply step sets every field the checks read
    int changes = 0;
    app::ApplySettings(form, settings, {[&] { ++changes; }, [&] { ++changes; }});
    fuzz::Require(
        form.PictureRateSlider.position >= 4 && form.PictureRateSlider.position <= 80, "TrackBar1 out of its range");
    fuzz::Require(form.AutoModeRateSlider.position >= 1000 && form.AutoModeRateSlider.position <= 20000,
        "TrackBar2 out of its range");
    fuzz::Require(changes <= 2, "slider handlers ran more than once each");

    const SavedSettings gathered = app::GatherSettings(form, settings);
    const SettingsWords words = ToWords(gathered);
    for (std::size_t i = 21; i < record.size(); ++i)
        fuzz::Require(words[i] == record[i], "an uninterpreted word changed");
    for (std::size_t i : {4u, 5u, 6u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 16u, 17u, 18u, 19u, 20u})
        fuzz::Require(words[i] == 0 || words[i] == 1, "a flag word is not 0 or 1");

    fuzz::Require(WriteSettings(file, gathered).ok, "the settings could not be written");
    fuzz::Require(ReadSettings(file) == gathered, "the written record reads back differently");
    return 0;
}
