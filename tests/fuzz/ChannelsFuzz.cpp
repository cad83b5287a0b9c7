// The channel files of a template through `LoadTrackTemplate`, then pattern ticks that
// read them. Sections: control bytes; Blu.kvt, Green.kvt, Red.kvt, Speed.kvt (a section
// "!" means the file is absent); the template name.
// Control: track seconds (4 bytes, see kLongestSeconds), TrackBar1, where the files lie
// (0 the template folder, 1 Data itself), figure type, mode, then one byte per pattern
// tick (its tick), at most four.
#include "app/PatternCommands.hpp"
#include "core/FileIO.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"
#include "playback/Player.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"
#include "templates/TemplateLoader.hpp"

#include "PatternTables.hpp"

#include <algorithm>

using namespace kalvotune;
namespace fs = std::filesystem;

namespace {

struct Rig {
    testing::TempDir dir;
    testing::FakeServices fakes;
    Form form;
    kaleidoscope::Engine engine{form.Pattern(), fakes.random};
    kaleidoscope::Scheduler scheduler{engine, fakes.device, fakes.random};
    app::PatternCommands commands{form, fakes.device, engine, scheduler};

    Rig()
    {
        form.ProgramDir = dir.Path();
        engine.LoadTables(tables::BuildTables());
        fakes.device.AddFile(dir.Path() / "track", std::int64_t{1} << 40);
    }
};

// A track this long has 8050 ticks: more than the fuzzer's inputs (at most 8 KB) hold.
constexpr std::int32_t kLongestSeconds{400};

std::uint8_t Byte(std::string_view s, std::size_t at)
{
    return at < s.size() ? static_cast<std::uint8_t>(s[at]) : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Rig rig;
    rig.fakes.dialogs.ForgetRecords();
    Form& form = rig.form;
    const fs::path dataDir = form.ProgramDir / "Data";
    std::error_code ec;
    fs::remove_all(dataDir, ec);
    fs::create_directories(dataDir / "T", ec);

    const std::vector<std::string_view> sections = fuzz::SplitSections(data, size, 6);
    const std::string_view control = sections[0];
    const fs::path folder = Byte(control, 5) % 2 == 0 ? dataDir / "T" : dataDir;
    const char* files[]{templates::kBlueFile, templates::kGreenFile, templates::kRedFile, templates::kSpeedFile};
    for (int k = 0; k < 4; ++k)
        if (sections[static_cast<std::size_t>(k) + 1] != "!")
            fuzz::PutFile(folder / files[k], sections[static_cast<std::size_t>(k) + 1]);

    // Negative and absurd lengths (top byte 0x7F) pass as they are; the others are cut
    // to at most kLongestSeconds, which still runs past the longest channel file an input
    // holds. A generated template of a day's ticks cost tens of milliseconds an input.
    const auto rawSeconds = static_cast<std::int32_t>(Byte(control, 0) | Byte(control, 1) << 8 | Byte(control, 2) << 16
        | static_cast<std::uint32_t>(Byte(control, 3)) << 24);
    form.TrackSeconds = rawSeconds < 0 || Byte(control, 3) == 0x7F ? rawSeconds : rawSeconds % (kLongestSeconds + 1);
    form.PictureRateSlider.SetPosition(Byte(control, 4));
    form.FigureType = Byte(control, 6) % 5;
    const std::string name = sections[5].empty() ? std::string{"T"} : std::string{sections[5]};
    playback::ApplyTrackTemplate(form,
        templates::LoadTrackTemplate(
            form.ProgramDir, name, form.TrackSeconds, form.PictureRateSlider.position, rig.fakes.random));

    const TemplateChannels& c = form.channels;
    const std::size_t length = c.blue.size();
    fuzz::Require(c.green.size() == length && c.red.size() == length && c.speed.size() == length,
        "channels of different lengths");
    const std::int64_t seconds = std::clamp<std::int64_t>(form.TrackSeconds, 0, 86'400);
    fuzz::Require(length <= static_cast<std::size_t>(seconds * 20 + 50), "channels longer than the track needs");
    if (!form.NoTemplate)
        fuzz::Require(length == std::min<std::size_t>(sections[1].size(), static_cast<std::size_t>(seconds * 20 + 50)),
            "a full template's length is not Blu.kvt's");
    fuzz::Require(form.TemplateDir.empty() || IsWithin(dataDir, form.TemplateDir), "TemplateDir outside Data");

    // Pattern ticks over the loaded bytes, wherever the position falls.
    AudioDevice& device = rig.fakes.device;
    device.Open(form.ProgramDir / "track");
    const auto timers = form.PatternTimers();
    form.ModeNumber = Byte(control, 7) % 11;
    rig.scheduler.SelectFigures();
    // Four ticks read the channels at four positions; each draws a whole frame, which is
    // most of what an input costs.
    for (std::size_t i = 8; i < control.size() && i < 12; ++i) {
        device.Seek(static_cast<std::int64_t>(Byte(control, i)) * 100 * std::max<std::size_t>(1, length / 200));
        device.Play();
        rig.commands.OnPatternTick(*timers[static_cast<std::size_t>(form.ModeNumber) % timers.size()]);
    }
    device.Close();
    return 0;
}
