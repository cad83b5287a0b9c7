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
/// half-written file. This is the only way the program writes its data files. An empty
/// `target` (the "nowhere" path that name checks give for an unusable name) is refused.
WriteResult WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);
WriteResult WriteFileAtomically(const std::filesystem::path& target, const Bytes& bytes);

/// What reading a file found: its bytes, no such file, or a file that exists and could
/// not be read (the reason in the program's own words).
struct ReadResult {
    enum class Status { Ok, Missing, Failed };
    Status status{Status::Missing};
    Bytes bytes;
    std::string message;

    bool ok() const { return status == Status::Ok; }
};

/// Reads at most `limit` bytes of a file, telling a missing file (or a folder) from one
/// that exists and cannot be read, so callers never mistake a read error for an empty or
/// absent file and write over the user's data.
ReadResult ReadFileChecked(const std::filesystem::path& file, std::size_t limit = static_cast<std::size_t>(-1));

/// Reads a whole file; empty when it cannot be opened (a folder counts as missing).
std::optional<Bytes> ReadFileBytes(const std::filesystem::path& file);
/// Reads at most `limit` bytes from the start of a file.
std::optional<Bytes> ReadFileBytes(const std::filesystem::path& file, std::size_t limit);

/// True for an existing regular file (not a folder).
bool IsFile(const std::filesystem::path& file);

/// True when `path`, with every symbolic link resolved, lies inside `root` (resolved too)
/// or is `root` itself. A path that does not exist yet is judged by its nearest existing
/// folder, so a name can be checked before it is created.
bool IsWithin(const std::filesystem::path& root, const std::filesystem::path& path);

/// Removes what an interrupted `WriteFileAtomically` left in `folder`: regular files
/// named like its temporaries (a name followed by ".tmp-" and six letters or digits).
/// Symbolic links and folders are left alone; failures are silent.
void RemoveWriteLeftovers(const std::filesystem::path& folder);

/// Test hook: while set, every read of exactly this file fails as an unreadable file
/// would (an I/O error), although the file exists.
void FailReadsOf(std::optional<std::filesystem::path> file);

/// Test hook: when set, the next atomic write fails after writing this many bytes, as a
/// full disk would. Reset by that write.
void FailNextWriteAfter(std::optional<std::size_t> bytes);

/// Test hook: while set, every atomic write to exactly this file fails halfway, as on a
/// full disk, so a test can fail one file among the several an operation writes.
void FailWritesTo(std::optional<std::filesystem::path> file);

} // namespace kalvotune
