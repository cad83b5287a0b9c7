#pragma once

#include "core/FileIO.hpp"

#include <array>
#include <cstdint>
#include <filesystem>

namespace kalvotune {

inline constexpr const char* kSettingsFileName{"SetGet.kvt"};

/// The range of the picture-change slider, in ticks between picture changes.
inline constexpr int kFewestPictureChangeTicks{4};
inline constexpr int kMostPictureChangeTicks{80};
/// The range of the auto-mode slider, in milliseconds between mode changes.
inline constexpr int kShortestAutoModeMs{1000};
inline constexpr int kLongestAutoModeMs{20000};

/// `SetGet.kvt`: the window's settings kept from one start to the next, 100 little-endian
/// 32-bit words in this order. Each named word holds what the window stores in it; the
/// words after them are kept exactly as read, so the file is written back byte for byte.
/// A flag word is 1 when on and 0 when off as the window writes it; any other value
/// read counts as on. The initial values are those of a window never changed.
struct SavedSettings {
    std::int32_t figureType{0}; ///< word 0: the figure type (its low byte)
    std::int32_t mode{1}; ///< 1: the kaleidoscope's mode number
    std::int32_t pictureChangeSlider{20}; ///< 2: "Частота смены картинки", ticks between picture changes
    std::int32_t autoModeSlider{6000}; ///< 3: "Частота авто-смены режимов", milliseconds between changes
    std::int32_t showTimer{1}; ///< 4: "Показывать таймер"
    std::int32_t smoothing{1}; ///< 5: "сглаживать"
    std::int32_t smearing{0}; ///< 6: "размазать"
    std::int32_t graphicsOff{0}; ///< 7: "Откл/включить графику" (the item's tag: 1 when switched off)
    std::int32_t stayOnTop{0}; ///< 8: "поверх всех окон"
    std::int32_t fixList{0}; ///< 9: "Фиксировать лист"
    std::int32_t noJokes{1}; ///< 10: "Без шуточек"
    std::int32_t motionOff{0}; ///< 11: the picture stands still (a large screen's answer)
    std::int32_t autoModes{0}; ///< 12: the modes change by themselves (the auto-mode slider shows)
    std::int32_t autoFigureType{0}; ///< 13: figure type "авто"
    std::int32_t deleteBadLines{0}; ///< 14: "Удалять неверные строки"
    std::int32_t figureBalls{0}; ///< 15: figure type "шарики"
    std::int32_t figureBallsPlus{0}; ///< 16: figure type "шарики+"
    std::int32_t figureCasual{0}; ///< 17: figure type "наугад"
    std::int32_t figureMicro{0}; ///< 18: figure type "микро"
    std::int32_t figureMicroPlus{0}; ///< 19: figure type "микро+"
    std::int32_t noStartQuestion{0}; ///< 20: "Старт без предупрежд."
    /// Words 21 to 99: nothing reads them; they go back to the file as they came.
    std::array<std::int32_t, 79> unnamed{};

    bool operator==(const SavedSettings&) const = default;
};

/// The settings as the file's 100 words in order, and back: the file's layout, for the
/// reader, the writer and the tests that check the layout word by word.
using SettingsWords = std::array<std::int32_t, 100>;
SettingsWords ToWords(const SavedSettings& settings);
SavedSettings FromWords(const SettingsWords& words);

/// Reads `SetGet.kvt`. A missing or short file keeps the initial value of every word it
/// does not hold, so a damaged file never leaves a setting undefined.
SavedSettings ReadSettings(const std::filesystem::path& file);

/// Writes the settings as 400 bytes of little-endian words, atomically.
WriteResult WriteSettings(const std::filesystem::path& file, const SavedSettings& settings);

} // namespace kalvotune
