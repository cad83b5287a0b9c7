#pragma once

#include "core/Form.hpp"
#include "playlists/ListFile.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace kalvotune::playlists {

/// The template registry `Kalvotune` in the `Lists` folder of `form.ProgramDir`.
std::filesystem::path RegistryFile(const Form& form);

/// Reads the registry into a work list sorted as it is written back (`ListTextLess`,
/// equal lines keeping their order). A missing registry gives an empty list; an
/// unreadable one gives `Failed` with the message, and the caller must not write it back.
ListReadResult ReadRegistryWorkList(const Form& form);

/// The template folder the registry lines give `track`, empty when it has none.
std::string RegisteredFolder(const std::vector<std::string>& lines, const std::string& track);

/// Inserts `line` into the sorted work list after the lines that sort equal to it.
/// Lines are never merged: a second line for the same track is kept beside the first.
void AddRegistryLine(std::vector<std::string>& lines, std::string line);

} // namespace kalvotune::playlists
