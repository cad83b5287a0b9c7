#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace kalvotune::app {

/// What a start of the program is asked to do, as its command line says.
enum class CommandMode {
    Window, ///< the player's window; the arguments, if any, are files to open
    Help, ///< `--help`
    Version, ///< `--version`
    Analyse, ///< `--analyse FILE... [--replace] [--jobs N]`
    Video, ///< `--video TRACK --output FILE.mp4 [--size WxH] [--fps N] [--seed S] [--overwrite]`
    Relink, ///< `--relink FOLDER [--dry-run]`
    Mistake, ///< an option the program does not know, or one out of its place
};

struct CommandLine {
    CommandMode mode{CommandMode::Window};
    std::string mistake; ///< for `Mistake`: what is wrong, in the program's words
};

/// Recognises the command line. Arguments starting with "--" are options, all others are
/// files or option values (a file named like an option is given as `./--name`). A
/// command (`--analyse`, `--video`, `--relink`) comes first and takes only its own options;
/// `--help` and `--version` win wherever they stand. The details of each command
/// (its files, values and their checks) are read by the command itself.
CommandLine ReadCommandLine(int argc, const char* const argv[]);

/// The short usage lines, shown after a mistake and at the top of the help.
std::string UsageText();

/// `--help`: the usage and every option, in Russian like the program.
std::string HelpText();

/// `--version`: "Kalvotune 1.11" and a line end.
std::string VersionText();

/// Answers `--help` and `--version` on `out` and a mistake with the usage on `err`, and
/// gives the exit status (0, or 2 for a mistake); nothing for a start that goes on to a
/// window or a command.
std::optional<int> AnswerCommandLine(const CommandLine& command, std::ostream& out, std::ostream& err);

} // namespace kalvotune::app
