// A writer killed at any moment never leaves a torn file: a child process rewrites the
// program's data files through their own write paths over and over while this process
// kills it with SIGKILL at random moments.
#include "app/AppFixture.hpp"
#include "app/ProgramDir.hpp"
#include "app/Settings.hpp"
#include "core/FileIO.hpp"
#include "playlists/ListFile.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace kalvotune {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// The files the child rewrites, each through the path the program writes it with.
enum class Writer { List, Settings, Channel };
struct DataFile {
    const char* path;
    Writer writer;
};
constexpr DataFile kFiles[]{
    {"Lists/MyLists", Writer::List},
    {"Lists/Kalvotune", Writer::List},
    {"Lists/Былое", Writer::List},
    {"Lists/Вальсы", Writer::List},
    {"SetGet.kvt", Writer::Settings},
    {"Data/Вальс48213/Blu.kvt", Writer::Channel},
    {"Data/Вальс48213/Green.kvt", Writer::Channel},
    {"Data/Вальс48213/Red.kvt", Writer::Channel},
    {"Data/Вальс48213/Speed.kvt", Writer::Channel},
};
constexpr int kFileCount{static_cast<int>(std::size(kFiles))};

std::vector<std::string> ListOf(int file, int generation)
{
    // Lengths vary with the generation, so a cut or a mix of two versions never passes.
    std::vector<std::string> lines;
    for (int i = 0; i <= generation % 53 + file; ++i)
        lines.push_back("*/музыка/" + std::to_string(generation) + "/трек " + std::to_string(i) + ".mp3*0*");
    return lines;
}

app::SettingsRecord SettingsOf(int generation)
{
    app::SettingsRecord record = app::DefaultSettings();
    for (std::size_t i = 21; i < record.size(); ++i)
        record[i] = generation * 1000 + static_cast<int>(i);
    return record;
}

Bytes ChannelOf(int file, int generation)
{
    Bytes bytes(static_cast<std::size_t>(200 + (generation * 37 + file) % 4000));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(generation + file + static_cast<int>(i));
    return bytes;
}

// The bytes `file` holds once generation `generation` of it is written.
Bytes ContentOf(int file, int generation)
{
    switch (kFiles[file].writer) {
    case Writer::List: {
        const std::string text = playlists::EncodeListFile(ListOf(file, generation));
        return Bytes(text.begin(), text.end());
    }
    case Writer::Settings: {
        TempDir scratch;
        app::WriteSettings(scratch.Path() / "s", SettingsOf(generation));
        return ReadFileBytes(scratch.Path() / "s").value_or(Bytes{});
    }
    case Writer::Channel:
        break;
    }
    return ChannelOf(file, generation);
}

void Write(const fs::path& folder, int file, int generation)
{
    const fs::path target = folder / kFiles[file].path;
    switch (kFiles[file].writer) {
    case Writer::List:
        playlists::WriteListFile(target, ListOf(file, generation));
        break;
    case Writer::Settings:
        app::WriteSettings(target, SettingsOf(generation));
        break;
    case Writer::Channel:
        WriteFileAtomically(target, ChannelOf(file, generation));
        break;
    }
}

// What the child reports before and after each write: file, generation, done.
struct Report {
    std::int32_t file;
    std::int32_t generation;
    std::int32_t done;
};

[[noreturn]] void RunWriter(const fs::path& folder, int firstGeneration, int reports)
{
    for (int generation = firstGeneration; generation < firstGeneration + 100'000; ++generation)
        for (int file = 0; file < kFileCount; ++file) {
            Report begin{file, generation, 0};
            if (::write(reports, &begin, sizeof begin) != sizeof begin)
                ::_exit(2);
            Write(folder, file, generation);
            Report end{file, generation, 1};
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

TEST(CrashSafety, EveryFileHoldsItsOldOrNewContentAfterEachKill)
{
    TempDir dir;
    const fs::path& folder = dir.Path();
    fs::create_directories(folder / "Lists");
    fs::create_directories(folder / "Data" / "Вальс48213");
    std::vector<int> written(kFileCount, 0); // the generation each file is known to hold
    for (int file = 0; file < kFileCount; ++file)
        Write(folder, file, 0);

    std::mt19937 random{20'260'106};
    constexpr int kKills{240};
    int cutMidWrite = 0;
    int leftovers = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        int pipeEnds[2];
        ASSERT_EQ(::pipe(pipeEnds), 0);
        const int next = *std::max_element(written.begin(), written.end()) + 1;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeEnds[0]);
            RunWriter(folder, next, pipeEnds[1]);
        }
        ::close(pipeEnds[1]);

        // Kill only once the child is writing, then anywhere within a few writes.
        Report report{};
        ASSERT_EQ(::read(pipeEnds[0], &report, sizeof report), static_cast<ssize_t>(sizeof report));
        ::usleep(std::uniform_int_distribution<unsigned>{0, 4000}(random));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself";

        // Every file holds what it held, or the generation begun last.
        std::vector<int> begun = written;
        for (;;) {
            const auto f = static_cast<std::size_t>(report.file);
            begun[f] = report.generation;
            if (report.done)
                written[f] = report.generation;
            if (::read(pipeEnds[0], &report, sizeof report) != static_cast<ssize_t>(sizeof report))
                break;
        }
        ::close(pipeEnds[0]);
        for (int file = 0; file < kFileCount; ++file) {
            const auto f = static_cast<std::size_t>(file);
            const std::optional<Bytes> now = ReadFileBytes(folder / kFiles[file].path);
            ASSERT_TRUE(now) << kFiles[file].path << " is gone after kill " << kill;
            if (*now == ContentOf(file, written[f]))
                continue;
            ASSERT_NE(begun[f], written[f]) << kFiles[file].path << " changed without a write, kill " << kill;
            ASSERT_EQ(*now, ContentOf(file, begun[f]))
                << kFiles[file].path << " holds neither its old nor its new content after kill " << kill;
            written[f] = begun[f];
            ++cutMidWrite;
        }
        leftovers += TemporariesIn(folder) > 0 ? 1 : 0;

        // The next start removes what the killed write left behind, and nothing else.
        app::RemoveWriteLeftoversIn(folder);
        ASSERT_EQ(TemporariesIn(folder), 0u) << "kill " << kill;
        for (int file = 0; file < kFileCount; ++file)
            ASSERT_TRUE(IsFile(folder / kFiles[file].path));
    }
    std::cout << "[ crash ] " << kKills << " kills, " << cutMidWrite << " landed between a write's start and its "
              << "report, " << leftovers << " left a temporary file\n";
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
    EXPECT_EQ(app.Window().ListBox3.Item(0), "Kalvotune");
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
    Window().ListBox1.SetSelected(0, true);
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
    ASSERT_TRUE(app::WriteSettings(settings, app::DefaultSettings()).ok);
    const std::string oldSettings = Contents(settings);
    Window().TrackBar1.SetPosition(77);
    FailWritesOf(settings);
    Close();
    EXPECT_EQ(Contents(settings), oldSettings);
    EXPECT_TRUE(Told(settings));
    EXPECT_EQ(TemporariesIn(Dir()), 0u);
}

} // namespace
} // namespace kalvotune
