#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kalvotune {

using Bytes = std::vector<std::uint8_t>;

struct WriteResult {
    bool ok{true};
    std::string message; ///< the program's own words when `ok` is false
};

/// Writes `bytes` to a temporary file beside `target` and renames it over `target` only
/// once it is completely written and flushed, so a crash or a full disk never leaves a
/// half-written file. This is the only way the program writes its data files.
WriteResult WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);
WriteResult WriteFileAtomically(const std::filesystem::path& target, const Bytes& bytes);

/// Reads a whole file; empty when it cannot be opened (a folder counts as missing).
std::optional<Bytes> ReadFileBytes(const std::filesystem::path& file);
/// Reads at most `limit` bytes from the start of a file.
std::optional<Bytes> ReadFileBytes(const std::filesystem::path& file, std::size_t limit);

/// True for an existing regular file (not a folder).
bool IsFile(const std::filesystem::path& file);

/// Test hook: when set, the next atomic write fails after writing this many bytes, as a
/// full disk would. Reset by that write.
void FailNextWriteAfter(std::optional<std::size_t> bytes);

} // namespace kalvotune
