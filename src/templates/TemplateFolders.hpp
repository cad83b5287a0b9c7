#pragma once

#include "core/Random.hpp"

#include <filesystem>
#include <string>

namespace kalvotune::templates {

/// Gives the template of folder `title` in `dataDir` a name no other entry of `dataDir`
/// has: reseeds `random` from the clock, makes the folder `title` + a number (0..999999),
/// copies Blu.kvt, Green.kvt, Red.kvt and Speed.kvt from `title` into it, removes the old
/// folder with everything else it held, and returns the new folder's name. A missing old
/// folder or channel file is skipped silently. A title that is not a plain folder name
/// ("", "." or "..") never reaches an existing folder: only the new, empty folder is made.
std::string MakeTemplateFolder(const std::filesystem::path& dataDir, const std::string& title, Random& random);

/// True for a name that stands for one entry of a folder: not empty, not "." or "..",
/// no '/'. Only such a title may name the old template folder.
bool IsPlainFolderName(const std::string& name);

/// Removes `folder` with everything in it, clearing permissions that would stop the
/// removal. Symbolic links are removed, never followed. Failures are silent: whatever
/// cannot be removed stays. An empty path does nothing.
void DeleteFolderTree(const std::filesystem::path& folder);

} // namespace kalvotune::templates
