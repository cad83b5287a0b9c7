#pragma once

#include "core/FileIO.hpp"
#include "core/Random.hpp"
#include "core/TemplateChannels.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kalvotune::templates {

/// What making a template folder gave: the new folder's name, or the program's message
/// when it failed (nothing was changed then).
struct TemplateFolderResult {
    bool ok{};
    std::string name;
    std::string message;
    /// The old folder the new one took its channel files from; the caller removes it with
    /// `RemoveReplacedFolder` only once the registry names the new folder.
    std::string replaced;
};

/// Gives a template a folder in `dataDir` whose name no other entry has: reseeds `random`
/// from the clock, makes the folder `title` + a number (0..999999) and copies Blu.kvt,
/// Green.kvt, Red.kvt and Speed.kvt from the old folder `oldFolder` (by default `title`)
/// into it. The new folder is built under a temporary name and appears under its own name
/// only complete; the old folder stays until the caller, once the registry names the new
/// one, removes it (`RemoveReplacedFolder`), so a crash in between never leaves the
/// registry naming a folder that is gone. When making the folder or any copy fails, the
/// partial new folder is removed, the old one stays untouched and the result carries the
/// message. A missing old folder or channel file is skipped silently; an old
/// folder that is not a plain folder name (`IsPlainFolderName`) is never touched.
/// `announce`, when given, is called with the new folder's name and the old folder it
/// takes over (empty when none) once the folder is built and before it appears under its
/// name; a failure it gives stops the making, and nothing appears.
TemplateFolderResult MakeTemplateFolder(const std::filesystem::path& dataDir, const std::string& title, Random& random,
    const std::optional<std::string>& oldFolder = std::nullopt,
    const std::function<WriteResult(const std::string& name, const std::string& replaced)>& announce = {});

/// Writes `channels` as the template folder `folder` (Blu.kvt, Green.kvt, Red.kvt,
/// Speed.kvt), wherever the user names it. A new folder is built under a temporary name
/// beside it and appears only complete; an existing folder has the four files replaced
/// together (`WriteFilesTogether`), its other entries kept. On failure the result carries
/// the program's message and nothing half-written is left.
WriteResult WriteTemplateFolder(const std::filesystem::path& folder, const TemplateChannels& channels);

/// Removes the old folder `made` took over (with everything else it held), if any.
void RemoveReplacedFolder(const std::filesystem::path& dataDir, const TemplateFolderResult& made);

/// True for a name that stands for one entry of a folder: not empty, not "." or "..",
/// no '/' and no NUL. Only such a name may name a template folder.
bool IsPlainFolderName(const std::string& name);

/// Removes the template folder `folder` with everything in it, clearing permissions that
/// would stop the removal. Only a folder (or a symbolic link, which is removed, never
/// followed) directly inside a folder named `Data` and reached without "." or ".." is
/// removed; anything else, `Data` itself included, is left alone and gives false.
/// Failures inside the tree are silent: whatever cannot be removed stays.
bool DeleteFolderTree(const std::filesystem::path& folder);

} // namespace kalvotune::templates
