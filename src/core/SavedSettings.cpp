#include "core/SavedSettings.hpp"

#include <algorithm>

namespace kalvotune {

namespace {

constexpr std::size_t kWords{100};

/// The named words in the file's order: word i is `kNamed[i]`.
constexpr std::array kNamed{&SavedSettings::figureType, &SavedSettings::mode, &SavedSettings::pictureChangeSlider,
    &SavedSettings::autoModeSlider, &SavedSettings::showTimer, &SavedSettings::smoothing, &SavedSettings::smearing,
    &SavedSettings::graphicsOff, &SavedSettings::stayOnTop, &SavedSettings::fixList, &SavedSettings::noJokes,
    &SavedSettings::motionOff, &SavedSettings::autoModes, &SavedSettings::autoFigureType,
    &SavedSettings::deleteBadLines, &SavedSettings::figureBalls, &SavedSettings::figureBallsPlus,
    &SavedSettings::figureCasual, &SavedSettings::figureMicro, &SavedSettings::figureMicroPlus,
    &SavedSettings::noStartQuestion};
static_assert(kNamed.size() + SavedSettings{}.unnamed.size() == kWords);

} // namespace

SettingsWords ToWords(const SavedSettings& settings)
{
    SettingsWords words{};
    for (std::size_t i = 0; i < kNamed.size(); ++i)
        words[i] = settings.*kNamed[i];
    std::copy(settings.unnamed.begin(), settings.unnamed.end(), words.begin() + kNamed.size());
    return words;
}

SavedSettings FromWords(const SettingsWords& words)
{
    SavedSettings settings;
    for (std::size_t i = 0; i < kNamed.size(); ++i)
        settings.*kNamed[i] = words[i];
    std::copy(words.begin() + kNamed.size(), words.end(), settings.unnamed.begin());
    return settings;
}

SavedSettings ReadSettings(const std::filesystem::path& file)
{
    SettingsWords words = ToWords(SavedSettings{});
    if (const auto bytes = ReadFileBytes(file, kWords * 4)) {
        const std::size_t held = bytes->size() / 4;
        for (std::size_t i = 0; i < held; ++i) {
            const auto* b = bytes->data() + i * 4;
            words[i]
                = static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8
                    | static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
        }
    }
    return FromWords(words);
}

WriteResult WriteSettings(const std::filesystem::path& file, const SavedSettings& settings)
{
    Bytes bytes;
    bytes.reserve(kWords * 4);
    for (const std::int32_t word : ToWords(settings)) {
        const auto u = static_cast<std::uint32_t>(word);
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(u >> shift));
    }
    return WriteFileAtomically(file, bytes);
}

} // namespace kalvotune
