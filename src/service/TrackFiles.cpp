#include "service/TrackFiles.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace kalvotune::service {

namespace fs = std::filesystem;

namespace {

std::error_code LastError()
{
    return {errno, std::generic_category()};
}

bool EntryExists(const fs::path& path)
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// Makes an empty scratch file beside `target`; empty path when the folder refuses it.
fs::path MakeScratchFile(const fs::path& target, std::error_code& error)
{
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".copy-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = LastError();
        return {};
    }
    ::close(fd);
    return pattern;
}

// Flushes a finished copy to the disk before it takes its name, so that a crash right
// after the move cannot leave the only copy of a track unwritten.
std::error_code Flush(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return LastError();
    std::error_code error;
    if (::fsync(fd) != 0)
        error = LastError();
    ::close(fd);
    return error;
}

} // namespace

std::error_code SystemTrackFiles::Link(const fs::path& from, const fs::path& to)
{
    if (::link(from.c_str(), to.c_str()) != 0)
        return LastError();
    return {};
}

std::error_code SystemTrackFiles::Rename(const fs::path& from, const fs::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return LastError();
    // A file system without the no-replace rename: test first, then rename.
    if (EntryExists(to))
        return std::make_error_code(std::errc::file_exists);
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return LastError();
    return {};
}

std::error_code SystemTrackFiles::Copy(const fs::path& from, const fs::path& to, bool replace)
{
    std::error_code error;
    if (!fs::is_regular_file(from, error))
        return error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
    if (EntryExists(to)) {
        if (!replace || fs::equivalent(from, to, error))
            return error ? error : std::make_error_code(std::errc::file_exists);
    }

    const fs::path scratch = MakeScratchFile(to, error);
    if (scratch.empty())
        return error;
    fs::copy_file(from, scratch, fs::copy_options::overwrite_existing, error);
    if (!error)
        error = Flush(scratch);
    if (!error) {
        if (replace) {
            if (std::rename(scratch.c_str(), to.c_str()) != 0)
                error = LastError();
        } else {
            error = Rename(scratch, to);
        }
    }
    if (error)
        ::unlink(scratch.c_str());
    return error;
}

std::error_code SystemTrackFiles::Remove(const fs::path& file)
{
    std::error_code error;
    const fs::file_type type = fs::symlink_status(file, error).type();
    if (error)
        return error;
    if (type == fs::file_type::directory)
        return std::make_error_code(std::errc::is_a_directory);
    // A read-only file is deleted like any other: only its folder's permissions count.
    if (::unlink(file.c_str()) != 0)
        return LastError();
    return {};
}

} // namespace kalvotune::service
