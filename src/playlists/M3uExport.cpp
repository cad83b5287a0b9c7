#include "playlists/M3uExport.hpp"

#include "core/FileIO.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/M3u.hpp"

namespace kalvotune::playlists {

namespace fs = std::filesystem;

namespace {

constexpr const char* kEmptyList{" Список пуст, сохранять нечего"};
constexpr const char* kDefaultName{"Список"};

} // namespace

M3uExport::M3uExport(Form& form, Dialogs& dialogs)
    : m_form{form}
    , m_dialogs{dialogs}
{
}

void M3uExport::SaveAsM3u()
{
    const ListBox& list = m_form.CurrentListBox;
    if (list.Count() == 0) {
        m_dialogs.ShowMessage(kEmptyList);
        return;
    }
    // A list without a file of its own ("0") is named after the folders it came from.
    std::string name = m_form.CurrentListName != "0" ? m_form.CurrentListName : m_form.CaptionPrefix;
    if (name.empty())
        name = kDefaultName;
    const std::optional<fs::path> chosen = m_dialogs.SavePlaylistFile(name + ".m3u8");
    if (!chosen)
        return;
    fs::path file = *chosen;
    if (!IsM3uFile(file))
        file += ".m3u8";

    std::vector<fs::path> tracks;
    tracks.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        tracks.emplace_back(LinePath(list.Item(i)));
    const WriteResult written = WriteFileAtomically(file, EncodeM3u8(tracks));
    if (!written.ok)
        m_dialogs.ShowMessage(written.message);
}

} // namespace kalvotune::playlists
