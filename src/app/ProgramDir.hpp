#pragma once

#include <filesystem>

namespace kalvotune::app {

/// The program folder: the start-up folder when it holds the pattern tables, otherwise
/// the executable's own folder, so the player starts right from a launcher or any shell.
/// `ChooseProgramDir` adds the user's own folder for a player that cannot write there.
std::filesystem::path ResolveProgramDir(const std::filesystem::path& startDir, const std::filesystem::path& exeDir);

} // namespace kalvotune::app
