#include "app/AnalyseCommand.hpp"
#include "app/RelinkCommand.hpp"

#include "Wav.hpp"

#include "core/FileIO.hpp"
#include "playlists/ListFile.hpp"
#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

namespace kalvotune::app {
namespace {

namespace fs = std::filesystem;

TEST(AnalyseCommand, ArgumentsAfterTheSwitchAreFilesAndReplace)
{
    AnalyseRequest request;
    const char* window[]{"kalvotune"};
    EXPECT_FALSE(ParseAnalyseRequest(1, window, request));
    const char* args[]{"kalvotune", "--analyse", "a.mp3", "--replace", "b.wav"};
    ASSERT_TRUE(ParseAnalyseRequest(5, args, request));
    EXPECT_EQ(request.files, (std::vector<std::string>{"a.mp3", "b.wav"}));
    EXPECT_TRUE(request.replace);
}

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
    EXPECT_EQ(RunAnalyseCommand(dir.Path(), {{good.string(), bad.string()}, false}, random, first), 1);
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
    EXPECT_EQ(RunAnalyseCommand(dir.Path(), {{good.string()}, false}, random, again), 0);
    EXPECT_EQ(again.str(), good.string() + ": ЦМШ уже есть (" + folder + "), оставлен\n");

    std::ostringstream replaced;
    clock.unixSeconds += 1;
    EXPECT_EQ(RunAnalyseCommand(dir.Path(), {{good.string()}, true}, random, replaced), 0);
    EXPECT_EQ(playlists::ReadListFile(dir.Path() / "Lists" / "Kalvotune")->size(), 1u);
    EXPECT_FALSE(fs::exists(dir.Path() / "Data" / folder));
}

TEST(RelinkCommand, PrintsEachChangeADryRunChangesNothingAndAnUnreadableListStopsAll)
{
    RelinkRequest request;
    const char* window[]{"kalvotune", "--analyse"};
    EXPECT_FALSE(ParseRelinkRequest(2, window, request));
    const char* args[]{"kalvotune", "--relink", "/music", "--dry-run"};
    ASSERT_TRUE(ParseRelinkRequest(4, args, request));
    EXPECT_EQ(request.folder, "/music");
    EXPECT_TRUE(request.dryRun);

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
    EXPECT_EQ(RunRelinkCommand(dir.Path(), {(dir.Path() / "music").string(), true, true}, dry), 0);
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
    EXPECT_EQ(RunRelinkCommand(dir.Path(), {(dir.Path() / "music").string(), false, true}, stopped), 1);
    EXPECT_NE(stopped.str().find("Большой"), std::string::npos);
    EXPECT_EQ(playlists::ReadListFile(lists / "Мой").value_or(std::vector<std::string>{}).front(),
        "*C:\\Альбом\\вальс.MP3*0*");

    fs::remove(lists / "Большой");
    std::ostringstream done;
    EXPECT_EQ(RunRelinkCommand(dir.Path(), {(dir.Path() / "music").string(), false, true}, done), 0);
    EXPECT_EQ(playlists::ReadListFile(lists / "Kalvotune").value_or(std::vector<std::string>{}),
        std::vector<std::string>{"*" + moved + "*Вальс1*"});
    EXPECT_EQ(playlists::ReadListFile(lists / "Мой").value_or(std::vector<std::string>{}),
        (std::vector<std::string>{"*" + moved + "*0*", "*C:\\Нет.mp3*0*"}));
    std::ostringstream usage;
    EXPECT_EQ(RunRelinkCommand(dir.Path(), {}, usage), 1);
}

} // namespace
} // namespace kalvotune::app
