#include "app/AnalyseCommand.hpp"

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
    EXPECT_EQ(
        RunAnalyseCommand(dir.Path(), {{good.string(), bad.string()}, false}, random, first, analysis::AnalyseTrack),
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
    EXPECT_EQ(RunAnalyseCommand(dir.Path(), {{good.string()}, false}, random, again, analysis::AnalyseTrack), 0);
    EXPECT_EQ(again.str(), good.string() + ": ЦМШ уже есть (" + folder + "), оставлен\n");

    std::ostringstream replaced;
    clock.unixSeconds += 1;
    EXPECT_EQ(RunAnalyseCommand(dir.Path(), {{good.string()}, true}, random, replaced, analysis::AnalyseTrack), 0);
    EXPECT_EQ(playlists::ReadListFile(dir.Path() / "Lists" / "Kalvotune")->size(), 1u);
    EXPECT_FALSE(fs::exists(dir.Path() / "Data" / folder));
}

} // namespace
} // namespace kalvotune::app
