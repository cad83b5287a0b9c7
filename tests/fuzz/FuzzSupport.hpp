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

/// A start picture from a short input, so the fuzzer reaches the pixel decoder and the
/// writer without megabyte inputs: the first 54 bytes are the file's header as they are,
/// the next 4 (little-endian) the file's length (modulo 4 MB + 64, past the reader's cap),
/// the rest a pixel pattern repeated to that length (zeros when empty). An input shorter
/// than 58 bytes is the file itself.
std::string ExpandPicture(std::string_view input);

/// Stops the fuzzer with a message when `condition` is false (a property of the reader
/// under test failed), so libFuzzer records the input as a crash.
void Require(bool condition, const char* what);

} // namespace kalvotune::fuzz
