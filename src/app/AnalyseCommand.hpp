#pragma once

#include "analysis/MusicAnalysis.hpp"
#include "core/Random.hpp"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace kalvotune::app {

/// What `kalvotune --analyse` was asked to do.
struct AnalyseRequest {
    std::vector<std::string> files;
    bool replace{};
};

/// Reads `--analyse FILE... [--replace]` from the command line; false when the first
/// argument is not `--analyse`, so the window starts as usual.
bool ParseAnalyseRequest(int argc, const char* const argv[], AnalyseRequest& request);

/// Makes and installs a template from the music of every file, in order, for the program
/// folder `programDir`, asking nothing: a track that has a template keeps it unless
/// `replace` is set. Prints one line per file to `out` (the path and the folder made, or
/// why not) and gives 0 when every file got or kept its template, 1 otherwise. Markers
/// keep the distance the saved picture-change slider asks for. `analyse` does the analysis.
int RunAnalyseCommand(const std::filesystem::path& programDir, const AnalyseRequest& request, Random& random,
    std::ostream& out, const analysis::Analyser& analyse);

} // namespace kalvotune::app
