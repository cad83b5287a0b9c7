#pragma once

#include "core/FileIO.hpp"
#include "core/Form.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace kalvotune::app {

using SettingsRecord = std::array<std::int32_t, 100>;

inline constexpr const char* kSettingsFileName{"SetGet.kvt"};

/// The record a fresh form would write: the controls' initial states.
SettingsRecord DefaultSettings();

/// Reads `SetGet.kvt`. A missing or short file gives the form's initial states for every
/// word it does not hold, so a damaged file never leaves a setting undefined.
SettingsRecord ReadSettings(const std::filesystem::path& file);
/// The same with the initial states gathered from `initial`, a form whose controls are
/// still as constructed.
SettingsRecord ReadSettings(const std::filesystem::path& file, const Form& initial);

/// Writes the record as 400 bytes of little-endian words, atomically.
WriteResult WriteSettings(const std::filesystem::path& file, const SettingsRecord& record);

/// The slider handlers the apply step runs when a position actually changes.
struct SliderHandlers {
    std::function<void()> trackBar1Change;
    std::function<void()> trackBar2Change;
};

/// Puts the record into the controls (the first step of `FormCreate`), without running
/// any menu handler; the caller then runs `StilWindowClick`.
void ApplySettings(Form& form, const SliderHandlers& sliders);

/// Copies the controls into `form.Settings`; words 21 to 99 stay as read.
void GatherSettings(Form& form);

} // namespace kalvotune::app
