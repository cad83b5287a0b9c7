#include "cli/AnalyseCommand.hpp"
#include "app/Settings.hpp"
#include "cli/BatchProgress.hpp"
#include "cli/ProgramFolder.hpp"
#include "cli/RelinkCommand.hpp"
#include "cli/VideoCommand.hpp"

#include "AppFixture.hpp"

#include "Wav.hpp"

#include "core/FileIO.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/Registry.hpp"
#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <map>
#include <numbers>
#include <sstream>

namespace kalvotune::cli {
namespace {

namespace fs = std::filesystem;

AnalyseRequest Request(std::vector<std::string> files, bool replace, int jobs = 0)
{
    AnalyseRequest request;
    request.files = std::move(files);
    request.replace = replace;
    request.jobs = jobs;
    return request;
}

/// A program folder with its `Lists` and `Data`.
fs::path MakeProgramDir(const fs::path& dir)
{
    fs::create_directories(dir / "Lists");
    fs::create_directories(dir / "Data");
    return dir;
}

/// `seconds` of a tone at `hertz` that sounds in bursts of `burstMs`, as a WAV file.
void WriteTone(const fs::path& file, double seconds, double hertz, int burstMs = 250)
{
    demo::Pcm tone;
    const int burst = demo::kSampleRate * burstMs / 1000;
    for (int i = 0; i < static_cast<int>(demo::kSampleRate * seconds); ++i) {
        const double gain = (i / burst) % 2 == 0 ? 8000.0 : 1500.0;
        const auto s = static_cast<std::int16_t>(gain * std::sin(2 * std::numbers::pi * hertz * i / demo::kSampleRate));
        tone.samples.insert(tone.samples.end(), {s, s});
    }
    ASSERT_TRUE(WriteFileAtomically(file, demo::EncodeWav(tone)).ok);
}

/// Every file under `Data` and `Lists` with its bytes.
std::map<std::string, std::string> TemplateFiles(const fs::path& programDir)
{
    std::map<std::string, std::string> files;
    for (const char* folder : {"Data", "Lists"})
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator{programDir / folder}) {
            const std::string name = entry.path().lexically_relative(programDir).string();
            const Bytes bytes = entry.is_regular_file() ? ReadFileBytes(entry.path()).value_or(Bytes{}) : Bytes{};
            files[name] = entry.is_regular_file() ? std::string{bytes.begin(), bytes.end()} : "<folder>";
        }
    return files;
}

/// Raises `signal` in the writing thread once `lines` lines have been written, the way
/// a user presses Ctrl+C right after a line appears.
class SignalAfterLines : public std::streambuf {
public:
    SignalAfterLines(int lines, int signal)
        : m_lines{lines}
        , m_signal{signal}
    {
    }
    std::string text;

protected:
    int_type overflow(int_type c) override
    {
        text.push_back(static_cast<char>(c));
        if (c == '\n' && --m_lines == 0)
            std::raise(m_signal);
        return c;
    }

private:
    int m_lines;
    int m_signal;
};

TEST(AnalyseCommand, EachFileGetsALineAndFailuresMakeTheExitCode)
{
    testing::TempDir dir;
    fs::create_directories(dir.Path() / "Lists");
    fs::create_directories(dir.Path() / "Data");
    demo::Pcm tone;
    for (int i = 0; i < demo::kSampleRate * 3; ++i) {
        const auto s = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440.0 * i / demo::kSampleRate));
        tone.samples.insert(tone.samples.end(), {s, s});
    }
    const fs::path good = dir.Path() / "Тон.wav";
    const fs::path bad = dir.Path() / "Битый.mp3";
    ASSERT_TRUE(WriteFileAtomically(good, demo::EncodeWav(tone)).ok);
    ASSERT_TRUE(WriteFileAtomically(bad, std::string(5000, '\x55')).ok);
    testing::FakeClock clock;
    Random random{clock};

    std::ostringstream first;
    EXPECT_EQ(RunAnalyseCommand(
                  dir.Path(), Request({good.string(), bad.string()}, false), random, first, analysis::AnalyseTrack),
        1);
    const std::vector<std::string> registry
        = playlists::ReadListFile(dir.Path() / "Lists" / "Kalvotune").value_or(std::vector<std::string>{});
    ASSERT_EQ(registry.size(), 1u);
    const std::string folder
        = registry[0].substr(good.string().size() + 2, registry[0].size() - good.string().size() - 3);
    EXPECT_EQ(
        ReadFileBytes(dir.Path() / "Data" / folder / "Speed.kvt").value_or(std::vector<std::uint8_t>{}).size(), 30u);
    EXPECT_EQ(first.str().substr(0, first.str().find('\n')), good.string() + ": " + folder);
    EXPECT_NE(first.str().find(bad.string() + ": Не удалось разобрать музыку в файле Битый.mp3: "), std::string::npos);

    std::ostringstream again;
    EXPECT_EQ(RunAnalyseCommand(dir.Path(), Request({good.string()}, false), random, again, analysis::AnalyseTrack), 0);
    EXPECT_EQ(again.str(), good.string() + ": ЦМШ уже есть (" + folder + "), оставлен\n");

    std::ostringstream replaced;
    clock.unixSeconds += 1;
    EXPECT_EQ(
        RunAnalyseCommand(dir.Path(), Request({good.string()}, true), random, replaced, analysis::AnalyseTrack), 0);
    EXPECT_EQ(playlists::ReadListFile(dir.Path() / "Lists" / "Kalvotune")->size(), 1u);
    EXPECT_FALSE(fs::exists(dir.Path() / "Data" / folder));
}

TEST(AnalyseCommand, TimeLeftFollowsThePaceSoFar)
{
    EXPECT_EQ(DurationText(0), "0:00");
    EXPECT_EQ(DurationText(65.4), "1:05");
    EXPECT_EQ(DurationText(3723), "1:02:03");
    EXPECT_EQ(TimeLeftText(0, 10, 5), "");
    EXPECT_EQ(TimeLeftText(2, 10, 30), "осталось около 2:00");
    EXPECT_EQ(TimeLeftText(2.5, 5, 10), "осталось около 0:10");
    EXPECT_EQ(TimeLeftText(5, 5, 10), "осталось около 0:00");
}

TEST(AnalyseCommand, TwoJobsMakeTheSameTemplatesAsOne)
{
    testing::TempDir dir;
    const fs::path music = dir.Path() / "music";
    fs::create_directories(music);
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) {
        const fs::path track = music / ("Тон" + std::to_string(i) + ".wav");
        WriteTone(track, 1.5 + 0.5 * i, 220.0 * (i + 1), 200 + 60 * i);
        files.push_back(track.string());
    }
    ASSERT_TRUE(WriteFileAtomically(music / "Битый.mp3", std::string(3000, '\x55')).ok);
    files.insert(files.begin() + 2, (music / "Битый.mp3").string());
    files.push_back(files[1]); // the same track twice keeps what the first made

    std::map<int, std::string> lines;
    std::map<int, std::map<std::string, std::string>> made;
    for (const int jobs : {1, 2}) {
        const fs::path programDir = MakeProgramDir(dir.Path() / ("jobs" + std::to_string(jobs)));
        // One track has a template already: it is kept and not analysed.
        ASSERT_TRUE(playlists::WriteListFile(programDir / "Lists" / "Kalvotune", {"*" + files[3] + "*Тон27*"}).ok);
        fs::create_directories(programDir / "Data" / "Тон27");
        testing::FakeClock clock;
        Random random{clock};
        std::ostringstream out;
        EXPECT_EQ(RunAnalyseCommand(programDir, Request(files, false, jobs), random, out, analysis::AnalyseTrack), 1);
        lines[jobs] = out.str();
        made[jobs] = TemplateFiles(programDir);
    }
    EXPECT_EQ(lines[1], lines[2]);
    EXPECT_EQ(made[1], made[2]);
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\n'), 7);
    EXPECT_NE(lines[1].find(files[3] + ": ЦМШ уже есть (Тон27), оставлен\n"), std::string::npos);
    const std::size_t first = lines[1].find(files[1] + ": ") + files[1].size() + 2;
    const std::string folder = lines[1].substr(first, lines[1].find('\n', first) - first);
    EXPECT_TRUE(lines[1].ends_with(files[1] + ": ЦМШ уже есть (" + folder + "), оставлен\n")) << lines[1];
    // 4 folders of 4 files, the kept folder, the registry.
    EXPECT_EQ(made[1].size(), 4u * 5 + 1 + 1);
}

TEST(AnalyseCommand, InterruptedBatchKeepsWhatItInstalledAndLeavesNothingHalfDone)
{
    testing::TempDir dir;
    const fs::path programDir = MakeProgramDir(dir.Path() / "program");
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        const fs::path track = dir.Path() / ("Тон" + std::to_string(i) + ".wav");
        WriteTone(track, 2.0, 330.0 + 110 * i);
        files.push_back(track.string());
    }
    testing::FakeClock clock;
    Random random{clock};
    for (const int signal : {SIGINT, SIGTERM}) {
        const StopSignals stopSignals;
        SignalAfterLines out{1, signal};
        std::ostream stream{&out};
        std::ostringstream messages;
        const AnalyseControl control{&StopSignals::Flag(), &messages, false};
        EXPECT_EQ(
            RunAnalyseCommand(programDir, Request(files, true, 2), random, stream, analysis::AnalyseTrack, control),
            128 + signal);

        EXPECT_EQ(std::count(out.text.begin(), out.text.end(), '\n'), 1) << out.text;
        EXPECT_EQ(messages.str(), "Прервано: готово 1 из 4 треков; начатые отброшены, остальные не тронуты.\n");
        // The one line names the one folder, which holds all four channels.
        const std::vector<std::string> registry
            = playlists::ReadListFile(programDir / "Lists" / "Kalvotune").value_or(std::vector<std::string>{});
        ASSERT_EQ(registry.size(), 1u);
        std::vector<fs::path> folders;
        for (const fs::directory_entry& entry : fs::directory_iterator{programDir / "Data"})
            folders.push_back(entry.path());
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(registry[0], "*" + files[0] + "*" + folders[0].filename().string() + "*");
        EXPECT_EQ(std::distance(fs::directory_iterator{folders[0]}, fs::directory_iterator{}), 4);
        EXPECT_EQ(out.text, files[0] + ": " + folders[0].filename().string() + "\n");
    }
    // Without a signal the batch goes on from where it was stopped.
    std::ostringstream rest;
    EXPECT_EQ(RunAnalyseCommand(programDir, Request(files, false, 2), random, rest, analysis::AnalyseTrack), 0);
    EXPECT_EQ(playlists::ReadListFile(programDir / "Lists" / "Kalvotune")->size(), 4u);
}

// The command reads the saved settings without a window; its look must be the one the
// window's own start gives from the same files.
TEST(VideoCommand, TheSavedLookIsTheOneTheWindowAppliesAtStart)
{
    std::vector<std::pair<SavedSettings, Options>> cases(6);
    cases[1].first.autoModes = 1;
    cases[1].first.autoModeSlider = 13'000;
    cases[1].first.smoothing = 0;
    cases[1].first.smearing = 1;
    cases[1].first.motionOff = -3;
    cases[1].second = {250, 1, {}};
    cases[2].first.autoFigureType = 1;
    cases[2].first.pictureChangeSlider = 44;
    cases[3].first.autoFigureType = 1;
    cases[3].first.figureCasual = 1;
    cases[4].first.pictureChangeSlider = 100;
    cases[4].first.autoModeSlider = 500;
    cases[4].first.autoModes = 2;
    cases[5].first.mode = 9;
    cases[5].first.autoModeSlider = 20'000;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [saved, options] = cases[i];
        Form form;
        app::ApplySettings(
            form, saved, {{}, [&form] { form.AutoModeTimer.interval = form.AutoModeRateSlider.position; }});
        form.AutoModeTimer.enabled = saved.autoModes == 1;
        form.PictureDelayMs = options.pictureDelayMs;
        form.AutoMusicTemplatesItem.checked = options.autoMusicTemplates != 0;
        const video::VideoLook window = app::LookOf(form);
        const video::VideoLook command = SavedLook(saved, options);
        EXPECT_EQ(command.mode, window.mode) << i;
        EXPECT_FALSE(command.figureType.has_value()) << i;
        EXPECT_EQ(command.autoModes, window.autoModes) << i;
        EXPECT_EQ(command.autoIntervalMs, window.autoIntervalMs) << i;
        EXPECT_EQ(command.autoFigureType, window.autoFigureType) << i;
        EXPECT_EQ(command.smoothing, window.smoothing) << i;
        EXPECT_EQ(command.smearing, window.smearing) << i;
        EXPECT_EQ(command.motionOff, window.motionOff) << i;
        EXPECT_EQ(command.pictureDelayMs, window.pictureDelayMs) << i;
        EXPECT_EQ(command.musicTemplates, window.musicTemplates) << i;
        EXPECT_EQ(command.pictureChangeTicks, window.pictureChangeTicks) << i;
    }
}

class VideoCommandRun : public ::testing::Test, public testing::AppFixture { };

TEST_F(VideoCommandRun, PrintsTheSeedAndTheFileOrWhyNot)
{
    MakeProgramFolder();
    WriteTables();
    demo::Pcm tone;
    for (int i = 0; i < demo::kSampleRate; ++i) {
        const auto s = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440.0 * i / demo::kSampleRate));
        tone.samples.insert(tone.samples.end(), {s, s});
    }
    const fs::path track = Dir() / "Sound" / "Тон.wav";
    ASSERT_TRUE(WriteFileAtomically(track, demo::EncodeWav(tone)).ok);
    VideoCommandRequest request;
    request.track = track.string();
    request.output = (Dir() / "Тон.mp4").string();
    request.format = {160, 120, 10};

    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunVideoCommand(Dir(), request, 77, out, err, video::ExportVideo), 0) << err.str();
    EXPECT_EQ(out.str(), "seed 77\n" + request.output + "\n");
    EXPECT_TRUE(IsFile(request.output));

    // Neither the track nor an existing file is written over without `--overwrite`, and
    // the track not even with it; a name without an extension gets ".mp4".
    const std::optional<Bytes> trackBytes = ReadFileBytes(track);
    const std::optional<Bytes> videoBytes = ReadFileBytes(request.output);
    ASSERT_TRUE(WriteFileAtomically(Dir() / "notes.txt", "notes").ok);
    struct Refused {
        std::string output;
        bool overwrite;
        const char* words;
    };
    for (const Refused& refused : std::vector<Refused>{{request.output, false, "уже есть, видео не записано"},
             {(Dir() / "notes.txt").string(), false, "--overwrite"}, {track.string(), false, "поверх трека"},
             {(Dir() / "Sound" / ".." / "Sound" / "Тон.wav").string(), true, "поверх трека"}}) {
        VideoCommandRequest again = request;
        again.output = refused.output;
        again.overwrite = refused.overwrite;
        std::ostringstream refusedOut;
        std::ostringstream refusedErr;
        EXPECT_EQ(RunVideoCommand(Dir(), again, 77, refusedOut, refusedErr, video::ExportVideo), 1) << refused.output;
        EXPECT_EQ(refusedOut.str(), "");
        EXPECT_NE(refusedErr.str().find(refused.words), std::string::npos) << refusedErr.str();
    }
    EXPECT_EQ(ReadFileBytes(track), trackBytes);
    EXPECT_EQ(ReadFileBytes(request.output), videoBytes);
    EXPECT_TRUE(FileHolds(Dir() / "notes.txt", "notes"));
    request.output = (Dir() / "notes.txt").string();
    request.overwrite = true;
    std::ostringstream replacedOut;
    std::ostringstream replacedErr;
    EXPECT_EQ(RunVideoCommand(Dir(), request, 77, replacedOut, replacedErr, video::ExportVideo), 0)
        << replacedErr.str();
    EXPECT_FALSE(FileHolds(Dir() / "notes.txt", "notes"));
    request.output = (Dir() / "Фильм").string();
    request.overwrite = false;
    std::ostringstream namedOut;
    std::ostringstream namedErr;
    EXPECT_EQ(RunVideoCommand(Dir(), request, 77, namedOut, namedErr, video::ExportVideo), 0) << namedErr.str();
    EXPECT_EQ(namedOut.str(), "seed 77\n" + request.output + ".mp4\n");
    EXPECT_TRUE(IsFile(request.output + ".mp4"));

    request.output = (Dir() / "nowhere" / "Тон.mp4").string();
    request.seed = 5;
    std::ostringstream failedOut;
    std::ostringstream failedErr;
    EXPECT_EQ(RunVideoCommand(Dir(), request, 77, failedOut, failedErr, video::ExportVideo), 1);
    EXPECT_EQ(failedOut.str(), "seed 5\n");
    EXPECT_NE(failedErr.str().find("Не удалось записать видео"), std::string::npos);
}

TEST(RelinkCommand, PrintsEachChangeADryRunChangesNothingAndAnUnreadableListStopsAll)
{
    testing::TempDir dir;
    const fs::path lists = dir.Path() / "Lists";
    const fs::path music = dir.Path() / "music" / "Альбом";
    fs::create_directories(lists);
    fs::create_directories(music);
    ASSERT_TRUE(WriteFileAtomically(music / "Вальс.mp3", "audio").ok);
    const std::string moved = (music / "Вальс.mp3").string();
    ASSERT_TRUE(playlists::WriteListFile(lists / "MyLists", {"Kalvotune", "Мой"}).ok);
    ASSERT_TRUE(playlists::WriteListFile(lists / "Kalvotune", {"*C:\\Альбом\\вальс.MP3*Вальс1*"}).ok);
    ASSERT_TRUE(playlists::WriteListFile(lists / "Мой", {"*C:\\Альбом\\вальс.MP3*0*", "*C:\\Нет.mp3*0*"}).ok);
    const auto listBytes = [&] {
        std::string all;
        for (const char* name : {"MyLists", "Kalvotune", "Мой"})
            all += std::string{BytesView(ReadFileBytes(lists / name).value_or(std::vector<std::uint8_t>{}))} + "|";
        return all;
    };
    const std::string before = listBytes();

    std::ostringstream dry;
    EXPECT_EQ(RunRelinkCommand(dir.Path(), {(dir.Path() / "music").string(), true}, dry), 0);
    EXPECT_EQ(listBytes(), before);
    EXPECT_EQ(dry.str().substr(0, dry.str().find('\n')), "C:\\Альбом\\вальс.MP3 → " + moved);
    EXPECT_NE(dry.str().find("Найдено 1 из 2 треков; 0 неоднозначных."), std::string::npos);
    EXPECT_NE(dry.str().find("C:\\Нет.mp3"), std::string::npos);
    EXPECT_NE(dry.str().find("списки не изменены"), std::string::npos);

    // A list that cannot be read: exit 1, nothing changed, the list named.
    ASSERT_TRUE(playlists::WriteListFile(lists / "Большой", {}).ok);
    ASSERT_TRUE(playlists::WriteListFile(lists / "MyLists", {"Kalvotune", "Мой", "Большой"}).ok);
    fs::resize_file(lists / "Большой", playlists::kMaxListFileBytes + 1);
    std::ostringstream stopped;
    EXPECT_EQ(RunRelinkCommand(dir.Path(), {(dir.Path() / "music").string(), false}, stopped), 1);
    EXPECT_NE(stopped.str().find("Большой"), std::string::npos);
    EXPECT_EQ(playlists::ReadListFile(lists / "Мой").value_or(std::vector<std::string>{}).front(),
        "*C:\\Альбом\\вальс.MP3*0*");

    fs::remove(lists / "Большой");
    std::ostringstream done;
    EXPECT_EQ(RunRelinkCommand(dir.Path(), {(dir.Path() / "music").string(), false}, done), 0);
    EXPECT_EQ(playlists::ReadListFile(lists / "Kalvotune").value_or(std::vector<std::string>{}),
        std::vector<std::string>{"*" + moved + "*Вальс1*"});
    EXPECT_EQ(playlists::ReadListFile(lists / "Мой").value_or(std::vector<std::string>{}),
        (std::vector<std::string>{"*" + moved + "*0*", "*C:\\Нет.mp3*0*"}));
}

// A program folder no window has opened yet, as a fresh build or a new user's copy: every
// command, prepared as the window's start prepares it, finds the shipped template of
// "Морской бриз" registered, once.
TEST(ProgramFolder, EveryCommandSeesTheShippedTemplateOfAFreshFolder)
{
    for (const std::string command : {"--video", "--analyse", "--relink"}) {
        testing::TempDir dir;
        const fs::path programDir = dir.Path() / "Kalvotune";
        fs::create_directories(programDir / "Sound");
        fs::create_directories(programDir / "Lists");
        ASSERT_TRUE(playlists::WriteListFile(programDir / "Lists" / "Kalvotune", {}).ok);
        const fs::path track = programDir / "Sound" / "Морской бриз.wav";
        WriteTone(track, 1.0, 440.0);
        const fs::path shipped = programDir / "Data" / "Морской бриз";
        fs::create_directories(shipped);
        for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
            ASSERT_TRUE(WriteFileAtomically(shipped / file, std::string(10, 'x')).ok);
        testing::FakeClock clock;
        Random random{clock};
        std::ostringstream out;
        std::ostringstream err;
        PrepareProgramFolder(programDir, random, err);
        EXPECT_EQ(err.str(), "") << command;
        const auto registered = [&] {
            return playlists::RegisteredFolder(
                playlists::ReadRegistryWorkList(playlists::RegistryFile(programDir)).lines, track.string());
        };
        const std::string folder = registered();
        ASSERT_TRUE(folder.starts_with("Морской бриз") && folder != "Морской бриз") << command << " " << folder;
        EXPECT_TRUE(FileHolds(programDir / "Data" / folder / "Speed.kvt", std::string(10, 'x'))) << command;
        EXPECT_FALSE(fs::exists(shipped)) << command;

        if (command == "--video") {
            VideoCommandRequest request;
            request.track = track.string();
            request.output = (dir.Path() / "x.mp4").string();
            std::string used;
            const video::VideoExporter lookUp = [&](const video::VideoRequest& job, std::stop_token,
                                                    const video::VideoProgress&) {
                used = playlists::RegisteredFolder(
                    playlists::ReadRegistryWorkList(playlists::RegistryFile(job.programDir)).lines, job.track.string());
                video::VideoResult result;
                result.ok = true;
                return result;
            };
            EXPECT_EQ(RunVideoCommand(programDir, request, 7, out, err, lookUp), 0) << err.str();
            EXPECT_EQ(used, folder);
        } else if (command == "--analyse") {
            // The track has its template: a second one is not made.
            EXPECT_EQ(
                RunAnalyseCommand(programDir, Request({track.string()}, false), random, out, analysis::AnalyseTrack),
                0);
            EXPECT_EQ(out.str(), track.string() + ": ЦМШ уже есть (" + folder + "), оставлен\n");
        } else {
            // The line follows the track when it moves, like every list's.
            fs::create_directories(dir.Path() / "music");
            fs::rename(track, dir.Path() / "music" / track.filename());
            EXPECT_EQ(RunRelinkCommand(programDir, {(dir.Path() / "music").string(), false}, out), 0) << out.str();
            EXPECT_EQ(playlists::ReadListFile(programDir / "Lists" / "Kalvotune").value_or(std::vector<std::string>{}),
                std::vector<std::string>{
                    "*" + (dir.Path() / "music" / track.filename()).string() + "*" + folder + "*"});
        }
        // A second start, whatever it is, registers nothing more.
        PrepareProgramFolder(programDir, random, err);
        EXPECT_EQ(playlists::ReadListFile(programDir / "Lists" / "Kalvotune")->size(), 1u) << command;
        EXPECT_EQ(std::distance(fs::directory_iterator{programDir / "Data"}, fs::directory_iterator{}), 1) << command;
    }
}

} // namespace
} // namespace kalvotune::cli
