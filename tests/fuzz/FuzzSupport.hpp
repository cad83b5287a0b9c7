#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kalvotune::fuzz {

/// Sections of a fuzz input that stands for several files: the bytes between the marks
/// "\n#~#\n". Missing sections are empty, so every input gives `count` sections.
std::vector<std::string_view> SplitSections(const std::uint8_t* data, std::size_t size, std::size_t count);

/// The input as text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

/// Writes `bytes` to `file`, creating its folder; used to lay out a fuzzed program folder.
void PutFile(const std::filesystem::path& file, std::string_view bytes);

/// `text` with every "$P" replaced by `programDir`, so an input can name files inside the
/// program folder whatever temporary path it gets.
std::string WithProgramDir(std::string_view text, const std::filesystem::path& programDir);

/// Stops the fuzzer with a message when `condition` is false (a property of the reader
/// under test failed), so libFuzzer records the input as a crash.
void Require(bool condition, const char* what);

} // namespace kalvotune::fuzz
