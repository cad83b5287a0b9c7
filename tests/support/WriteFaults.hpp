#pragma once

// The file layer's failures as the tests inject them: each call installs the tests' own
// `WriteFaults` the first time, so a test only says which fault it wants.
#include "core/FileIO.hpp"

#include <cstddef>
#include <filesystem>
#include <optional>

namespace kalvotune {

/// While set, every read of exactly this file fails as an unreadable file would (an I/O
/// error), although the file exists.
void FailReadsOf(std::optional<std::filesystem::path> file);

/// When set, the next call that writes fails on its first file after writing this many
/// bytes, as a full disk would. Used up by that call.
void FailNextWriteAfter(std::optional<std::size_t> bytes);

/// While set, every write of exactly this file fails as on a full disk, half-way through
/// (a stream after its first byte). A bare file name stands for that name in any folder.
void FailWritesOf(std::optional<std::filesystem::path> file);

/// While set, `WriteFilesTogether` kills the process (SIGKILL) at its step `step`
/// (1 = the folder copy begun), as a crash at that moment would.
void KillAtWriteStep(std::optional<int> step);

/// While true, `WriteFilesTogether` takes the file system for one without the exchange of
/// names, and renames the new files over the old ones one by one.
void WithoutRenameExchange(bool lacking);

} // namespace kalvotune
