#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kalvotune {

using Bytes = std::vector<std::uint8_t>;

/// The bytes as a character view, for the writers that take text and bytes alike.
inline std::string_view BytesView(const Bytes& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

struct WriteResult {
    bool ok{true};
    std::string message; ///< the program's own words when `ok` is false
};

/// Writes `bytes` to a temporary file beside `target` and renames it over `target` only
/// once it is completely written and flushed, so a crash or a full disk never leaves a
/// half-written file; the folder is flushed after the rename, so the new content survives
/// a power cut once the call returns. This is the only way the program writes its data files. An empty
/// `target` (the "nowhere" path that name checks give for an unusable name) is refused.
WriteResult WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);
WriteResult WriteFileAtomically(const std::filesystem::path& target, const Bytes& bytes);

/// Flushes `folder`'s entries (names made, renamed or removed) to the disk; false when
/// it cannot.
bool SyncFolder(const std::filesystem::path& folder);

/// One file of `WriteFilesAtomically`; the bytes must outlive the call.
struct FileWrite {
    std::filesystem::path target;
    std::string_view bytes;
};

/// Writes several files, each exactly as `WriteFileAtomically` does, but flushes them to
/// the disk together, which is many times faster than one after the other. Gives one
/// result per file, in order; a file that failed keeps its old content.
std::vector<WriteResult> WriteFilesAtomically(const std::vector<FileWrite>& files);

/// Replaces every file of the group, all in one folder, at once: a copy of the folder is
/// built beside it (hard links to its other entries, the group's new files written and
/// flushed) and swapped with it in one exchange of names, so a failed write or a crash at
/// any moment leaves either all old files or all new ones. The replaced folder is removed
/// afterwards; what a crash leaves of it, or of the copy, `RemoveWriteLeftovers` removes.
/// The result names the first file that failed.
WriteResult WriteFilesTogether(const std::vector<FileWrite>& files);

/// A large file written piece by piece, as `WriteFileAtomically` writes a small one: into a
/// temporary beside `target`, renamed over `target` only by `Commit` once complete and
/// flushed. Destroying it uncommitted removes the temporary, so a failure or a cancel never
/// leaves a partial file under the target's name. `WriteFaults::WriteLimit` counts this
/// file's bytes.
class AtomicFileStream {
public:
    explicit AtomicFileStream(std::filesystem::path target);
    AtomicFileStream(const AtomicFileStream&) = delete;
    AtomicFileStream& operator=(const AtomicFileStream&) = delete;
    ~AtomicFileStream();

    /// Creates the temporary; false when it cannot be made (see `Result`).
    bool Open();
    /// Appends at the current position; false once any write failed.
    bool Write(const void* data, std::size_t size);
    /// Moves like lseek; -1 when it fails.
    std::int64_t Seek(std::int64_t offset, int whence);
    /// The temporary's path while it exists.
    const std::filesystem::path& TempPath() const { return m_temp; }
    /// Flushes, closes and renames the temporary over the target.
    WriteResult Commit();
    /// Removes the temporary; the target is untouched.
    void Abandon();
    /// The failure so far in the program's words; ok while nothing failed.
    WriteResult Result() const;

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    int m_fd{-1};
    int m_error{};
    std::optional<std::size_t> m_failAfter;
    std::size_t m_written{};
};

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

/// Reads a file of exactly `into.size()` bytes straight into `into`, so that large tables
/// are neither copied nor zeroed twice. The result's `bytes` stay empty; a file of another
/// length counts as unreadable.
ReadResult ReadFileInto(const std::filesystem::path& file, std::span<std::uint8_t> into);

/// Reads a whole file; empty when it cannot be opened (a folder counts as missing).
std::optional<Bytes> ReadFileBytes(const std::filesystem::path& file);
/// Reads at most `limit` bytes from the start of a file.
std::optional<Bytes> ReadFileBytes(const std::filesystem::path& file, std::size_t limit);

/// True for an existing regular file (not a folder).
bool IsFile(const std::filesystem::path& file);

/// True when `file` exists, can be read and holds exactly `bytes`: writing them again
/// would change nothing.
bool FileHolds(const std::filesystem::path& file, std::string_view bytes);

/// True when `path`, with every symbolic link resolved, lies inside `root` (resolved too)
/// or is `root` itself. A path that does not exist yet is judged by its nearest existing
/// folder, so a name can be checked before it is created.
bool IsWithin(const std::filesystem::path& root, const std::filesystem::path& path);

/// Removes what an interrupted `WriteFileAtomically` left in `folder`: regular files
/// named like its temporaries (a name followed by ".tmp-" and six letters or digits),
/// and folders so named with all they hold (an interrupted `WriteFilesTogether`).
/// Symbolic links are left alone; failures are silent.
void RemoveWriteLeftovers(const std::filesystem::path& folder);

/// An exclusive advisory lock (`flock`) on a folder, held while the object lives, so two
/// processes of the program that read, change and write the same file there take turns.
/// Waits for the other holder; a folder that cannot be opened is not locked.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd{-1};
};

/// The seam through which the tests make the file layer fail as a full disk, an unreadable
/// file, a crash or a file system without the exchange of names would. The program itself
/// installs none; each answer below is then "no fault".
class WriteFaults {
public:
    virtual ~WriteFaults() = default;
    /// True when reading `file` must fail as an unreadable file would (an I/O error).
    virtual bool FailsRead(const std::filesystem::path& /*file*/) { return false; }
    /// How many of the `size` bytes of `target` reach the disk before the write fails as
    /// on a full disk; nothing when it succeeds. Asked once for each file written, with
    /// `first` true for the first file of a call (a stream is a call of one file).
    virtual std::optional<std::size_t> WriteLimit(
        const std::filesystem::path& /*target*/, std::size_t /*size*/, bool /*first*/)
    {
        return std::nullopt;
    }
    /// Called at each step of `WriteFilesTogether` (1 = the folder copy begun), where a
    /// test may end the process as a crash would.
    virtual void AtWriteStep(int /*step*/) { }
    /// Called after each change any write makes on the disk (a temporary made, written,
    /// flushed or renamed; a folder copy built, exchanged or removed), where a test may
    /// end the process as a crash would.
    virtual void AfterDiskChange() { }
    /// True when the file system must be taken for one without `RENAME_EXCHANGE`.
    virtual bool LacksExchange() { return false; }
};

/// Makes every later file operation ask `faults` (nullptr: none, the default). The caller
/// keeps it alive while installed; install it before other threads write.
void InstallWriteFaults(WriteFaults* faults);

} // namespace kalvotune
