#pragma once

#include "core/Random.hpp"
#include "core/TemplateChannels.hpp"
#include "templates/TemplateFolders.hpp"

#include <filesystem>
#include <string>

namespace kalvotune::templates {

/// The four channel files of a template folder.
inline constexpr const char* kBlueFile{"Blu.kvt"};
inline constexpr const char* kGreenFile{"Green.kvt"};
inline constexpr const char* kRedFile{"Red.kvt"};
inline constexpr const char* kSpeedFile{"Speed.kvt"};

/// The folder of template `templateName` under `programDir`/Data; empty when the name is
/// not a plain folder name (`IsPlainFolderName`), holds a NUL or names a link that leads
/// out of `Data`, so a damaged registry line can never reach outside `Data`.
std::filesystem::path TemplateFolderOf(const std::filesystem::path& programDir, const std::string& templateName);

/// What a track plays with: all four channel files of its template, only a recorded
/// speed channel (a still-picture template) under generated colours, or nothing of its
/// own (every channel generated).
enum class TemplateState { Full, StillPicture, None };

/// The template a starting track gets.
struct TrackTemplate {
    TemplateState state{TemplateState::None};
    /// The folder the template's name gives (`TemplateFolderOf`), whether or not it exists.
    std::filesystem::path dir;
    TemplateChannels channels;
};

/// The channels of the track that is starting, from template `templateName` under
/// `programDir`: the four files of the template folder when all are there, else generated
/// colours with the recorded `Speed.kvt` or a generated speed channel with a mark every
/// `pictureChangeTicks` ticks. When the folder is missing the channel files are looked for
/// in `Data` itself. Channel files are read no further than the generated length
/// (`trackSeconds` x 20 + 50, the length clamped to a day), so a file of gigabytes costs
/// no more than the track needs. Draws from `random`; shows no message.
TrackTemplate LoadTrackTemplate(const std::filesystem::path& programDir, const std::string& templateName,
    int trackSeconds, int pictureChangeTicks, Random& random);

/// The channels of a track without a template, `ticks` long: random colours, the red
/// turning every 5 s and the figures changing every 16.1 s; a random speed with a picture
/// change every `pictureChangeTicks`. Draws from `random`, seeded from the clock.
TemplateChannels GeneratedChannels(int ticks, int pictureChangeTicks, Random& random);

/// Fills one generated colour channel (1 blue, 2 green, 3 red) with even values 0..254,
/// one fresh draw per element.
void FillRandomColour(TemplateChannels& channels, Random& random, int channel);

} // namespace kalvotune::templates
