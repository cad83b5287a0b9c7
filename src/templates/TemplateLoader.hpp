#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "templates/TemplateFolders.hpp"

#include <filesystem>
#include <string>

namespace kalvotune::templates {

/// The four channel files of a template folder.
inline constexpr const char* kBlueFile{"Blu.kvt"};
inline constexpr const char* kGreenFile{"Green.kvt"};
inline constexpr const char* kRedFile{"Red.kvt"};
inline constexpr const char* kSpeedFile{"Speed.kvt"};

inline constexpr const char* kStillTemplateSuffix{"   (с ШНК)"};
inline constexpr const char* kNoTemplateSuffix{"   (без ЦМШ)"};

/// The folder of template `templateName` under `ProgramDir`/Data; empty when the name is
/// not a plain folder name (`IsPlainFolderName`), holds a NUL or names a link that leads
/// out of `Data`, so a damaged registry line can never reach outside `Data`.
std::filesystem::path TemplateFolderOf(const Form& form, const std::string& templateName);

/// Fills `form.channels` for the track that is starting: the four files of the template
/// folder when all are there, else generated colours with the recorded `Speed.kvt` or a
/// generated speed channel. Sets `TemplateDir`, `NoTemplate`, the caption, Build, Drive
/// and `TrackBar1`. Needs `TrackSeconds` and `TrackTitle` set. When the folder is missing
/// the channel files are looked for in `Data` itself. Channel files are read no further
/// than the generated length (`TrackSeconds` x 20 + 50, the length clamped to a day), so
/// a file of gigabytes costs no more than the track needs. Shows no message.
void LoadTrackTemplate(Form& form, Services& services, const std::string& templateName);

/// Fills one generated colour channel (1 blue, 2 green, 3 red) with even values 0..254,
/// one fresh draw per element.
void FillRandomColour(Form& form, Services& services, int channel);

} // namespace kalvotune::templates
