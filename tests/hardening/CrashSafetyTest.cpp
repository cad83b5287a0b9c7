// A writer killed at any moment never leaves a torn file: a child process rewrites the
// program's data files through their own write paths over and over and is killed with
// SIGKILL, at random moments and right after a chosen change on the disk; the files
// replaced together are also killed at each step of the replacement in turn.
#include "app/AppFixture.hpp"
#include "app/Options.hpp"
#include "app/ProgramDir.hpp"
#include "app/Settings.hpp"
#include "core/FileIO.hpp"
#include "core/SurfaceFile.hpp"
#include "playback/Player.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/M3u.hpp"
#include "playlists/M3uExport.hpp"
#include "playlists/TemplateRegistration.hpp"
#include "service/WorkingSet.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"
#include "template_commands/Recording.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace kalvotune {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr const char* kTemplate{"Data/Вальс48213"};
constexpr const char* kChannels[]{"Speed.kvt", "Green.kvt", "Blu.kvt", "Red.kvt"};

std::vector<std::string> ListOf(int file, int generation)
{
    // Lengths vary with the generation, so a cut or a mix of two versions never passes.
    std::vector<std::string> lines;
    for (int i = 0; i <= generation % 53 + file; ++i)
        lines.push_back("*/музыка/" + std::to_string(generation) + "/трек " + std::to_string(i) + ".mp3*0*");
    return lines;
}

Bytes ListBytes(int file, int generation)
{
    const std::string text = playlists::EncodeListFile(ListOf(file, generation));
    return Bytes(text.begin(), text.end());
}

SavedSettings SettingsOf(int generation)
{
    SavedSettings settings;
    for (std::size_t i = 0; i < settings.unnamed.size(); ++i)
        settings.unnamed[i] = generation * 1000 + static_cast<int>(i + 21);
    return settings;
}

Options OptionsOf(int generation)
{
    return {generation % 2001 - 1000, generation % 2, {}};
}

Bytes ChannelOf(int file, int generation)
{
    Bytes bytes(static_cast<std::size_t>(200 + (generation * 37 + file) % 4000));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(generation + file + static_cast<int>(i));
    return bytes;
}

const Surface& PictureOf(int generation)
{
    static Surface surface;
    for (int y = 0; y < Surface::kHeight; ++y)
        std::fill_n(surface.Row(y), Surface::kRowBytes, static_cast<std::uint8_t>(generation * 7 + y));
    return surface;
}

std::vector<fs::path> TracksOf(int generation)
{
    std::vector<fs::path> tracks;
    for (int i = 0; i <= generation % 17; ++i)
        tracks.emplace_back("/музыка/" + std::to_string(generation) + "/" + std::to_string(i) + ".mp3");
    return tracks;
}

// What the bytes of a file written by one of the program's own writers come to.
Bytes WrittenBy(const std::function<void(const fs::path&)>& write)
{
    TempDir scratch;
    write(scratch.Path() / "f");
    return ReadFileBytes(scratch.Path() / "f").value_or(Bytes{});
}

// The player's template saves over their own program folder "T" under the test folder:
// each generation hands out a folder for a new track, then saves the track's template,
// which takes the handed-out folder over and registers the copy.
class NoPatterns : public playback::PatternControl {
public:
    void RunPatterns(bool) override { }
    void SelectFigures() override { }
};

struct TemplateSaver {
    explicit TemplateSaver(const fs::path& programDir) { form.ProgramDir = programDir; }

    void Save(int generation)
    {
        // The '_' keeps a made folder (title and a number) from ever taking the name of a
        // later generation's handed-out one.
        const std::string title = "трек" + std::to_string(generation) + "_";
        const fs::path handedOut = form.ProgramDir / "Data" / title;
        fs::create_directories(handedOut);
        for (int k = 1; k < 4; ++k)
            WriteFileAtomically(handedOut / kChannels[k], ChannelOf(k, generation));
        form.CurrentTrackName = form.ProgramDir / "Sound" / (title + ".mp3");
        form.TrackTitle = title;
        form.TemplateName = "0";
        form.channels.speed = ChannelOf(0, generation);
        recording.SaveStillTemplate();
    }

    Form form;
    testing::FakeServices fakes;
    playlists::Lists lists{form, fakes.services};
    NoPatterns patterns;
    playback::Player player{form, fakes.services, lists, patterns};
    template_commands::Recording recording{form, fakes.services, player};
};

// One write path of the program: what one call of it rewrites, and how. Files of a path
// replaced `together` must all be old or all new; the others each old or new.
struct WritePath {
    const char* name;
    std::vector<std::string> files;
    bool together;
    std::function<void(const fs::path&, int)> write;
    std::function<Bytes(std::size_t, int)> content;
};

std::vector<WritePath> WritePaths()
{
    std::vector<WritePath> paths;
    for (const char* list : {"Lists/MyLists", "Lists/Kalvotune", "Lists/Былое"}) {
        const auto id = static_cast<int>(paths.size());
        paths.push_back({list, {list}, true,
            [list, id](const fs::path& dir, int g) { playlists::WriteListFile(dir / list, ListOf(id, g)); },
            [id](std::size_t, int g) { return ListBytes(id, g); }});
    }
    // The track service's batch: every changed list flushed together, each one atomic.
    paths.push_back({"track service lists", {"Lists/Вальсы", "Lists/Джаз", "Lists/TempFile"}, false,
        [](const fs::path& dir, int g) {
            service::WorkingSet set{dir / "Lists", dir / "Data"};
            set.Hold("Вальсы", ListOf(10, g));
            set.Hold("Джаз", ListOf(11, g));
            set.Hold("TempFile", ListOf(12, g));
            set.Write();
        },
        [](std::size_t file, int g) { return ListBytes(10 + static_cast<int>(file), g); }});
    paths.push_back({"SetGet.kvt", {"SetGet.kvt"}, true,
        [](const fs::path& dir, int g) { WriteSettings(dir / "SetGet.kvt", SettingsOf(g)); },
        [](std::size_t, int g) { return WrittenBy([g](const fs::path& f) { WriteSettings(f, SettingsOf(g)); }); }});
    paths.push_back({"Options.kvt", {"Options.kvt"}, true,
        [](const fs::path& dir, int g) { WriteOptions(dir / "Options.kvt", OptionsOf(g)); },
        [](std::size_t, int g) { return WrittenBy([g](const fs::path& f) { WriteOptions(f, OptionsOf(g)); }); }});
    paths.push_back({"ScreenShot.BMP", {"ScreenShot/ScreenShot.BMP"}, true,
        [](const fs::path& dir, int g) { SaveSurfaceBmp(dir / "ScreenShot" / "ScreenShot.BMP", PictureOf(g)); },
        [](std::size_t, int g) { return EncodeSurfaceBmp(PictureOf(g)); }});
    paths.push_back({"M3U8 export", {"list.m3u8"}, true,
        [](const fs::path& dir, int g) {
            Form form;
            form.CurrentListBox.sorted = false;
            for (const fs::path& track : TracksOf(g))
                form.CurrentListBox.Add(
                    "t" + std::string(playlists::kItemPadWidth, ' ') + "*" + track.string() + "*0*");
            testing::FakeDialogs dialogs;
            dialogs.savedFiles.push_back(dir / "list.m3u8");
            playlists::M3uExport{form, dialogs}.SaveAsM3u();
        },
        [](std::size_t, int g) {
            const std::string text = playlists::EncodeM3u8(TracksOf(g));
            return Bytes(text.begin(), text.end());
        }});
    // The synchronised save: the four channel files in the order the recording writes them.
    std::vector<std::string> channels;
    for (const char* file : kChannels)
        channels.push_back(std::string{kTemplate} + "/" + file);
    paths.push_back({"synchronised save", channels, true,
        [](const fs::path& dir, int g) {
            std::vector<Bytes> bytes;
            for (int k = 0; k < 4; ++k)
                bytes.push_back(ChannelOf(20 + k, g));
            std::vector<FileWrite> writes;
            for (int k = 0; k < 4; ++k)
                writes.push_back({dir / kTemplate / kChannels[k], BytesView(bytes[static_cast<std::size_t>(k)])});
            WriteFilesTogether(writes);
        },
        [](std::size_t file, int g) { return ChannelOf(20 + static_cast<int>(file), g); }});
    return paths;
}

// The template save of generation `g` is either not made (no registry line for its
// track) or whole: the registered folder holds the handed-out channels and the new speed.
std::string TemplateSaveState(const fs::path& programDir, int g)
{
    const std::string track = (programDir / "Sound" / ("трек" + std::to_string(g) + "_.mp3")).string();
    const fs::path registryFile = programDir / "Lists" / "Kalvotune";
    const auto registry = playlists::ReadListFile(registryFile);
    if (!registry)
        return IsFile(registryFile) ? "the registry cannot be read" : "old";
    for (const std::string& line : *registry) {
        if (playlists::LinePath(line) != track)
            continue;
        const fs::path folder = programDir / "Data" / playlists::LineTemplate(line);
        for (int k = 0; k < 4; ++k)
            if (ReadFileBytes(folder / kChannels[k]) != ChannelOf(k, g))
                return "the registered folder " + folder.filename().string() + " lacks a whole " + kChannels[k];
        return "new";
    }
    return "old";
}

// The template folders in `Data` of `programDir` that no registry line names and that
// are neither handed out (their names end in '_') nor a temporary.
std::vector<std::string> UnregisteredFolders(const fs::path& programDir)
{
    const std::vector<std::string> registry
        = playlists::ReadListFile(programDir / "Lists" / "Kalvotune").value_or(std::vector<std::string>{});
    std::vector<std::string> folders;
    for (const fs::directory_entry& entry : fs::directory_iterator{programDir / "Data"}) {
        const std::string name = entry.path().filename().string();
        const bool named = std::any_of(registry.begin(), registry.end(),
            [&](const std::string& line) { return playlists::LineTemplate(line) == name; });
        if (!named && !name.ends_with('_') && name.find(".tmp-") == std::string::npos)
            folders.push_back(name);
    }
    return folders;
}

// What the next start does to the template saves a kill cut short; no journal is left,
// and every folder made is registered or gone.
void StartAfterKill(const fs::path& programDir)
{
    app::RemoveWriteLeftoversIn(programDir);
    ASSERT_EQ(playlists::SettleCutRegistrations(programDir), "");
    EXPECT_FALSE(fs::exists(programDir / "Lists" / playlists::kRegistrationJournalName));
    EXPECT_EQ(UnregisteredFolders(programDir), std::vector<std::string>{});
}

// Ends the process right after its `at`-th change on the disk, counted over every write.
class CrashAtDiskChange final : public WriteFaults {
public:
    explicit CrashAtDiskChange(int at)
        : m_left{at}
    {
    }
    void AfterDiskChange() override
    {
        if (--m_left == 0)
            ::raise(SIGKILL);
    }

private:
    int m_left;
};

// What the child reports before and after each write: path, generation, done.
struct Report {
    std::int32_t path;
    std::int32_t generation;
    std::int32_t done;
};

// Writes every path in turn, generation after generation, beginning with path `first`
// so that the kills, which land early, reach every path alike; with `crashAt` set, the
// writer ends itself right after that change on the disk.
[[noreturn]] void RunWriter(const fs::path& folder, int firstGeneration, int first, int reports, int crashAt)
{
    const std::vector<WritePath> paths = WritePaths();
    TemplateSaver saver{folder / "T"};
    CrashAtDiskChange crash{crashAt};
    if (crashAt > 0)
        InstallWriteFaults(&crash);
    const auto count = static_cast<int>(paths.size()) + 1;
    for (int generation = firstGeneration; generation < firstGeneration + 100'000; ++generation)
        for (int step = 0; step < count; ++step) {
            const int path = (first + step) % count;
            Report begin{path, generation, 0};
            if (::write(reports, &begin, sizeof begin) != sizeof begin)
                ::_exit(2);
            if (path < count - 1)
                paths[static_cast<std::size_t>(path)].write(folder, generation);
            else
                saver.Save(generation);
            Report end{path, generation, 1};
            if (::write(reports, &end, sizeof end) != sizeof end)
                ::_exit(2);
        }
    ::_exit(0);
}

std::size_t TemporariesIn(const fs::path& folder)
{
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator{folder})
        count += entry.path().filename().string().find(".tmp-") != std::string::npos ? 1 : 0;
    return count;
}

void MakeFolders(const fs::path& folder)
{
    for (const char* sub : {"Lists", "ScreenShot", kTemplate, "T/Lists", "T/Data", "T/Sound"})
        fs::create_directories(folder / sub);
}

// Whether the files of a path hold, each, the generation it held before (`held`, updated)
// or the one begun last; files replaced `together` must all have moved, or none.
bool HoldOldOrNew(const WritePath& path, const fs::path& folder, std::vector<int>& held, int begun)
{
    std::vector<int> now(path.files.size());
    for (std::size_t f = 0; f < path.files.size(); ++f) {
        const std::optional<Bytes> bytes = ReadFileBytes(folder / path.files[f]);
        if (!bytes)
            return false;
        if (*bytes == path.content(f, held[f]))
            now[f] = held[f];
        else if (*bytes == path.content(f, begun))
            now[f] = begun;
        else
            return false;
    }
    if (path.together && std::adjacent_find(now.begin(), now.end(), std::not_equal_to<>{}) != now.end())
        return false;
    held = now;
    return true;
}

TEST(CrashSafety, EveryWritePathHoldsItsOldOrNewContentAfterEachKill)
{
    TempDir dir;
    const fs::path& folder = dir.Path();
    MakeFolders(folder);
    const std::vector<WritePath> paths = WritePaths();
    const auto count = static_cast<int>(paths.size()) + 1; // the last one: the template save
    std::vector<int> written(static_cast<std::size_t>(count), -1); // the generation each path is known to hold
    std::vector<std::vector<int>> held; // and each of its files
    for (std::size_t p = 0; p < paths.size(); ++p) {
        paths[p].write(folder, 0);
        written[p] = 0;
        held.emplace_back(paths[p].files.size(), 0);
    }

    // Every other kill comes at a random moment, wherever the child happens to be; the
    // others right after a chosen change on the disk, so that these land inside a write
    // whatever the speed of the disk: the first of them right after the first change of
    // each path in turn, the later ones ever deeper into the writes.
    std::mt19937 random{20'260'106};
    constexpr int kKills{240};
    int highest = 0; // the newest generation any child began
    int atChange = 0; // kills right after a change on the disk
    int inWrite = 0; // and those that found the child inside a write
    int leftovers = 0;
    std::vector<int> caught(static_cast<std::size_t>(count), 0);
    for (int kill = 0; kill < kKills; ++kill) {
        const bool chosen = kill % 2 == 1;
        const int crashAt = chosen ? 1 + atChange / count * 3 : 0;
        const int first = (chosen ? atChange : kill / 2) % count;
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            RunWriter(folder, highest + 1, first, pipeEnds[1], crashAt);
        }
        ::close(pipeEnds[1]);

        Report report{};
        ASSERT_EQ(::read(pipeEnds[0], &report, sizeof report), static_cast<ssize_t>(sizeof report));
        if (!chosen) {
            // Once the child is writing, anywhere within a few writes (or many, on a fast disk).
            ::usleep(std::uniform_int_distribution<unsigned>{0, 4000}(random));
            ::kill(child, SIGKILL);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself";

        // Every path holds the generation it last finished (or, when it finished none in
        // this child, what it held), or the generation begun last.
        std::vector<int> begun = written;
        std::vector<bool> finished(static_cast<std::size_t>(count), false);
        Report last = report;
        for (;;) {
            const auto p = static_cast<std::size_t>(report.path);
            begun[p] = report.generation;
            highest = std::max(highest, report.generation);
            if (report.done) {
                written[p] = report.generation;
                finished[p] = true;
            }
            last = report;
            if (::read(pipeEnds[0], &report, sizeof report) != static_cast<ssize_t>(sizeof report))
                break;
        }
        ::close(pipeEnds[0]);
        const bool inside = !last.done;
        for (std::size_t p = 0; p < paths.size(); ++p) {
            if (finished[p])
                std::fill(held[p].begin(), held[p].end(), written[p]);
            ASSERT_TRUE(HoldOldOrNew(paths[p], folder, held[p], begun[p]))
                << paths[p].name << " holds neither its old nor its new content after kill " << kill;
        }
        const auto t = static_cast<std::size_t>(count - 1);
        const std::string state = TemplateSaveState(folder / "T", begun[t]);
        ASSERT_TRUE(state == "old" || state == "new") << state << " after kill " << kill;
        if (begun[t] != written[t]) {
            ASSERT_EQ(TemplateSaveState(folder / "T", written[t]), written[t] < 0 ? "old" : "new") << kill;
        }
        const bool leftover = TemporariesIn(folder) > 0;
        // A folder complete but not yet registered gets its line now, or goes.
        StartAfterKill(folder / "T");
        ASSERT_TRUE(TemplateSaveState(folder / "T", begun[t]) == "new" || state == "old") << kill;
        if (TemplateSaveState(folder / "T", begun[t]) == "new")
            written[t] = begun[t];
        if (chosen) {
            ++atChange;
            inWrite += inside ? 1 : 0;
            leftovers += leftover ? 1 : 0;
            caught[static_cast<std::size_t>(last.path)] += inside ? 1 : 0;
        }

        // The next start removes what the killed write left behind, and nothing else.
        app::RemoveWriteLeftoversIn(folder);
        app::RemoveWriteLeftoversIn(folder / "T");
        ASSERT_EQ(TemporariesIn(folder), 0u) << "kill " << kill;
        for (const WritePath& path : paths)
            for (const std::string& file : path.files)
                ASSERT_TRUE(IsFile(folder / file)) << file;
    }
    std::cout << "[ crash ] " << kKills << " kills; of the " << atChange << " right after a change on the disk, "
              << inWrite << " inside a write, " << leftovers << " left a temporary; inside each path:";
    for (std::size_t p = 0; p < caught.size(); ++p)
        std::cout << " " << (p < paths.size() ? paths[p].name : "template save") << " " << caught[p] << ";";
    std::cout << "\n";
    // The kills prove something only when they land inside writes, on every path, and
    // some of them while a write's temporary is on disk. Those right after a change on
    // the disk do so by construction: every write changes the disk before it ends, each
    // path is the first one written when a kill comes right after the first change, and a
    // temporary stands from a write's first change to its last.
    EXPECT_EQ(inWrite, atChange) << "a kill right after a change on the disk came outside any write";
    EXPECT_GE(leftovers * 4, atChange) << "too few kills found a write's temporary on disk";
    for (std::size_t p = 0; p < caught.size(); ++p)
        EXPECT_GT(caught[p], 0) << "no kill landed inside " << (p < paths.size() ? paths[p].name : "the template save");
}

// A template save killed right after each change on the disk in turn: the next start
// gives a complete folder its registry line and removes any other folder the save made,
// and the handed-out folder it took over stays until the line is in.
TEST(CrashSafety, ATemplateSaveKilledAtEachChangeIsRegisteredWholeOrNotAtAll)
{
    TempDir dir;
    const fs::path programDir = dir.Path() / "T";
    MakeFolders(dir.Path());
    int cutBeforeTheLine = 0; // kills that left a made folder without its line
    int step = 1;
    for (bool finished = false; !finished; ++step) {
        ASSERT_LT(step, 100) << "the save never finished";
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TemplateSaver saver{programDir};
            CrashAtDiskChange crash{step};
            InstallWriteFaults(&crash);
            saver.Save(step);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        finished = WIFEXITED(status);
        const std::string before = TemplateSaveState(programDir, step);
        cutBeforeTheLine += UnregisteredFolders(programDir).empty() ? 0 : 1;
        StartAfterKill(programDir);
        const std::string after = TemplateSaveState(programDir, step);
        ASSERT_TRUE(after == "new" || (after == "old" && before == "old")) << after << " at change " << step;
        const fs::path handedOut = programDir / "Data" / ("трек" + std::to_string(step) + "_");
        EXPECT_EQ(fs::exists(handedOut), after == "old") << "change " << step;
        if (finished) {
            EXPECT_EQ(after, "new");
        }
    }
    std::cout << "[ crash ] a template save killed after each of its " << step - 2 << " changes; " << cutBeforeTheLine
              << " left its folder without a line\n";
    EXPECT_GT(cutBeforeTheLine, 0) << "no kill landed between the folder and its line";
}

// Files replaced together, killed at each step of the replacement in turn: before the
// exchange all old, after it all new, the folder's other files kept, and the next start
// removes what the step left.
TEST(CrashSafety, FilesReplacedTogetherAreAllOldOrAllNewWhereverTheKillLands)
{
    TempDir dir;
    const fs::path data = dir.Path() / "Data";
    const fs::path folder = data / "Вальс48213";
    fs::create_directories(folder);
    const auto writeAll = [&](int g) {
        std::vector<Bytes> bytes;
        for (int k = 0; k < 4; ++k)
            bytes.push_back(ChannelOf(k, g));
        std::vector<FileWrite> writes;
        for (int k = 0; k < 4; ++k)
            writes.push_back({folder / kChannels[k], BytesView(bytes[static_cast<std::size_t>(k)])});
        return WriteFilesTogether(writes);
    };
    ASSERT_TRUE(writeAll(0).ok);
    ASSERT_TRUE(WriteFileAtomically(folder / "Заметка.txt", std::string_view{"kept"}).ok);

    int generation = 0;
    int step = 1;
    for (bool finished = false; !finished; ++step) {
        ASSERT_LT(step, 100) << "the replacement never finished";
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            KillAtWriteStep(step);
            ::_exit(writeAll(generation + 1).ok ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        finished = WIFEXITED(status);
        if (finished) {
            ASSERT_EQ(WEXITSTATUS(status), 0);
        }
        int held = -1;
        for (int k = 0; k < 4; ++k) {
            const std::optional<Bytes> now = ReadFileBytes(folder / kChannels[k]);
            const int g = now == ChannelOf(k, generation) ? generation
                : now == ChannelOf(k, generation + 1)     ? generation + 1
                                                          : -2;
            ASSERT_NE(g, -2) << kChannels[k] << " torn at step " << step;
            ASSERT_TRUE(held == -1 || held == g) << "channels of two versions at step " << step;
            held = g;
        }
        EXPECT_EQ(ReadFileBytes(folder / "Заметка.txt"), (Bytes{'k', 'e', 'p', 't'})) << step;
        app::RemoveWriteLeftoversIn(dir.Path());
        EXPECT_EQ(TemporariesIn(dir.Path()), 0u) << step;
        EXPECT_EQ(std::distance(fs::directory_iterator{data}, fs::directory_iterator{}), 1) << step;
        generation = held;
    }
    std::cout << "[ crash ] replacing four files together: killed at each of its " << step - 2 << " steps\n";
    EXPECT_GE(step - 2, 6);
}

TEST(CrashSafety, StartUpRemovesLeftoverTemporariesAndReadsPastThem)
{
    testing::AppFixture app;
    app.MakeProgramFolder();
    const fs::path lists = app.Dir() / "Lists";
    fs::create_directories(app.Dir() / "Data" / "Вальс48213");
    // What a write killed halfway leaves: a temporary beside each kind of file.
    const fs::path leftovers[]{lists / "MyLists.tmp-a1B2c3", lists / "Kalvotune.tmp-XyZ789",
        app.Dir() / "SetGet.kvt.tmp-000000", app.Dir() / "ScreenShot" / "ScreenShot.BMP.tmp-qwerty",
        app.Dir() / "Data" / "Вальс48213" / "Blu.kvt.tmp-abcdef"};
    for (const fs::path& file : leftovers)
        ASSERT_TRUE(WriteFileAtomically(file, std::string_view{"half a wri"}).ok);
    // Names that only look alike, and music, stay.
    const fs::path kept[]{lists / "Мой.tmp-список", lists / "Вальсы.tmp-abc", app.Dir() / "Sound" / "a.mp3.tmp-abcdef"};
    for (const fs::path& file : kept)
        ASSERT_TRUE(WriteFileAtomically(file, std::string_view{"*a*0*\r\n"}).ok);

    app.Start();
    for (const fs::path& file : leftovers)
        EXPECT_FALSE(fs::exists(file)) << file;
    for (const fs::path& file : kept)
        EXPECT_TRUE(fs::exists(file)) << file;
    EXPECT_EQ(app.Window().MyListsBox.Item(0), "Kalvotune");
    EXPECT_TRUE(app.dialogs.errors.empty());
}

// A full disk at each write the window makes: the old file stays, the user is told.
class FullDiskTest : public testing::AppFixture, public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeProgramFolder();
        std::filesystem::create_directories(Dir() / "Sound");
        ASSERT_TRUE(WriteFileAtomically(Dir() / "Sound" / "Вальс.mp3", std::string_view{"audio"}).ok);
        device.AddFile(Dir() / "Sound" / "Вальс.mp3", 3000);
    }
    void TearDown() override { FailWritesOf(std::nullopt); }

    std::string Contents(const fs::path& file) const
    {
        const std::optional<Bytes> bytes = ReadFileBytes(file);
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string{"<missing>"};
    }
    bool Told(const fs::path& file) const
    {
        for (const auto* texts : {&dialogs.messages, &dialogs.errors})
            for (const std::string& text : *texts)
                if (text.find("Не удалось записать файл " + file.string()) == 0)
                    return true;
        return false;
    }
};

TEST_F(FullDiskTest, StartUpListsKeepTheirOldContent)
{
    const fs::path files[]{Dir() / "Lists" / "MyLists", Dir() / "Lists" / "Калейдоскоп"};
    for (const fs::path& file : files) {
        // Both are out of date, so the start must write them (a list as it should be is
        // left alone).
        ASSERT_TRUE(WriteFileAtomically(files[0], std::string_view{"Kalvotune\r\n"}).ok);
        ASSERT_TRUE(WriteFileAtomically(files[1], std::string_view{"*old*0*\r\n"}).ok);
        dialogs.messages.clear();
        const std::string before = Contents(file);
        FailWritesOf(file);
        Start();
        FailWritesOf(std::nullopt);
        EXPECT_EQ(Contents(file), before) << file;
        EXPECT_TRUE(Told(file)) << file;
    }
}

TEST_F(FullDiskTest, HistoryListAndSettingsAndScreenshotKeepTheirOldContent)
{
    Start();
    Window().CurrentListBox.SetSelected(0, true);
    App().DoubleClick("ListBox1");
    ASSERT_EQ(device.openFile.filename(), "Вальс.mp3");
    const fs::path history = Dir() / "Lists" / "Былое";
    const std::string firstHistory = Contents(history);

    // The next start of the same track would rewrite the history list.
    App().Click("StopButton");
    FailWritesOf(history);
    Window().TrackIndex = -1;
    App().Click("PlayButton");
    EXPECT_EQ(Contents(history), firstHistory);
    EXPECT_TRUE(Told(history));

    const fs::path shot = Dir() / "ScreenShot" / "ScreenShot.BMP";
    ASSERT_TRUE(WriteFileAtomically(shot, std::string_view{"old picture"}).ok);
    FailWritesOf(shot);
    App().Click("ScreenShot1");
    EXPECT_EQ(Contents(shot), "old picture");
    EXPECT_TRUE(Told(shot));

    const fs::path settings = Dir() / "SetGet.kvt";
    ASSERT_TRUE(WriteSettings(settings, SavedSettings{}).ok);
    const std::string oldSettings = Contents(settings);
    Window().PictureRateSlider.SetPosition(77);
    FailWritesOf(settings);
    Close();
    EXPECT_EQ(Contents(settings), oldSettings);
    EXPECT_TRUE(Told(settings));
    EXPECT_EQ(TemporariesIn(Dir()), 0u);
}

} // namespace
} // namespace kalvotune
