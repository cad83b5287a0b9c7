#include "app/CommandLine.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <sstream>
#include <vector>

namespace kalvotune::app {
namespace {

CommandLine Read(std::initializer_list<const char*> arguments)
{
    std::vector<const char*> argv{"kalvotune"};
    argv.insert(argv.end(), arguments);
    return ReadCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, FilesStartTheWindowAndEachCommandTakesItsOwnOptions)
{
    EXPECT_EQ(Read({}).mode, CommandMode::Window);
    EXPECT_EQ(Read({"a.mp3", "./--odd name.wav", "-x"}).mode, CommandMode::Window);
    EXPECT_EQ(Read({"--analyse", "a.mp3", "--replace", "--jobs", "2", "b.wav"}).mode, CommandMode::Analyse);
    EXPECT_EQ(Read({"--analyse"}).mode, CommandMode::Analyse);
    EXPECT_EQ(Read({"--video", "a.mp3", "--output", "a.mp4", "--size", "640x360", "--fps", "25", "--seed", "7"}).mode,
        CommandMode::Video);
    EXPECT_EQ(Read({"--relink", "/music", "--dry-run"}).mode, CommandMode::Relink);
    // An option's value is never taken for an option, whatever it looks like.
    EXPECT_EQ(Read({"--video", "a.mp3", "--output", "--a.mp4"}).mode, CommandMode::Video);
}

TEST(CommandLine, HelpAndVersionWinAnywhere)
{
    EXPECT_EQ(Read({"--help"}).mode, CommandMode::Help);
    EXPECT_EQ(Read({"--version"}).mode, CommandMode::Version);
    EXPECT_EQ(Read({"a.mp3", "--help"}).mode, CommandMode::Help);
    EXPECT_EQ(Read({"--analyse", "a.mp3", "--version"}).mode, CommandMode::Version);
    EXPECT_EQ(Read({"--frobnicate", "--help"}).mode, CommandMode::Help);
}

TEST(CommandLine, UnknownAndMisplacedOptionsAreMistakesThatNameThem)
{
    const auto mistake = [](std::initializer_list<const char*> arguments) {
        const CommandLine command = Read(arguments);
        EXPECT_EQ(command.mode, CommandMode::Mistake);
        return command.mistake;
    };
    EXPECT_EQ(mistake({"--frobnicate"}), "Неизвестный ключ: --frobnicate");
    EXPECT_EQ(mistake({"a.mp3", "--"}), "Неизвестный ключ: --");
    EXPECT_EQ(mistake({"--analyse", "a.mp3", "--jobs=2"}), "Неизвестный ключ: --jobs=2");
    EXPECT_EQ(mistake({"--replace", "a.mp3"}), "Ключ --replace действует только с --analyse.");
    EXPECT_EQ(mistake({"--analyse", "a.mp3", "--dry-run"}), "Ключ --dry-run действует только с --relink.");
    EXPECT_EQ(mistake({"--relink", "/music", "--fps", "30"}), "Ключ --fps действует только с --video.");
    EXPECT_EQ(mistake({"a.mp3", "--analyse", "b.mp3"}), "Ключ --analyse должен стоять первым.");
    EXPECT_EQ(mistake({"--analyse", "a.mp3", "--video", "b.mp3"}), "Ключ --video должен стоять первым.");
}

TEST(CommandLine, AnswersGoToTheirStreamsWithTheirExitStatus)
{
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(AnswerCommandLine({CommandMode::Version, {}}, out, err), 0);
    EXPECT_EQ(out.str(), "Kalvotune 1.11\n");

    out.str({});
    EXPECT_EQ(AnswerCommandLine({CommandMode::Help, {}}, out, err), 0);
    for (const char* option : {"--analyse", "--replace", "--jobs", "--video", "--output", "--size", "--fps", "--seed",
             "--relink", "--dry-run", "--help", "--version", "Использование:"})
        EXPECT_NE(out.str().find(option), std::string::npos) << option;
    EXPECT_TRUE(err.str().empty());

    out.str({});
    EXPECT_EQ(AnswerCommandLine(Read({"--frobnicate"}), out, err), 2);
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(err.str(), "kalvotune: Неизвестный ключ: --frobnicate\n" + UsageText());

    EXPECT_EQ(AnswerCommandLine({CommandMode::Window, {}}, out, err), std::nullopt);
    EXPECT_EQ(AnswerCommandLine({CommandMode::Analyse, {}}, out, err), std::nullopt);
}

} // namespace
} // namespace kalvotune::app
