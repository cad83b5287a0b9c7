#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"

#include <filesystem>
#include <optional>
#include <string>

namespace kalvotune::template_commands {

/// "Установка ЦМШ": for every track chosen in the dialog, the handed-out folder named like
/// the track's title in `Data` is given a unique name (`templates::MakeTemplateFolder`) and a
/// registry line. A track without such a folder asks whether to go on; "No" ends the
/// walk. The registry is written whole at the end, also after "No". A registry that
/// cannot be read stops the command before anything is moved.
void InstallTemplateFolders(Form& form, Services& services);

/// The handed-out folder in `dataDir` for a track titled `title`: the folder named
/// exactly so, else the one folder whose name equals it but for letter case (Latin and
/// Cyrillic); none when there is no such folder, or several.
std::optional<std::string> HandedOutFolder(const std::filesystem::path& dataDir, const std::string& title);

} // namespace kalvotune::template_commands
