// Renders the kaleidoscope without a window, on a simulated clock.
//
//   kalvotune_preview <program folder> <output folder>
//       Plays a few seconds of every mode 0..15 over the demo template found in
//       <program folder>/Data (and over generated channels) and writes mode-00.png ...
//       mode-15.png (template, or generated channels when no template is found) and
//       generated-00.png ... generated-15.png. Prints the output folder last.
//   kalvotune_preview --sequence <program folder> <output folder> <mode> [figure type]
//       Every fourth frame of four seconds of one mode, to judge motion and trails.
//   kalvotune_preview --start-picture <program folder>
//       Writes the start picture ScreenShot/ScreenShot.BMP of the program folder.
//   kalvotune_preview --icon <program folder> <output folder>
//       Writes the desktop icon, the middle square of the start picture, as
//       <size>x<size>/kalvotune.png for the usual icon sizes.

#include "PngFile.hpp"

#include "app/PatternCommands.hpp"
#include "core/Form.hpp"
#include "core/Random.hpp"
#include "core/Services.hpp"
#include "core/SurfaceFile.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"
#include "playback/Player.hpp"
#include "support/FakeServices.hpp"
#include "templates/TemplateLoader.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace kalvotune;

constexpr const char* kTrack{"preview.wav"};
constexpr std::int64_t kTrackMs{600'000};

struct Run {
    int mode{1};
    std::uint8_t figureType{3};
    std::string templateName{"0"}; ///< "0": generated channels
    int milliseconds{6000};
    bool smear{};
};

/// The first folder of Data holding all four channel files, by name order.
std::optional<std::string> FindTemplate(const fs::path& programDir)
{
    std::error_code error;
    std::optional<std::string> found;
    for (const auto& entry : fs::directory_iterator(programDir / "Data", error)) {
        const fs::path& folder = entry.path();
        bool complete = entry.is_directory(error);
        for (const char* file :
            {templates::kBlueFile, templates::kGreenFile, templates::kRedFile, templates::kSpeedFile})
            complete = complete && IsFile(folder / file);
        const std::string name = folder.filename().string();
        if (complete && (!found || name < *found))
            found = name;
    }
    return found;
}

/// Plays `run` from the start of a track and leaves the last shown picture in `form.surface`.
/// `afterTick`, when given, sees the form after every pattern tick with the tick's number.
bool Render(
    const fs::path& programDir, const Run& run, Form& form, const std::function<bool(const Form&, int)>& afterTick = {})
{
    testing::FakeServices fakes;
    auto& [dialogs, clock, random, device, screen, sounds, activity, services] = fakes;

    kaleidoscope::Engine engine{form.Pattern(), random};
    const kaleidoscope::LoadResult loaded = engine.LoadTables(programDir);
    if (!loaded.ok) {
        std::fprintf(stderr, "%s\n", loaded.message.c_str());
        return false;
    }
    kaleidoscope::Scheduler scheduler{engine, device, random};
    app::PatternCommands commands{form, device, engine, scheduler};

    form.ProgramDir = programDir;
    form.TrackTitle = "preview";
    form.TrackSeconds = static_cast<int>(kTrackMs / 1000);
    form.Check(form.SmearingItem, run.smear);
    form.Check(form.SmoothingItem, !run.smear);
    device.AddFile(kTrack, kTrackMs);
    device.Open(kTrack);
    playback::ApplyTrackTemplate(form,
        templates::LoadTrackTemplate(
            programDir, run.templateName, form.TrackSeconds, form.PictureRateSlider.position, random));
    form.FigureType = run.figureType;
    form.ModeNumber = run.mode;
    device.Play();
    scheduler.SelectFigures();
    commands.RunPatterns(true);

    std::int64_t elapsed{};
    std::int64_t nextSecond{1000};
    for (int tick = 0; elapsed < run.milliseconds; ++tick) {
        TimerControl* timer{};
        for (TimerControl* t : form.PatternTimers())
            if (t->enabled)
                timer = t;
        if (!timer)
            break;
        const int interval = timer->interval > 0 ? timer->interval : form.PatternInterval;
        elapsed += interval;
        device.Advance(interval);
        while (elapsed >= nextSecond) {
            clock.AdvanceSeconds(1);
            nextSecond += 1000;
        }
        commands.OnPatternTick(*timer);
        if (afterTick && !afterTick(form, tick))
            return false;
    }
    return true;
}

bool SavePng(const fs::path& file, const Surface& surface)
{
    const WriteResult written = tables::SaveSurfacePng(file, surface);
    if (!written.ok)
        std::fprintf(stderr, "%s\n", written.message.c_str());
    return written.ok;
}

int StartPicture(const fs::path& programDir)
{
    Form form;
    const Run run{.mode = 5, .figureType = 2, .templateName = "0", .milliseconds = 6200, .smear = false};
    if (!Render(programDir, run, form))
        return 1;
    std::error_code error;
    fs::create_directories(programDir / "ScreenShot", error);
    const WriteResult written = SaveSurfaceBmp(programDir / "ScreenShot" / "ScreenShot.BMP", form.surface);
    if (!written.ok) {
        std::fprintf(stderr, "%s\n", written.message.c_str());
        return 1;
    }
    return 0;
}

/// The middle square of the start picture scaled to `size` pixels, each icon pixel the
/// average of the picture pixels it covers.
Bytes IconPixels(const Surface& picture, int size)
{
    const int side = Surface::kHeight;
    const int left = (Surface::kWidth - side) / 2;
    Bytes rgb;
    rgb.reserve(static_cast<std::size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int x0 = left + x * side / size;
            const int x1 = left + (x + 1) * side / size;
            const int y0 = y * side / size;
            const int y1 = (y + 1) * side / size;
            int sum[3]{};
            for (int py = y0; py < y1; ++py)
                for (int px = x0; px < x1; ++px)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += picture.Row(py)[3 * px + 2 - c]; // blue-green-red to red-green-blue
            const int count = std::max(1, (x1 - x0) * (y1 - y0));
            for (int c = 0; c < 3; ++c)
                rgb.push_back(static_cast<std::uint8_t>(sum[c] / count));
        }
    }
    return rgb;
}

int Icons(const fs::path& programDir, const fs::path& output)
{
    Surface picture;
    if (!LoadSurfaceBmp(programDir / "ScreenShot" / "ScreenShot.BMP", picture)) {
        std::fprintf(stderr, "no start picture in %s\n", programDir.string().c_str());
        return 1;
    }
    for (const int size : {32, 48, 64, 128, 256}) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        std::error_code error;
        fs::create_directories(output / name, error);
        const WriteResult written = WriteFileAtomically(
            output / name / "kalvotune.png", tables::EncodeRgbPng(size, size, IconPixels(picture, size)));
        if (!written.ok) {
            std::fprintf(stderr, "%s\n", written.message.c_str());
            return 1;
        }
    }
    return 0;
}

int Previews(const fs::path& programDir, const fs::path& output, int figureType)
{
    std::error_code error;
    fs::create_directories(output, error);
    const std::optional<std::string> demo = FindTemplate(programDir);
    if (!demo)
        std::fprintf(stderr, "No template with all four channel files in %s; using generated channels.\n",
            (programDir / "Data").string().c_str());
    for (int mode = 0; mode < kaleidoscope::kModeCount; ++mode) {
        char name[32];
        const auto type = static_cast<std::uint8_t>(figureType);
        Run run{.mode = mode, .figureType = type, .templateName = demo.value_or("0"), .milliseconds = 5000};
        Form withTemplate;
        std::snprintf(name, sizeof name, "mode-%02d.png", mode);
        if (!Render(programDir, run, withTemplate) || !SavePng(output / name, withTemplate.surface))
            return 1;
        Form generated;
        run.templateName = "0";
        run.milliseconds = 6200;
        std::snprintf(name, sizeof name, "generated-%02d.png", mode);
        if (!Render(programDir, run, generated) || !SavePng(output / name, generated.surface))
            return 1;
    }
    std::printf("%s\n", fs::absolute(output).string().c_str());
    return 0;
}

/// Every fourth tick of one mode as frame-NNN.png, to judge motion and trails.
int Sequence(const fs::path& programDir, const fs::path& output, int mode, int figureType)
{
    std::error_code error;
    fs::create_directories(output, error);
    const Run run{.mode = mode,
        .figureType = static_cast<std::uint8_t>(figureType),
        .templateName = FindTemplate(programDir).value_or("0"),
        .milliseconds = 4000};
    Form form;
    const bool done = Render(programDir, run, form, [&](const Form& f, int tick) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%03d.png", tick);
        return tick % 4 != 0 || SavePng(output / name, f.surface);
    });
    if (!done)
        return 1;
    std::printf("%s\n", fs::absolute(output).string().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string{argv[1]} == "--start-picture")
        return StartPicture(argv[2]);
    if (argc == 4 && std::string{argv[1]} == "--icon")
        return Icons(argv[2], argv[3]);
    if ((argc == 5 || argc == 6) && std::string{argv[1]} == "--sequence")
        return Sequence(argv[2], argv[3], std::atoi(argv[4]), argc == 6 ? std::atoi(argv[5]) : 3);
    if (argc == 3 || argc == 4)
        return Previews(argv[1], argv[2], argc == 4 ? std::atoi(argv[3]) : 3);
    std::fprintf(stderr,
        "usage: %s <program folder> <output folder> [figure type 1..5]\n"
        "       %s --start-picture <program folder>\n"
        "       %s --sequence <program folder> <output folder> <mode> [figure type]\n"
        "       %s --icon <program folder> <output folder>\n",
        argv[0], argv[0], argv[0], argv[0]);
    return 2;
}
