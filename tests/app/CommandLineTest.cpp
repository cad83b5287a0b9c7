#include "cli/CommandLine.hpp"
#include "cli/AnalyseCommand.hpp"
#include "cli/ListenCommand.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace kalvotune::cli {
namespace {

CommandLine Read(const std::vector<const char*>& arguments)
{
    std::vector<const char*> argv{"kalvotune"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ReadCommandLine(static_cast<int>(argv.size()), argv.data());
}

/// The arguments of the mode `Mode`; a failed expectation (and empty arguments) when the
/// line gave another mode.
template <typename Mode> Mode As(const std::vector<const char*>& arguments)
{
    const CommandLine command = Read(arguments);
    const Mode* mode = std::get_if<Mode>(&command);
    EXPECT_NE(mode, nullptr) << "mode " << command.index();
    return mode != nullptr ? *mode : Mode{};
}

std::string Mistake(const std::vector<const char*>& arguments)
{
    return As<UsageMistake>(arguments).text;
}

TEST(CommandLine, FilesStartTheWindowAndEachCommandGetsItsTypedArguments)
{
    EXPECT_TRUE(As<WindowStart>({}).files.empty());
    EXPECT_EQ(As<WindowStart>({"a.mp3", "./--odd name.wav", "-x"}).files,
        (std::vector<std::string>{"a.mp3", "./--odd name.wav", "-x"}));

    const AnalyseRequest analyse = As<AnalyseRequest>({"--analyse", "a.mp3", "--replace", "--jobs", "2", "b.wav"});
    EXPECT_EQ(analyse.files, (std::vector<std::string>{"a.mp3", "b.wav"}));
    EXPECT_TRUE(analyse.replace);
    EXPECT_EQ(analyse.jobs, 2);
    EXPECT_EQ(As<AnalyseRequest>({"--analyse", "a.mp3"}).jobs, 0);
    EXPECT_GE(DefaultJobs(), 1);

    const VideoCommandRequest plain = As<VideoCommandRequest>({"--video", "a.mp3", "--output", "a.mp4"});
    EXPECT_EQ(plain.track, "a.mp3");
    EXPECT_EQ(plain.output, "a.mp4");
    EXPECT_EQ(plain.format.width, 1920);
    EXPECT_EQ(plain.format.height, 1080);
    EXPECT_EQ(plain.format.fps, 30);
    EXPECT_FALSE(plain.seed.has_value());
    EXPECT_FALSE(plain.overwrite);
    EXPECT_EQ(plain.fit, video::VideoFit::Stretch);
    const VideoCommandRequest full = As<VideoCommandRequest>({"--video", "--size", "320x240", "--fps", "24", "--seed",
        "9", "a.mp3", "--overwrite", "--fit", "crop", "--output", "a.mp4"});
    EXPECT_EQ(full.fit, video::VideoFit::Crop);
    EXPECT_EQ(full.track, "a.mp3");
    EXPECT_EQ(full.format.width, 320);
    EXPECT_EQ(full.format.height, 240);
    EXPECT_EQ(full.format.fps, 24);
    EXPECT_EQ(full.seed, std::optional<std::uint32_t>{9});
    EXPECT_TRUE(full.overwrite);

    const RelinkRequest relink = As<RelinkRequest>({"--relink", "/music", "--dry-run"});
    EXPECT_EQ(relink.folder, "/music");
    EXPECT_TRUE(relink.dryRun);
    EXPECT_FALSE(As<RelinkRequest>({"--relink", "/music"}).dryRun);

    // `--listen` alone starts the window listening; with a recording asked for, no window.
    EXPECT_TRUE(As<WindowStart>({"--listen"}).listen);
    EXPECT_EQ(As<WindowStart>({"--listen", "--source", "mic"}).source, "mic");
    const ListenRequest listen = As<ListenRequest>({"--listen", "--seconds=2.5", "--save-template", "T", "--source=m"});
    EXPECT_EQ(listen.seconds, 2.5);
    EXPECT_EQ(listen.folder, "T");
    EXPECT_EQ(listen.source, "m");
}

TEST(CommandLine, AValueFollowsItsOptionOrIsJoinedToItWithAnEqualsSign)
{
    EXPECT_EQ(As<AnalyseRequest>({"--analyse", "--jobs=2", "track.mp3"}).jobs, 2);
    EXPECT_EQ(As<AnalyseRequest>({"--analyse", "--jobs", "3", "a.mp3", "--jobs=2"}).jobs, 2);
    const VideoCommandRequest joined
        = As<VideoCommandRequest>({"--video", "t.mp3", "--output=x.mp4", "--size=640x480", "--fps=25", "--seed=0"});
    EXPECT_EQ(joined.output, "x.mp4");
    EXPECT_EQ(joined.format.width, 640);
    EXPECT_EQ(joined.format.height, 480);
    EXPECT_EQ(joined.format.fps, 25);
    EXPECT_EQ(joined.seed, std::optional<std::uint32_t>{0});
    EXPECT_EQ(
        As<VideoCommandRequest>({"--video", "t.mp3", "--output", "x.mp4", "--fit=pad"}).fit, video::VideoFit::Pad);
    EXPECT_EQ(
        As<VideoCommandRequest>({"--video", "t.mp3", "--output", "x.mp4", "--size", "640x480"}).format.height, 480);
    // A value is never taken for an option, whatever it looks like; an equals sign in a
    // value that follows its option belongs to the value.
    EXPECT_EQ(As<VideoCommandRequest>({"--video", "a.mp3", "--output", "--a.mp4"}).output, "--a.mp4");
    EXPECT_EQ(As<VideoCommandRequest>({"--video", "a.mp3", "--output", "--help"}).output, "--help");
    EXPECT_EQ(As<VideoCommandRequest>({"--video", "a.mp3", "--output=a=b.mp4"}).output, "a=b.mp4");
    EXPECT_EQ(As<VideoCommandRequest>({"--video", "a.mp3", "--output", "x=1.mp4"}).output, "x=1.mp4");
}

TEST(CommandLine, HelpAndVersionWinAnywhere)
{
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(Read({"--help"})));
    EXPECT_TRUE(std::holds_alternative<ShowVersion>(Read({"--version"})));
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(Read({"a.mp3", "--help"})));
    EXPECT_TRUE(std::holds_alternative<ShowVersion>(Read({"--analyse", "a.mp3", "--version"})));
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(Read({"--frobnicate", "--help"})));
}

TEST(CommandLine, AMistakeNamesTheFirstBadArgument)
{
    EXPECT_EQ(Mistake({"--frobnicate"}), "Неизвестный ключ: --frobnicate");
    EXPECT_EQ(Mistake({"a.mp3", "--"}), "Неизвестный ключ: --");
    EXPECT_EQ(Mistake({"--frob=3"}), "Неизвестный ключ: --frob");
    EXPECT_EQ(Mistake({"--replace", "a.mp3"}), "Ключ --replace действует только с --analyse.");
    EXPECT_EQ(Mistake({"--analyse", "a.mp3", "--dry-run"}), "Ключ --dry-run действует только с --relink.");
    EXPECT_EQ(Mistake({"--relink", "/music", "--fps", "30"}), "Ключ --fps действует только с --video.");
    EXPECT_EQ(Mistake({"a.mp3", "--analyse", "b.mp3"}), "Ключ --analyse должен стоять первым.");
    EXPECT_EQ(Mistake({"--analyse", "a.mp3", "--video", "b.mp3"}), "Ключ --video должен стоять первым.");
    EXPECT_EQ(Mistake({"--analyse", "a.mp3", "--replace=yes"}), "Ключ --replace пишется без значения.");

    // Values that do not fit their option.
    for (const char* bad : {"0", "x", "2x", "-1", "257"}) {
        EXPECT_EQ(Mistake({"--analyse", "a.mp3", "--jobs", bad}),
            std::string{"После --jobs нужно число от 1 до 256: "} + bad);
    }
    EXPECT_EQ(Mistake({"--analyse", "a.mp3", "--jobs"}), "После --jobs нужно число от 1 до 256");
    EXPECT_EQ(Mistake({"--analyse", "a.mp3", "--jobs="}), "После --jobs нужно число от 1 до 256");
    const std::vector<std::pair<std::vector<const char*>, const char*>> wrong{
        {{"--video", "a.mp3", "--output", "a.mp4", "--size", "big"}, "Такой размер видео не годится: big"},
        {{"--video", "a.mp3", "--output", "a.mp4", "--size", "321x240"}, "Такой размер видео не годится: 321x240"},
        {{"--video", "a.mp3", "--output", "a.mp4", "--fps", "0"}, "Такая частота кадров не годится: 0"},
        {{"--video", "a.mp3", "--output", "a.mp4", "--fps", "x"}, "Такая частота кадров не годится: x"},
        {{"--video", "a.mp3", "--output", "a.mp4", "--seed", "-1"}, "Такое зерно не годится: -1"},
        {{"--video", "a.mp3", "--output", "a.mp4", "--fit", "fill"}, "После --fit нужно stretch, crop или pad: fill"},
        {{"--video", "a.mp3", "--output"}, "После --output нужно имя файла видео."},
        {{"--video", "a.mp3", "b.mp3", "--output", "a.mp4"}, "Лишний аргумент: b.mp3"},
        {{"--relink", "/music", "/more"}, "Лишний аргумент: /more"},
        {{"--listen", "a.mp3"}, "Лишний аргумент: a.mp3"},
        {{"--listen", "--seconds", "0", "--save-template", "T"}, "После --seconds нужно число секунд больше нуля"},
        {{"--listen", "--seconds", "nan", "--save-template", "T"}, "После --seconds нужно число секунд больше нуля"},
        {{"--listen", "--seconds", "5"}, "Запись шаблона с живого звука"},
        {{"--listen", "--save-template", "T"}, "Запись шаблона с живого звука"},
    };
    for (const auto& [args, words] : wrong)
        EXPECT_EQ(Mistake(args).find(words), 0u) << Mistake(args);

    // What a command needs and did not get.
    EXPECT_EQ(Mistake({"--analyse"}).find("Укажите файлы"), 0u);
    EXPECT_EQ(Mistake({"--video", "a.mp3"}).find("Укажите трек и файл"), 0u);
    EXPECT_EQ(Mistake({"--video", "--output", "a.mp4"}).find("Укажите трек и файл"), 0u);
    EXPECT_EQ(Mistake({"--relink"}).find("Укажите папку с музыкой"), 0u);

    // Of several mistakes the first one is told.
    EXPECT_EQ(Mistake({"--analyse", "--jobs=0", "a.mp3", "--frob"}), "После --jobs нужно число от 1 до 256: 0");
    EXPECT_EQ(
        Mistake({"--video", "a.mp3", "--fps", "0", "--size", "big", "--output", "a.mp4"}).find("Такая частота"), 0u);
    EXPECT_EQ(Mistake({"--video", "a.mp3", "b.mp3", "--frob", "--output", "a.mp4"}).find("Лишний аргумент: b.mp3"), 0u);
    EXPECT_EQ(Mistake({"--relink", "/music", "--fps=3", "--frob"}), "Ключ --fps действует только с --video.");
}

TEST(CommandLine, AnswersGoToTheirStreamsWithTheirExitStatus)
{
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(AnswerCommandLine(ShowVersion{}, out, err), 0);
    EXPECT_EQ(out.str(), "Kalvotune 1.11\n");

    out.str({});
    EXPECT_EQ(AnswerCommandLine(ShowHelp{}, out, err), 0);
    for (const char* option : {"--analyse", "--replace", "--jobs", "--video", "--output", "--size", "--fps", "--fit",
             "--seed", "--overwrite", "--relink", "--dry-run", "--listen", "--seconds", "--save-template", "--source",
             "--help", "--version", "Использование:"})
        EXPECT_NE(out.str().find(option), std::string::npos) << option;
    EXPECT_TRUE(err.str().empty());

    out.str({});
    EXPECT_EQ(AnswerCommandLine(Read({"--frobnicate"}), out, err), 2);
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(err.str(), "kalvotune: Неизвестный ключ: --frobnicate\n" + UsageText());

    EXPECT_EQ(AnswerCommandLine(WindowStart{}, out, err), std::nullopt);
    EXPECT_EQ(AnswerCommandLine(AnalyseRequest{}, out, err), std::nullopt);

    // `--listen --seconds`: the summary on the output; a failure, status 1, on the errors.
    template_commands::LiveTemplateRequest asked;
    const auto record = [&asked](const template_commands::LiveTemplateRequest& request) {
        asked = request;
        template_commands::LiveTemplateResult result;
        result.ok = request.source != "x";
        result.message = "Нет источника звука <x>";
        result.source = "test.monitor";
        return result;
    };
    out.str({});
    err.str({});
    EXPECT_EQ(RunListenCommand({.seconds = 2, .folder = "T", .source = "x"}, out, err, record), 1);
    EXPECT_EQ(err.str(), "kalvotune: Нет источника звука <x>\n");
    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(RunListenCommand({.seconds = 2, .folder = "T", .source = {}}, out, err, record), 0);
    EXPECT_EQ(asked.folder, "T");
    EXPECT_EQ(asked.seconds, 2);
    EXPECT_EQ(out.str().find("Источник звука: test.monitor\n"), 0u);
}

} // namespace
} // namespace kalvotune::cli
