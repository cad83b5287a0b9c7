#include "playlists/ExternalFiles.hpp"

#include "core/FileIO.hpp"
#include "playlists/CurrentList.hpp"
#include "playlists/M3u.hpp"

#include <algorithm>
#include <cctype>

namespace kalvotune::playlists {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNotMusic{"Это не музыка, не добавлено: "};
constexpr const char* kNoSuchFile{"Нет такого файла: "};

std::string Joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

/// The audio files directly inside `folder`, sorted by name.
std::vector<fs::path> FolderTracks(const fs::path& folder)
{
    std::vector<fs::path> tracks;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator{folder, error})
        if (entry.is_regular_file(error) && IsAudioFile(entry.path()))
            tracks.push_back(entry.path());
    std::sort(tracks.begin(), tracks.end(),
        [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
    return tracks;
}

} // namespace

bool IsAudioFile(const fs::path& file)
{
    std::string extension = file.extension().string();
    std::transform(
        extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == ".wma" || extension == ".mp3" || extension == ".wav";
}

GatheredTracks GatherTracks(const std::vector<fs::path>& paths, bool openFolders)
{
    GatheredTracks gathered;
    std::vector<std::string> missing;
    std::vector<std::string> notMusic;
    for (const fs::path& path : paths) {
        std::error_code error;
        if (openFolders && fs::is_directory(path, error)) {
            const std::vector<fs::path> tracks = FolderTracks(path);
            gathered.tracks.insert(gathered.tracks.end(), tracks.begin(), tracks.end());
        } else if (!IsFile(path)) {
            missing.push_back(path.string());
        } else if (IsPlaylistFile(path)) {
            const std::vector<fs::path> tracks = ExpandPlaylists({path}, gathered.messages);
            gathered.tracks.insert(gathered.tracks.end(), tracks.begin(), tracks.end());
        } else if (IsAudioFile(path)) {
            gathered.tracks.push_back(path);
        } else {
            notMusic.push_back(path.filename().string());
        }
    }
    if (!missing.empty())
        gathered.messages.push_back(kNoSuchFile + Joined(missing));
    if (!notMusic.empty())
        gathered.messages.push_back(kNotMusic + Joined(notMusic));
    return gathered;
}

ExternalFiles::ExternalFiles(CurrentList& currentList, Dialogs& dialogs)
    : m_currentList{currentList}
    , m_dialogs{dialogs}
{
}

std::vector<fs::path> ExternalFiles::Gather(const std::vector<fs::path>& paths, bool openFolders)
{
    GatheredTracks gathered = GatherTracks(paths, openFolders);
    for (const std::string& message : gathered.messages)
        m_dialogs.ShowMessage(message);
    return std::move(gathered.tracks);
}

void ExternalFiles::OpenFiles(const std::vector<fs::path>& paths)
{
    m_currentList.OpenTracks(Gather(paths, false));
}

void ExternalFiles::DropFiles(const std::vector<fs::path>& paths)
{
    m_currentList.AddTracks(Gather(paths, true));
}

} // namespace kalvotune::playlists
