#pragma once

#include "playlists/ListFile.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace kalvotune::playlists {

/// The template registry `Kalvotune` in the `Lists` folder of `programDir`.
std::filesystem::path RegistryFile(const std::filesystem::path& programDir);

/// Reads the registry file `file` (`RegistryFile`) into a work list sorted as it is
/// written back (`ListTextLess`, equal lines keeping their order). A missing registry
/// gives an empty list; an unreadable one gives `Failed` with the message, and the
/// caller must not write it back.
ListReadResult ReadRegistryWorkList(const std::filesystem::path& file);

/// The template folder the registry lines give `track`, empty when it has none.
std::string RegisteredFolder(const std::vector<std::string>& lines, const std::string& track);

/// Inserts `line` into the sorted work list after the lines that sort equal to it.
/// Lines are never merged: a second line for the same track is kept beside the first.
void AddRegistryLine(std::vector<std::string>& lines, std::string line);

/// The registry as it is now (`current`) with one writer's edit applied: a line `edited`
/// has more often than `read` (what the writer read) is held as often as `edited` has it,
/// so a line two writers both added is there once; a line held less often is cut down to
/// as often as `edited` has it, every copy when it has none. Lines another writer added or
/// removed meanwhile stay so.
std::vector<std::string> MergeRegistryEdit(
    std::vector<std::string> current, const std::vector<std::string>& read, const std::vector<std::string>& edited);

/// Writes the registry of the program folder `programDir`: the work list `edited`, made
/// from the lines `read`. The window and a
/// `kalvotune --analyse` run may both register templates, and each reads the registry
/// long before it writes: so the registry is read again, under a lock on the `Lists`
/// folder held only for that read and the write, and the edit is applied to it
/// (`MergeRegistryEdit`). `edited` becomes what was written. A registry that cannot be
/// read now is not written, and its message is given.
WriteResult WriteRegistry(
    const std::filesystem::path& programDir, const std::vector<std::string>& read, std::vector<std::string>& edited);

} // namespace kalvotune::playlists
