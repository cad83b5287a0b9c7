#pragma once

#include "core/FileIO.hpp"

#include <filesystem>
#include <functional>

namespace kalvotune::app {

/// The user's own program folder: `Kalvotune` in the desktop's per-user data folder
/// (`xdgDataHome` when set and absolute, else `home`/.local/share). Empty when neither
/// is usable.
std::filesystem::path UserProgramDir(const char* xdgDataHome, const char* home);

/// The program folder an installed player ships, `share/kalvotune` beside its `bin`.
std::filesystem::path ShippedProgramDir(const std::filesystem::path& exeDir);

/// True when a file can be created in `dir` (tries one and removes it).
bool IsWritableFolder(const std::filesystem::path& dir);

/// Copies into `user` every file of `shipped` that `user` does not have yet, folders
/// included; nothing the user already has is overwritten. The pattern table `MassP1.kvt`
/// comes last, so a folder that holds it is complete and an interrupted copy is taken up
/// again at the next start.
WriteResult CopyShippedFolder(const std::filesystem::path& shipped, const std::filesystem::path& user);

/// Where a run keeps its data, and the error when the user's folder could not be made.
struct ProgramDirChoice {
    std::filesystem::path dir;
    WriteResult prepared;
};

/// The program folder a run uses: the start folder when it holds the pattern tables,
/// else the executable's folder when it holds them and `isWritable` says it can be
/// written, else the user's own folder `userDir`, filled from the shipped folder (the
/// installed one, or the executable's read-only one) the first time. A shipped folder
/// that cannot be written thus never stops the player from saving.
ProgramDirChoice ChooseProgramDir(const std::filesystem::path& startDir, const std::filesystem::path& exeDir,
    const std::filesystem::path& userDir,
    const std::function<bool(const std::filesystem::path&)>& isWritable = IsWritableFolder);

} // namespace kalvotune::app
