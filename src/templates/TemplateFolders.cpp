#include "templates/TemplateFolders.hpp"

#include "core/FileIO.hpp"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace kalvotune::templates {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, 4> kChannelFiles{"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"};
constexpr const char* kDataFolderName{"Data"};

bool EntryExists(const fs::path& path)
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

std::string KeptAsItWas(const std::string& folder)
{
    return " Шаблон <" + folder + "> оставлен как был.";
}

// Removes `folder` and everything below it; links are removed, never followed.
void RemoveTree(const fs::path& folder)
{
    std::error_code ec;
    if (fs::symlink_status(folder, ec).type() == fs::file_type::directory) {
        // A folder without write or search permission for its owner keeps its entries.
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it{folder, ec}, end; !ec && it != end; it.increment(ec))
            entries.push_back(*it);
        for (const fs::directory_entry& entry : entries) {
            std::error_code entryError;
            if (entry.symlink_status(entryError).type() == fs::file_type::directory)
                RemoveTree(entry.path());
            else
                fs::remove(entry.path(), entryError);
        }
    }
    fs::remove(folder, ec);
}

// Copies the channel files of `source` into `target`; empty on success, else the message.
std::string CopyChannelFiles(const fs::path& source, const fs::path& target)
{
    for (const char* file : kChannelFiles) {
        const ReadResult read = ReadFileChecked(source / file);
        if (read.status == ReadResult::Status::Missing)
            continue;
        if (!read.ok())
            return read.message + ".";
        if (const WriteResult written = WriteFileAtomically(target / file, read.bytes); !written.ok)
            return written.message + ".";
    }
    return {};
}

} // namespace

bool IsPlainFolderName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.find('\0') == std::string::npos;
}

TemplateFolderResult MakeTemplateFolder(const fs::path& dataDir, const std::string& title, Random& random,
    const std::optional<std::string>& oldFolder,
    const std::function<WriteResult(const std::string& name, const std::string& replaced)>& announce)
{
    std::string base = title;
    for (char& c : base)
        if (c == '/' || c == '\0')
            c = '_';

    random.SeedFromClock();
    std::string name;
    do {
        name = base + std::to_string(random.Next() % 1'000'000);
    } while (EntryExists(dataDir / name));

    const std::string old = oldFolder.value_or(title);
    const fs::path target = dataDir / name;
    // Built under a temporary name and renamed once complete, so a crash never leaves a
    // half-copied template under a template's name; start-up removes the temporary.
    std::string building = (fs::path{target} += ".tmp-XXXXXX").string();
    if (::mkdtemp(building.data()) == nullptr) {
        const std::string reason = std::strerror(errno);
        return {false, {}, "Не удалось создать папку " + target.string() + ": " + reason + "." + KeptAsItWas(old), {}};
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(building.c_str(), 0777 & ~mask);

    const fs::path source = dataDir / old;
    const bool takesOver = IsPlainFolderName(old);
    if (takesOver) {
        if (std::string failure = CopyChannelFiles(source, building); !failure.empty()) {
            RemoveTree(building);
            return {false, {}, failure + KeptAsItWas(old), {}};
        }
    }
    const std::string replaced = takesOver && EntryExists(source) ? old : std::string{};
    if (announce)
        if (const WriteResult announced = announce(name, replaced); !announced.ok) {
            RemoveTree(building);
            return {false, {}, announced.message + "." + KeptAsItWas(old), {}};
        }
    if (::renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        const std::string reason = std::strerror(errno);
        RemoveTree(building);
        return {false, {}, "Не удалось создать папку " + target.string() + ": " + reason + "." + KeptAsItWas(old), {}};
    }
    return {true, name, {}, replaced};
}

WriteResult WriteTemplateFolder(const fs::path& named, const TemplateChannels& channels)
{
    // "DIR/" names the folder DIR.
    const fs::path folder{named.filename().empty() ? named.parent_path() : named};
    const auto filesIn = [&](const fs::path& dir) {
        return std::vector<FileWrite>{{dir / kChannelFiles[0], BytesView(channels.blue)},
            {dir / kChannelFiles[1], BytesView(channels.green)}, {dir / kChannelFiles[2], BytesView(channels.red)},
            {dir / kChannelFiles[3], BytesView(channels.speed)}};
    };
    std::error_code ec;
    const fs::file_type type{fs::status(folder, ec).type()};
    if (type == fs::file_type::directory)
        return WriteFilesTogether(filesIn(folder));
    if (type != fs::file_type::not_found || folder.empty())
        return {false, "Не удалось создать папку " + folder.string() + ": на её месте уже есть файл"};

    std::string building = (fs::path{folder} += ".tmp-XXXXXX").string();
    if (::mkdtemp(building.data()) == nullptr)
        return {false, "Не удалось создать папку " + folder.string() + ": " + std::strerror(errno)};
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(building.c_str(), 0777 & ~mask);
    for (const WriteResult& written : WriteFilesAtomically(filesIn(building)))
        if (!written.ok) {
            RemoveTree(building);
            return written;
        }
    if (::renameat2(AT_FDCWD, building.c_str(), AT_FDCWD, folder.c_str(), RENAME_NOREPLACE) != 0) {
        const std::string reason = std::strerror(errno);
        RemoveTree(building);
        return {false, "Не удалось создать папку " + folder.string() + ": " + reason};
    }
    return {};
}

void RemoveReplacedFolder(const fs::path& dataDir, const TemplateFolderResult& made)
{
    if (made.ok && !made.replaced.empty() && made.replaced != made.name && IsPlainFolderName(made.replaced))
        DeleteFolderTree(dataDir / made.replaced);
}

bool DeleteFolderTree(const fs::path& folder)
{
    // A template folder is always one entry of `Data`: a damaged name ("", ".", "..", an
    // absolute path, a path with separators) must never reach anything else.
    for (const fs::path& part : folder)
        if (part == "." || part == "..")
            return false;
    if (!IsPlainFolderName(folder.filename().string()) || folder.parent_path().filename() != kDataFolderName)
        return false;
    std::error_code ec;
    const fs::file_type type = fs::symlink_status(folder, ec).type();
    if (type != fs::file_type::directory && type != fs::file_type::symlink)
        return false;
    RemoveTree(folder);
    return !EntryExists(folder);
}

} // namespace kalvotune::templates
