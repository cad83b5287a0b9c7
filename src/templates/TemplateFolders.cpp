#include "templates/TemplateFolders.hpp"

#include <array>
#include <vector>

namespace kalvotune::templates {

namespace fs = std::filesystem;

namespace {

constexpr std::array<const char*, 4> kChannelFiles{"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"};

bool EntryExists(const fs::path& path)
{
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

} // namespace

bool IsPlainFolderName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

std::string MakeTemplateFolder(const fs::path& dataDir, const std::string& title, Random& random)
{
    std::string base = title;
    for (char& c : base)
        if (c == '/')
            c = '_';

    random.SeedFromClock();
    std::string name;
    do {
        name = base + std::to_string(random.Next() % 1'000'000);
    } while (EntryExists(dataDir / name));

    std::error_code ec;
    const fs::path target = dataDir / name;
    fs::create_directory(target, ec);
    if (!IsPlainFolderName(title))
        return name;

    const fs::path source = dataDir / title;
    for (const char* file : kChannelFiles) {
        std::error_code copyError;
        if (fs::is_regular_file(source / file, copyError))
            fs::copy_file(source / file, target / file, fs::copy_options::overwrite_existing, copyError);
    }
    DeleteFolderTree(source);
    return name;
}

void DeleteFolderTree(const fs::path& folder)
{
    if (folder.empty())
        return;
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
                DeleteFolderTree(entry.path());
            else
                fs::remove(entry.path(), entryError);
        }
    }
    fs::remove(folder, ec);
}

} // namespace kalvotune::templates
