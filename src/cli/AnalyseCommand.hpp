#pragma once

#include "analysis/MusicAnalysis.hpp"
#include "cli/CommandLine.hpp"
#include "core/Random.hpp"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <ostream>

namespace kalvotune::cli {

/// One track analysed at a time per core, at least one.
int DefaultJobs();

/// While it lives, SIGINT and SIGTERM (Ctrl+C, `kill`) no longer end the process at once:
/// the handler only stores the signal's number in `Flag()`, which a batch reads between
/// tracks, so no template is ever left half written. The handlers that were there before
/// come back when it goes.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// The signal that came, 0 while none did. Set from the signal handler.
    static const std::atomic<int>& Flag();

private:
    struct sigaction m_oldInterrupt { };
    struct sigaction m_oldTerminate { };
};

/// How a batch learns that it must stop and where it reports beside its lines.
struct AnalyseControl {
    /// A signal number here stops the batch: the tracks in work are discarded, the ones
    /// installed stay, and the command gives 128 + that number.
    const std::atomic<int>* stop{};
    /// Standard error: the message of an interrupted batch and, when `progress` is set,
    /// the progress line (tracks done of all, time taken, time left), rewritten with "\r".
    std::ostream* messages{};
    bool progress{};
};

/// Makes and installs a template from the music of every file for the program folder
/// `programDir`, asking nothing: a track that has a template keeps it unless `replace` is
/// set. `jobs` tracks are analysed at once; the templates are installed one by one in the
/// order of the files, so folders and registry are the same for any number of jobs.
/// Prints one line per file to `out`, in order (the path and the folder made, or why
/// not), and gives 0 when every file got or kept its template, 1 otherwise, 128 + the
/// signal when stopped. Markers keep the distance the saved picture-change slider asks for.
/// `analyse` does the analysis; it is called from several threads at once.
int RunAnalyseCommand(const std::filesystem::path& programDir, const AnalyseRequest& request, Random& random,
    std::ostream& out, const analysis::Analyser& analyse, const AnalyseControl& control = {});

} // namespace kalvotune::cli
