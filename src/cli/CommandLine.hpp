#pragma once

#include "video/Mp4Writer.hpp"
#include "video/VideoExport.hpp"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace kalvotune::cli {

/// `kalvotune [FILE...]`: the player's window, opening the files named (if any).
struct WindowStart {
    std::vector<std::string> files;
    /// `--listen [--source NAME]`: the window starts listening to the computer's sound.
    bool listen{};
    /// The source to listen to (its server name); empty for the one chosen in the window.
    std::string source;
};

/// `--help`.
struct ShowHelp { };

/// `--version`.
struct ShowVersion { };

/// The most tracks `--analyse` takes on at once.
inline constexpr int kMostJobs{256};

/// `--analyse FILE... [--replace] [--jobs N]`.
struct AnalyseRequest {
    std::vector<std::string> files;
    bool replace{};
    /// Tracks analysed at once; 0 when `--jobs` did not say: `DefaultJobs()`.
    int jobs{};
};

/// `--video TRACK --output FILE.mp4 [--size WxH] [--fps N] [--fit stretch|crop|pad] [--seed S]
/// [--overwrite]`.
struct VideoCommandRequest {
    std::string track;
    std::string output;
    video::VideoFormat format;
    video::VideoFit fit{video::VideoFit::Stretch};
    std::optional<std::uint32_t> seed;
    /// `--overwrite`: an existing file of that name may be replaced (never the track itself).
    bool overwrite{};
};

/// `--relink FOLDER [--dry-run]`.
struct RelinkRequest {
    std::string folder;
    bool dryRun{};
};

/// The longest `--listen --seconds` recording: a day.
inline constexpr double kLongestListenSeconds{86400};

/// `--listen --seconds N --save-template DIR [--source NAME]`: a template from live sound.
struct ListenRequest {
    double seconds{};
    std::string folder;
    /// The source's server name; empty for the default output's monitor.
    std::string source;
};

/// A command line the program cannot follow: what is wrong with its first bad argument,
/// in the program's words.
struct UsageMistake {
    std::string text;
};

/// What a start of the program is asked to do, with the arguments of that mode.
using CommandLine = std::variant<WindowStart, ShowHelp, ShowVersion, AnalyseRequest, VideoCommandRequest, RelinkRequest,
    ListenRequest, UsageMistake>;

/// Reads the whole command line once, from the one table of the program's options, into
/// the typed arguments of its mode. Arguments starting with "--" are options, all others
/// are files or option values (a file named like an option is given as `./--name`). An
/// option's value follows it (`--jobs 2`) or is joined to it (`--jobs=2`), and may look
/// like anything. A command (`--analyse`, `--video`, `--relink`, `--listen`) comes first and takes
/// only its own options; `--help` and `--version` win wherever they stand. Of several
/// mistakes the first one is told.
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

} // namespace kalvotune::cli
