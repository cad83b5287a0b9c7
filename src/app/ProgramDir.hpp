#pragma once

#include <filesystem>

namespace kalvotune::app {

/// The program folder: the start-up folder when it holds the pattern tables, otherwise
/// the executable's own folder, so the player starts right from a launcher or any shell.
/// `ChooseProgramDir` adds the user's own folder for a player that cannot write there.
std::filesystem::path ResolveProgramDir(const std::filesystem::path& startDir, const std::filesystem::path& exeDir);

/// Removes the temporary files that writes cut short by a crash or a kill left in the
/// folders the program writes: the program folder, `Lists`, `ScreenShot`, `Data` and each
/// template folder in `Data`. Links are never followed.
void RemoveWriteLeftoversIn(const std::filesystem::path& programDir);

} // namespace kalvotune::app
