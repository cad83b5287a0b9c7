#pragma once

#include "cli/CommandLine.hpp"

#include <filesystem>
#include <ostream>

namespace kalvotune::cli {

/// "Найти перемещённые треки…" without a window, for the program folder `programDir`:
/// indexes the audio files under the folder, matches the missing tracks of every list
/// and the registry, and (unless `dryRun`) rewrites them in one batch. Prints one line
/// per changed path ("old → new"), the tracks left as they were, and the summary. Gives
/// 1 when a list could not be read (nothing is changed then) or written, or the folder
/// cannot be walked; 0 otherwise.
int RunRelinkCommand(const std::filesystem::path& programDir, const RelinkRequest& request, std::ostream& out);

} // namespace kalvotune::cli
