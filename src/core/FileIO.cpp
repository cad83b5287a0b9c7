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

WriteResult WriteFileAtomically(const fs::path& target, std::string_view bytes)
{
    const std::optional<std::size_t> failAfter = std::exchange(g_failAfter, std::nullopt);
    fs::path temp = target;
    temp += ".tmp-XXXXXX";
    std::string pattern = temp.string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return Failure(target, std::strerror(errno));

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
        ::chmod(pattern.c_str(), 0666 & ~mask);
        if (std::rename(pattern.c_str(), target.c_str()) != 0)
            error = errno;
    }
    if (error != 0) {
        ::unlink(pattern.c_str());
        return Failure(target, std::strerror(error));
    }
    return {};
}

WriteResult WriteFileAtomically(const fs::path& target, const Bytes& bytes)
{
    return WriteFileAtomically(target, std::string_view{reinterpret_cast<const char*>(bytes.data()), bytes.size()});
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
    if (g_failReads && *g_failReads == file)
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
    return held.ok() && std::equal(held.bytes.begin(), held.bytes.end(), bytes.begin(), bytes.end());
}

} // namespace kalvotune
