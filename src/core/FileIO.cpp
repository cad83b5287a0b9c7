#include "core/FileIO.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kalvotune {

namespace fs = std::filesystem;

namespace {

std::optional<std::size_t> g_failAfter;
std::optional<fs::path> g_failReads;
std::optional<fs::path> g_failWrites;

WriteResult Failure(const fs::path& target, const std::string& reason)
{
    return {false, "Не удалось записать файл " + target.string() + ": " + reason};
}

} // namespace

void FailReadsOf(std::optional<fs::path> file)
{
    g_failReads = std::move(file);
}

void FailNextWriteAfter(std::optional<std::size_t> bytes)
{
    g_failAfter = bytes;
}

void FailWritesOf(std::optional<fs::path> file)
{
    g_failWrites = std::move(file);
}

namespace {

// A complete, flushed temporary file beside `target`, or why there is none.
struct TempWrite {
    std::string path;
    int error{};
};

TempWrite WriteTemporary(const fs::path& target, std::string_view bytes)
{
    std::optional<std::size_t> failAfter = std::exchange(g_failAfter, std::nullopt);
    if (g_failWrites && *g_failWrites == target)
        failAfter = 0;
    fs::path temp = target;
    temp += ".tmp-XXXXXX";
    TempWrite result{temp.string()};
    const int fd = ::mkstemp(result.path.data());
    if (fd < 0) {
        result.error = errno;
        return result;
    }

    const std::size_t limit = failAfter ? std::min(*failAfter, bytes.size()) : bytes.size();
    std::size_t written = 0;
    int error = 0;
    while (written < limit) {
        const ssize_t n = ::write(fd, bytes.data() + written, limit - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    if (error == 0 && failAfter)
        error = ENOSPC;
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0) {
        // The file keeps ordinary permissions, not mkstemp's private 0600.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(result.path.c_str(), 0666 & ~mask);
    } else {
        ::unlink(result.path.c_str());
    }
    result.error = error;
    return result;
}

std::string_view View(const Bytes& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

} // namespace

WriteResult WriteFileAtomically(const fs::path& target, std::string_view bytes)
{
    const TempWrite temp = WriteTemporary(target, bytes);
    if (temp.error != 0)
        return Failure(target, std::strerror(temp.error));
    if (std::rename(temp.path.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.path.c_str());
        return Failure(target, std::strerror(error));
    }
    return {};
}

WriteResult WriteFilesTogether(const std::vector<FileWrite>& files)
{
    std::vector<std::string> temps;
    const auto discard = [&temps](std::size_t from) {
        for (std::size_t i = from; i < temps.size(); ++i)
            ::unlink(temps[i].c_str());
    };
    for (const FileWrite& file : files) {
        const TempWrite temp = WriteTemporary(file.target, View(file.bytes));
        if (temp.error != 0) {
            discard(0);
            return Failure(file.target, std::strerror(temp.error));
        }
        temps.push_back(temp.path);
    }
    // Every file is complete on disk; only the renames are left, which within one folder
    // do not run out of space.
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (std::rename(temps[i].c_str(), files[i].target.c_str()) != 0) {
            const int error = errno;
            discard(i);
            return Failure(files[i].target, std::strerror(error));
        }
    }
    return {};
}

WriteResult WriteFileAtomically(const fs::path& target, const Bytes& bytes)
{
    return WriteFileAtomically(target, View(bytes));
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
    if (g_failReads && *g_failReads == file)
        return failed(EIO);
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr)
        return failed(errno);
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

} // namespace kalvotune
