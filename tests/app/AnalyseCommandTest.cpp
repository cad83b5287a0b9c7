#include "app/AnalyseCommand.hpp"
#include "app/VideoCommand.hpp"

#include "AppFixture.hpp"

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

TEST(VideoCommand, ArgumentsGiveTheTrackTheFileAndTheShape)
{
    VideoCommandRequest request;
    const char* window[]{"kalvotune", "a.mp3"};
    EXPECT_FALSE(ParseVideoRequest(2, window, request));
    const char* plain[]{"kalvotune", "--video", "a.mp3", "--output", "a.mp4"};
    ASSERT_TRUE(ParseVideoRequest(5, plain, request));
    EXPECT_EQ(request.error, "");
    EXPECT_EQ(request.track, "a.mp3");
    EXPECT_EQ(request.output, "a.mp4");
    EXPECT_EQ(request.format.width, 1920);
    EXPECT_EQ(request.format.height, 1080);
    EXPECT_EQ(request.format.fps, 30);
    EXPECT_FALSE(request.seed.has_value());
    const char* full[]{"kalvotune", "--video", "--size", "320x240", "--fps", "24", "--seed", "9", "a.mp3", "--output",
        "a.mp4"};
    ASSERT_TRUE(ParseVideoRequest(11, full, request));
    EXPECT_EQ(request.error, "");
    EXPECT_EQ(request.track, "a.mp3");
    EXPECT_EQ(request.format.width, 320);
    EXPECT_EQ(request.format.fps, 24);
    EXPECT_EQ(request.seed, std::optional<std::uint32_t>{9});

    const std::vector<std::pair<std::vector<const char*>, const char*>> wrong{
        {{"kalvotune", "--video", "a.mp3"}, "Укажите трек и файл"},
        {{"kalvotune", "--video", "a.mp3", "--output", "a.mp4", "--size", "big"}, "размер видео не годится"},
        {{"kalvotune", "--video", "a.mp3", "--output", "a.mp4", "--size", "321x240"}, "размер видео не годится"},
        {{"kalvotune", "--video", "a.mp3", "--output", "a.mp4", "--fps", "0"}, "частота кадров не годится"},
        {{"kalvotune", "--video", "a.mp3", "--output", "a.mp4", "--fps", "x"}, "частота кадров не годится"},
        {{"kalvotune", "--video", "a.mp3", "--output", "a.mp4", "--seed", "-1"}, "зерно не годится"},
        {{"kalvotune", "--video", "a.mp3", "--output", "a.mp4", "--loud"}, "Непонятный параметр: --loud"},
    };
    for (const auto& [args, words] : wrong) {
        ASSERT_TRUE(ParseVideoRequest(static_cast<int>(args.size()), args.data(), request));
        EXPECT_NE(request.error.find(words), std::string::npos) << request.error;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunVideoCommand("/nowhere", request, 1, out, err), 1);
        EXPECT_EQ(err.str(), request.error + "\n");
    }
}

class VideoCommandRun : public ::testing::Test, public testing::AppFixture {};

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
    EXPECT_EQ(RunVideoCommand(Dir(), request, 77, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "seed 77\n" + request.output + "\n");
    EXPECT_TRUE(IsFile(request.output));

    request.output = (Dir() / "nowhere" / "Тон.mp4").string();
    request.seed = 5;
    std::ostringstream failedOut;
    std::ostringstream failedErr;
    EXPECT_EQ(RunVideoCommand(Dir(), request, 77, failedOut, failedErr), 1);
    EXPECT_EQ(failedOut.str(), "seed 5\n");
    EXPECT_NE(failedErr.str().find("Не удалось записать видео"), std::string::npos);
}

} // namespace
} // namespace kalvotune::app
