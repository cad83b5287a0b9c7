#include "core/FileIO.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kalvotune {

namespace fs = std::filesystem;

namespace {

std::optional<std::size_t> g_failAfter;
std::optional<fs::path> g_failReads;
std::optional<fs::path> g_failWrites;

constexpr std::string_view kTempMark{".tmp-"};
constexpr std::size_t kTempSuffixChars{6};

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

void FailWritesTo(std::optional<fs::path> file)
{
    g_failWrites = std::move(file);
}

WriteResult WriteFileAtomically(const fs::path& target, std::string_view bytes)
{
    std::optional<std::size_t> failAfter = std::exchange(g_failAfter, std::nullopt);
    if (g_failWrites && *g_failWrites == target)
        failAfter = bytes.size() / 2;
    // An empty target would put the temporary file into whatever folder is current.
    if (target.empty() || !target.has_filename())
        return {false, "Не удалось записать файл: недопустимое имя файла"};
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
        if (suffixOk && it->symlink_status(typeError).type() == fs::file_type::regular) {
            std::error_code removeError;
            fs::remove(it->path(), removeError);
        }
    }
}

} // namespace kalvotune
