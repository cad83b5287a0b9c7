#include "app/UserDataDir.hpp"

#include <unistd.h>

namespace kalvotune::app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTables{"MassP1.kvt"};

bool Usable(const char* value)
{
    return value != nullptr && *value != '\0' && fs::path{value}.is_absolute();
}

WriteResult CopyFailed(const fs::path& file, const std::string& reason)
{
    return {false, "Не удалось создать личную папку программы: " + file.string() + " (" + reason + ")"};
}

/// Copies one file through the atomic writer unless `to` exists already.
WriteResult CopyMissingFile(const fs::path& from, const fs::path& to)
{
    std::error_code error;
    if (fs::exists(to, error))
        return {};
    const ReadResult read = ReadFileChecked(from);
    if (!read.ok())
        return CopyFailed(from, read.message.empty() ? "файл не читается" : read.message);
    return WriteFileAtomically(to, read.bytes);
}

} // namespace

fs::path UserProgramDir(const char* xdgDataHome, const char* home)
{
    if (Usable(xdgDataHome))
        return fs::path{xdgDataHome} / "Kalvotune";
    if (Usable(home))
        return fs::path{home} / ".local" / "share" / "Kalvotune";
    return {};
}

fs::path ShippedProgramDir(const fs::path& exeDir)
{
    return (exeDir.parent_path() / "share" / "kalvotune").lexically_normal();
}

bool IsWritableFolder(const fs::path& dir)
{
    const fs::path probe = dir / (".kalvotune-probe-" + std::to_string(::getpid()));
    const WriteResult written = WriteFileAtomically(probe, std::string_view{});
    std::error_code error;
    fs::remove(probe, error);
    return written.ok;
}

WriteResult CopyShippedFolder(const fs::path& shipped, const fs::path& user)
{
    std::error_code error;
    fs::create_directories(user, error);
    if (error)
        return CopyFailed(user, error.message());
    fs::recursive_directory_iterator walk{shipped, error};
    if (error)
        return CopyFailed(shipped, error.message());
    for (const fs::recursive_directory_iterator end; walk != end; walk.increment(error)) {
        if (error)
            return CopyFailed(shipped, error.message());
        const fs::path relative = walk->path().lexically_relative(shipped);
        const fs::path target = user / relative;
        if (walk->is_directory(error)) {
            fs::create_directories(target, error);
            if (error)
                return CopyFailed(target, error.message());
        } else if (walk->is_regular_file(error) && relative != kTables) {
            if (const WriteResult copied = CopyMissingFile(walk->path(), target); !copied.ok)
                return copied;
        }
    }
    if (error)
        return CopyFailed(shipped, error.message());
    return CopyMissingFile(shipped / kTables, user / kTables);
}

ProgramDirChoice ChooseProgramDir(const fs::path& startDir, const fs::path& exeDir, const fs::path& userDir,
    const std::function<bool(const fs::path&)>& isWritable)
{
    if (IsFile(startDir / kTables))
        return {startDir, {}};
    const bool exeHoldsTables = IsFile(exeDir / kTables);
    if (exeHoldsTables && isWritable(exeDir))
        return {exeDir, {}};
    const fs::path installed = ShippedProgramDir(exeDir);
    const fs::path shipped = exeHoldsTables ? exeDir : installed;
    if (userDir.empty() || !IsFile(shipped / kTables)) {
        // Nowhere better to go: run on the executable's folder, whose loading reports what
        // is missing and whose saving reports its errors.
        return {exeDir, {}};
    }
    if (IsFile(userDir / kTables))
        return {userDir, {}};
    WriteResult copied = CopyShippedFolder(shipped, userDir);
    if (!copied.ok)
        return {shipped, copied};
    return {userDir, {}};
}

} // namespace kalvotune::app
