#include "core/FileIO.hpp"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace kalvotune {

namespace fs = std::filesystem;

namespace {

WriteFaults* g_faults{nullptr};

constexpr std::string_view kTempMark{".tmp-"};
constexpr std::size_t kTempSuffixChars{6};

WriteResult Failure(const fs::path& target, const std::string& reason)
{
    return {false, "Не удалось записать файл " + target.string() + ": " + reason};
}

} // namespace

void InstallWriteFaults(WriteFaults* faults)
{
    g_faults = faults;
}

namespace {

// One file of an atomic write on its way: its temporary, still open until `Finish`.
struct Pending {
    fs::path target;
    std::string temp;
    int fd{-1};
    int error{};
};

bool FailsRead(const fs::path& file)
{
    return g_faults != nullptr && g_faults->FailsRead(file);
}

void AfterDiskChange()
{
    if (g_faults != nullptr)
        g_faults->AfterDiskChange();
}

// Writes `bytes` into a new temporary file beside `target`, failing as a full disk would
// where the installed faults say so. `faultTarget` is the file the faults know it by;
// `first` tells the first file of a call.
Pending WriteTemporary(const fs::path& target, std::string_view bytes, bool first, const fs::path& faultTarget)
{
    const std::optional<std::size_t> failAfter
        = g_faults != nullptr ? g_faults->WriteLimit(faultTarget, bytes.size(), first) : std::nullopt;
    // An empty target would put the temporary file into whatever folder is current.
    if (target.empty() || !target.has_filename())
        return Pending{target, {}, -1, EINVAL};
    Pending pending{target, (fs::path{target} += ".tmp-XXXXXX").string()};
    pending.fd = ::mkstemp(pending.temp.data());
    if (pending.fd < 0) {
        pending.error = errno;
        pending.temp.clear();
        return pending;
    }
    AfterDiskChange();
    const std::size_t limit = failAfter ? std::min(*failAfter, bytes.size()) : bytes.size();
    std::size_t written = 0;
    while (written < limit) {
        const ssize_t n = ::write(pending.fd, bytes.data() + written, limit - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            pending.error = errno;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (pending.error == 0 && failAfter)
        pending.error = ENOSPC;
    AfterDiskChange();
    return pending;
}

void Flush(Pending& pending)
{
    if (pending.error == 0 && ::fsync(pending.fd) != 0)
        pending.error = errno;
}

// Flushes the temporaries to the disk. Several are flushed side by side: the file system
// then commits them together, many times faster than one after the other.
void FlushAll(std::vector<Pending>& pending)
{
    if (pending.size() <= 1) {
        for (Pending& p : pending)
            Flush(p);
        AfterDiskChange();
        return;
    }
    std::atomic<std::size_t> next{0};
    const std::size_t workers = std::min<std::size_t>(8, pending.size());
    std::vector<std::jthread> threads;
    for (std::size_t w = 0; w < workers; ++w)
        threads.emplace_back([&] {
            for (std::size_t i = next++; i < pending.size(); i = next++)
                Flush(pending[i]);
        });
    threads.clear();
    AfterDiskChange();
}

// Closes the temporary and, when all went well, renames it over the target.
WriteResult Finish(Pending& pending)
{
    if (pending.fd >= 0 && ::close(pending.fd) != 0 && pending.error == 0)
        pending.error = errno;
    if (pending.error == 0) {
        // The file keeps ordinary permissions, not mkstemp's private 0600.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(pending.temp.c_str(), 0666 & ~mask);
        if (std::rename(pending.temp.c_str(), pending.target.c_str()) != 0)
            pending.error = errno;
        AfterDiskChange();
    }
    if (pending.error != 0) {
        if (!pending.temp.empty())
            ::unlink(pending.temp.c_str());
        return Failure(pending.target, std::strerror(pending.error));
    }
    return {};
}

// Flushes the folders of the files renamed into place, each once: until its folder is on
// the disk, a rename may be lost with the power, leaving the old content under the name.
void SyncRenamed(const std::vector<Pending>& pending, const std::vector<WriteResult>& results)
{
    std::vector<fs::path> folders;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (!results[i].ok)
            continue;
        fs::path folder = pending[i].target.parent_path();
        if (folder.empty())
            folder = ".";
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(std::move(folder));
    }
    for (const fs::path& folder : folders)
        SyncFolder(folder);
}

// Every file's temporary, written and flushed. `faultTargets`, when given, are the names
// the installed faults know the files by.
std::vector<Pending> WriteAndFlush(
    const std::vector<FileWrite>& files, const std::vector<fs::path>* faultTargets = nullptr)
{
    std::vector<Pending> pending;
    pending.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        pending.push_back(WriteTemporary(
            files[i].target, files[i].bytes, i == 0, faultTargets != nullptr ? (*faultTargets)[i] : files[i].target));
    FlushAll(pending);
    return pending;
}

} // namespace

AtomicFileStream::AtomicFileStream(fs::path target)
    : m_target{std::move(target)}
{
}

AtomicFileStream::~AtomicFileStream()
{
    Abandon();
}

bool AtomicFileStream::Open()
{
    Abandon();
    m_error = 0;
    m_written = 0;
    // A stream's length is not known when it opens: the faults are asked with 0.
    m_failAfter = g_faults != nullptr ? g_faults->WriteLimit(m_target, 0, true) : std::nullopt;
    if (m_target.empty() || !m_target.has_filename()) {
        m_error = EINVAL;
        return false;
    }
    std::string temp = (fs::path{m_target} += ".tmp-XXXXXX").string();
    m_fd = ::mkstemp(temp.data());
    if (m_fd < 0) {
        m_error = errno;
        return false;
    }
    m_temp = temp;
    return true;
}

bool AtomicFileStream::Write(const void* data, std::size_t size)
{
    if (m_fd < 0 || m_error != 0)
        return false;
    const auto* bytes = static_cast<const char*>(data);
    std::size_t limit = size;
    if (m_failAfter)
        limit = std::min(size, *m_failAfter > m_written ? *m_failAfter - m_written : std::size_t{});
    std::size_t done = 0;
    while (done < limit) {
        const ssize_t n = ::write(m_fd, bytes + done, limit - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    m_written += done;
    if (done < size)
        m_error = ENOSPC; // the hook's full disk
    return m_error == 0;
}

std::int64_t AtomicFileStream::Seek(std::int64_t offset, int whence)
{
    if (m_fd < 0 || m_error != 0)
        return -1;
    const off_t at = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (at < 0)
        m_error = errno;
    return at;
}

WriteResult AtomicFileStream::Commit()
{
    if (m_fd < 0 && m_error == 0)
        m_error = EBADF;
    if (m_error == 0 && ::fsync(m_fd) != 0)
        m_error = errno;
    Pending pending{m_target, m_temp.string(), std::exchange(m_fd, -1), m_error};
    m_temp.clear();
    const WriteResult result = Finish(pending);
    m_error = pending.error;
    SyncRenamed({pending}, {result});
    return result;
}

void AtomicFileStream::Abandon()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

WriteResult AtomicFileStream::Result() const
{
    if (m_error == 0)
        return {};
    return Failure(m_target, std::strerror(m_error));
}

std::vector<WriteResult> WriteFilesAtomically(const std::vector<FileWrite>& files)
{
    std::vector<Pending> pending = WriteAndFlush(files);
    std::vector<WriteResult> results;
    results.reserve(files.size());
    for (Pending& p : pending)
        results.push_back(Finish(p));
    SyncRenamed(pending, results);
    return results;
}

bool SyncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

namespace {

// Counts the steps of `WriteFilesTogether` for the installed faults.
struct Steps {
    int done{0};
    void Next()
    {
        ++done;
        if (g_faults != nullptr) {
            g_faults->AtWriteStep(done);
            g_faults->AfterDiskChange();
        }
    }
};

// Makes `to` hold hard links to everything in `from` but the names in `skip`, folders
// rebuilt level by level; a symbolic link is linked as the link it is.
int LinkEntries(const fs::path& from, const fs::path& to, const std::vector<fs::path>& skip)
{
    std::error_code ec;
    for (fs::directory_iterator it{from, ec}, end; !ec && it != end; it.increment(ec)) {
        const fs::path name = it->path().filename();
        if (std::find(skip.begin(), skip.end(), name) != skip.end())
            continue;
        std::error_code typeError;
        if (it->symlink_status(typeError).type() == fs::file_type::directory) {
            if (::mkdir((to / name).c_str(), 0777) != 0)
                return errno;
            if (const int error = LinkEntries(it->path(), to / name, {}); error != 0)
                return error;
        } else if (::linkat(AT_FDCWD, it->path().c_str(), AT_FDCWD, (to / name).c_str(), 0) != 0) {
            return errno;
        }
    }
    return ec ? ec.value() : 0;
}

} // namespace

WriteResult WriteFilesTogether(const std::vector<FileWrite>& files)
{
    if (files.empty())
        return {};
    const fs::path folder = files.front().target.parent_path();
    std::vector<fs::path> names;
    for (const FileWrite& file : files) {
        if (!file.target.has_filename() || file.target.parent_path() != folder)
            return Failure(file.target, std::strerror(EINVAL));
        names.push_back(file.target.filename());
    }
    struct stat folderInfo { };
    if (folder.empty() || ::lstat(folder.c_str(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode))
        return Failure(files.front().target, std::strerror(ENOENT));

    // The new folder is built beside the old one under a temporary name: hard links to
    // what the old one holds besides the group, then the group's new files. One exchange
    // of the two names then replaces the whole group at once, and the old folder, now
    // under the temporary name, is removed. Killed before the exchange, the old folder is
    // untouched; after it, the new one is complete. Start-up removes the temporary.
    Steps steps;
    std::string staging = (fs::path{folder} += std::string{kTempMark} + "XXXXXX").string();
    if (::mkdtemp(staging.data()) == nullptr)
        return Failure(files.front().target, std::strerror(errno));
    steps.Next();
    const auto fail = [&staging](const fs::path& target, int error) {
        std::error_code ec;
        fs::remove_all(staging, ec);
        return Failure(target, std::strerror(error));
    };
    ::chmod(staging.c_str(), folderInfo.st_mode & 07777);
    if (const int error = LinkEntries(folder, staging, names); error != 0)
        return fail(folder, error);
    steps.Next();

    std::vector<FileWrite> staged;
    std::vector<fs::path> targets;
    for (std::size_t i = 0; i < files.size(); ++i) {
        staged.push_back({fs::path{staging} / names[i], files[i].bytes});
        targets.push_back(files[i].target);
    }
    std::vector<Pending> pending = WriteAndFlush(staged, &targets);
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (pending[i].error != 0) {
            const int error = pending[i].error;
            for (Pending& p : pending)
                if (p.fd >= 0)
                    ::close(std::exchange(p.fd, -1));
            return fail(files[i].target, error);
        }
    }
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (!Finish(pending[i]).ok) {
            const int error = pending[i].error;
            for (std::size_t j = i + 1; j < pending.size(); ++j)
                ::close(std::exchange(pending[j].fd, -1));
            return fail(files[i].target, error);
        }
        steps.Next();
    }
    SyncFolder(staging);
    steps.Next();

    const bool lacksExchange = g_faults != nullptr && g_faults->LacksExchange();
    if (lacksExchange || ::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE) != 0) {
        const int error = lacksExchange ? EINVAL : errno;
        if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
            return fail(folder, error);
        // A file system without the exchange: the new files are renamed over the old
        // ones one by one, which a crash can interrupt between two files.
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (std::rename((fs::path{staging} / names[i]).c_str(), files[i].target.c_str()) != 0)
                return fail(files[i].target, errno);
            AfterDiskChange();
        }
    }
    steps.Next();
    SyncFolder(folder.parent_path().empty() ? fs::path{"."} : folder.parent_path());
    steps.Next();
    std::error_code ec;
    fs::remove_all(staging, ec);
    steps.Next();
    return {};
}

WriteResult WriteFileAtomically(const fs::path& target, std::string_view bytes)
{
    return WriteFilesAtomically({{target, bytes}}).front();
}

WriteResult WriteFileAtomically(const fs::path& target, const Bytes& bytes)
{
    return WriteFileAtomically(target, BytesView(bytes));
}

ReadResult ReadFileChecked(const fs::path& file, std::size_t limit)
{
    ReadResult result;
    if (!IsFile(file))
        return result;
    const auto failed = [&](int error) {
        result.status = ReadResult::Status::Failed;
        result.bytes.clear();
        result.message = "Не удалось прочитать файл " + file.string() + ": " + std::strerror(error);
        return result;
    };
    if (FailsRead(file))
        return failed(EIO);
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr)
        return failed(errno);
    // The whole file in one allocation, read straight into place; the loop below only
    // picks up what a file that grew meanwhile, or one without a size, still holds.
    struct stat info { };
    if (::fstat(::fileno(f), &info) == 0 && info.st_size > 0) {
        result.bytes.resize(std::min(static_cast<std::size_t>(info.st_size), limit));
        const std::size_t n = std::fread(result.bytes.data(), 1, result.bytes.size(), f);
        if (n < result.bytes.size()) {
            result.bytes.resize(n);
            if (std::ferror(f) != 0) {
                const int error = errno != 0 ? errno : EIO;
                std::fclose(f);
                return failed(error);
            }
        }
    }
    std::uint8_t buffer[65536];
    while (result.bytes.size() < limit) {
        const std::size_t want = std::min(sizeof buffer, limit - result.bytes.size());
        const std::size_t n = std::fread(buffer, 1, want, f);
        result.bytes.insert(result.bytes.end(), buffer, buffer + n);
        if (n < want) {
            if (std::ferror(f) != 0) {
                const int error = errno != 0 ? errno : EIO;
                std::fclose(f);
                return failed(error);
            }
            break;
        }
    }
    std::fclose(f);
    result.status = ReadResult::Status::Ok;
    return result;
}

ReadResult ReadFileInto(const fs::path& file, std::span<std::uint8_t> into)
{
    ReadResult result;
    if (!IsFile(file))
        return result;
    const auto failed = [&](const std::string& reason) {
        result.status = ReadResult::Status::Failed;
        result.message = "Не удалось прочитать файл " + file.string() + ": " + reason;
        return result;
    };
    if (FailsRead(file))
        return failed(std::strerror(EIO));
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr)
        return failed(std::strerror(errno));
    const std::size_t n = std::fread(into.data(), 1, into.size(), f);
    const bool error = std::ferror(f) != 0;
    const int errorNumber = errno != 0 ? errno : EIO;
    const bool longer = n == into.size() && std::fgetc(f) != EOF;
    std::fclose(f);
    if (error)
        return failed(std::strerror(errorNumber));
    if (n != into.size() || longer)
        return failed("длина файла не " + std::to_string(into.size()) + " байт");
    result.status = ReadResult::Status::Ok;
    return result;
}

std::optional<Bytes> ReadFileBytes(const fs::path& file, std::size_t limit)
{
    ReadResult result = ReadFileChecked(file, limit);
    if (!result.ok())
        return std::nullopt;
    return std::move(result.bytes);
}

std::optional<Bytes> ReadFileBytes(const fs::path& file)
{
    return ReadFileBytes(file, static_cast<std::size_t>(-1));
}

bool IsFile(const fs::path& file)
{
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

bool FileHolds(const fs::path& file, std::string_view bytes)
{
    std::error_code ec;
    if (fs::file_size(file, ec) != bytes.size() || ec)
        return false;
    const ReadResult held = ReadFileChecked(file, bytes.size() + 1);
    // Byte for byte: a plain `char` is signed here, so the bytes above 127 (every Cyrillic
    // letter of a list) must be compared unsigned.
    return held.ok()
        && std::equal(held.bytes.begin(), held.bytes.end(), bytes.begin(), bytes.end(),
            [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
}

bool IsWithin(const fs::path& root, const fs::path& path)
{
    std::error_code ec;
    const fs::path base = fs::weakly_canonical(root, ec);
    if (ec || base.empty())
        return false;
    const fs::path resolved = fs::weakly_canonical(path, ec);
    if (ec)
        return false;
    auto b = base.begin();
    auto r = resolved.begin();
    for (; b != base.end(); ++b, ++r) {
        // A trailing separator of the root shows up as an empty last element.
        if (b->empty() && std::next(b) == base.end())
            break;
        if (r == resolved.end() || *b != *r)
            return false;
    }
    return true;
}

void RemoveWriteLeftovers(const fs::path& folder)
{
    std::error_code ec;
    for (fs::directory_iterator it{folder, ec}, end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::size_t mark = name.rfind(kTempMark);
        if (mark == std::string::npos || mark == 0 || name.size() - mark - kTempMark.size() != kTempSuffixChars)
            continue;
        const bool suffixOk = std::all_of(name.begin() + static_cast<std::ptrdiff_t>(mark + kTempMark.size()),
            name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
        std::error_code typeError;
        const fs::file_type type = it->symlink_status(typeError).type();
        std::error_code removeError;
        if (suffixOk && type == fs::file_type::regular)
            fs::remove(it->path(), removeError);
        // A folder a replacement of files together was building, or the old folder it
        // had not yet removed.
        else if (suffixOk && type == fs::file_type::directory)
            fs::remove_all(it->path(), removeError);
    }
}

FolderLock::FolderLock(const std::filesystem::path& folder)
    : m_fd{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)}
{
    if (m_fd >= 0)
        while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) { }
}

FolderLock::~FolderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace kalvotune
