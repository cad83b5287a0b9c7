#pragma once

#include "core/Random.hpp"

#include <filesystem>
#include <ostream>

namespace kalvotune::cli {

/// Prepares the program folder `programDir` before any command works on it, exactly as
/// the window's start prepares it (`playlists::PrepareStartLists`): so a command run on
/// a folder no window has opened yet finds the shipped templates registered, and a
/// registration a kill cut short settled. Prints each of its messages to `err`.
void PrepareProgramFolder(const std::filesystem::path& programDir, Random& random, std::ostream& err);

} // namespace kalvotune::cli
