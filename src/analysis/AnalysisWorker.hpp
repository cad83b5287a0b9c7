#pragma once

#include "analysis/MusicAnalysis.hpp"

#include <functional>
#include <thread>

namespace kalvotune::analysis {

/// Analyses one track at a time on its own thread: a path goes in, the template's bytes
/// come out. It knows nothing of the window; the caller turns the callbacks, which run
/// on the worker's thread, into queued calls on its own thread.
class AnalysisWorker {
public:
    using Done = std::function<void(AnalysisResult)>;

    /// `analyse` runs on the worker's thread.
    explicit AnalysisWorker(Analyser analyse);
    AnalysisWorker(const AnalysisWorker&) = delete;
    AnalysisWorker& operator=(const AnalysisWorker&) = delete;
    /// Asks a running analysis to stop and waits for it.
    ~AnalysisWorker();

    /// Analyses `path` on a new thread (stopping and joining any earlier one first).
    /// `progress` gets the share done now and then; `done` gets the result once, also
    /// after a stop request (then with `cancelled` set).
    void Start(std::filesystem::path path, int pictureChangeTicks, AnalysisProgress progress, Done done);

    /// Asks the running analysis to stop soon; returns at once.
    void RequestStop();

private:
    Analyser m_analyse;
    std::jthread m_thread;
};

} // namespace kalvotune::analysis
