#include "playlists/CurrentList.hpp"

#include "core/AudioDevice.hpp"
#include "core/FileIO.hpp"
#include "core/Random.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Lists.hpp"
#include "playlists/M3u.hpp"
#include "playlists/MyLists.hpp"
#include "templates/TemplateFolders.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kalvotune::playlists {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSelectSomething{" Пожалуйста, выделите что-нибудь"};
constexpr const char* kWriteCurrentLine{"Записать текущую строку"};
constexpr const char* kCancelWriting{"Отменить запись"};
constexpr const char* kWriteIntoNewList{"Записать в новый?"};
constexpr const char* kNameTakenTail{"> у нас есть.  Пожалуйста, измените имя."};
constexpr const char* kMoreFolders{"+..."};
/// Blanks between the caption prefix and the playing track's title: opening tracks
/// leaves six, every other change of the prefix five.
constexpr const char* kOpenedCaptionGap{"      "};
constexpr const char* kCaptionGap{"     "};
/// The window's frame on each side of the client area; the caption prefix's limit is
/// measured against the outer width.
constexpr int kWindowFrameWidth{5};

/// The name of the folder that holds `file`; empty for a file in a root folder.
std::string FolderName(const fs::path& file)
{
    return file.parent_path().filename().string();
}

/// Characters (code points) of UTF-8 text.
int CharCount(std::string_view text)
{
    return static_cast<int>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

constexpr const char* kDialogFilesMissing{
    "   Увы...   Возможно Вы зашли в папку с музыкой, что-то выбрали(выделили) и, не нажимая кнопку 'Открыть', "
    "перешли в другую папку и только тут ее нажали. Это глючек Windows. Будьте начеку и повторите попытку"};

} // namespace

bool AnyTrackSelected(const Form& form)
{
    return form.CurrentListBox.SelectedCount() > 0;
}

std::vector<std::string> SelectedOrPlayingTracks(const Form& form)
{
    std::vector<std::string> tracks;
    const ListBox& list = form.CurrentListBox;
    for (int i = 0; i < list.Count(); ++i)
        if (list.Selected(i)) {
            std::string path = LinePath(ItemToLine(list.Item(i)));
            if (!path.empty() && std::find(tracks.begin(), tracks.end(), path) == tracks.end())
                tracks.push_back(std::move(path));
        }
    if (tracks.empty() && !form.CurrentTrackName.empty())
        tracks.push_back(form.CurrentTrackName.string());
    return tracks;
}

void ReleaseStoppedTrack(Form& form, Services& services)
{
    if (services.device.Mode() != DeviceMode::Stopped)
        return;
    services.device.Close();
    form.PositionTimer.enabled = false;
    form.caption = form.CaptionPrefix;
}

void FollowMovedTrack(Form& form, const Services& services, const std::filesystem::path& to)
{
    const std::string oldTitle = form.TrackTitle;
    form.CurrentTrackName = to;
    form.TrackTitle = TrackTitleOf(to.string());
    if (services.device.Mode() == DeviceMode::NotOpen || oldTitle.empty())
        return;
    // The caption of a track is the prefix, a run of blanks, the title and maybe a suffix.
    std::string& caption = form.caption;
    const std::string& prefix = form.CaptionPrefix;
    if (!caption.starts_with(prefix))
        return;
    const std::size_t title = caption.find_first_not_of(' ', prefix.size());
    if (title != std::string::npos && title > prefix.size() && caption.compare(title, oldTitle.size(), oldTitle) == 0)
        caption.replace(title, oldTitle.size(), form.TrackTitle);
}

bool DialogFilesMissing(const std::vector<std::filesystem::path>& files, Dialogs& dialogs)
{
    for (const std::filesystem::path& file : files) {
        if (!IsFile(file)) {
            dialogs.ShowMessage(kDialogFilesMissing);
            return true;
        }
    }
    return false;
}

void TogglePathsView(Form& form)
{
    const ListBox& list = form.CurrentListBox;
    ListBox& paths = form.PathsBox;
    paths.Clear();
    for (int i = 0; i < list.Count(); ++i) {
        const int at = paths.Add(LinePath(list.Item(i)));
        paths.SetSelected(at, list.Selected(i));
    }
    paths.visible = form.PathsItem.checked;
}

CurrentList::CurrentList(Form& form, Services& services, Lists& lists, MyLists& myLists, PlayControls& player)
    : m_form{form}
    , m_services{services}
    , m_lists{lists}
    , m_myLists{myLists}
    , m_player{player}
{
}

bool CurrentList::Playing() const
{
    return m_services.device.Mode() == DeviceMode::Playing;
}

std::vector<fs::path> CurrentList::ChooseTracks()
{
    // An empty start folder lets the dialog begin where the user last was.
    const std::vector<fs::path> chosen = m_services.dialogs.OpenAudioFiles(false);
    if (chosen.empty() || DialogFilesMissing(chosen, m_services.dialogs))
        return {};
    std::vector<std::string> messages;
    std::vector<fs::path> tracks = ExpandPlaylists(chosen, messages);
    for (const std::string& message : messages)
        m_services.dialogs.ShowMessage(message);
    return tracks;
}

std::vector<fs::path> CurrentList::ListableTracks(const std::vector<fs::path>& files)
{
    std::vector<fs::path> tracks;
    std::vector<std::string> refused;
    for (const fs::path& file : files) {
        if (FitsListLine(file.string()))
            tracks.push_back(file);
        else
            refused.push_back(file.string());
    }
    if (!refused.empty())
        m_services.dialogs.ShowMessage(UnlistableTracksMessage(refused));
    return tracks;
}

void CurrentList::AppendTracks(const std::vector<fs::path>& files)
{
    for (const fs::path& file : files)
        m_form.CurrentListBox.Add(MakeListItem("*" + file.string() + "*"));
}

void CurrentList::OpenOtherMusic()
{
    Form& f = m_form;
    if (f.MyListsBox.visible) {
        m_myLists.OpenSelectedLists();
        return;
    }
    OpenTracks(ChooseTracks());
}

void CurrentList::OpenTracks(const std::vector<fs::path>& chosen)
{
    Form& f = m_form;
    const std::vector<fs::path> files = ListableTracks(chosen);
    if (files.empty())
        return;

    m_player.BeforeOwnSound();
    f.CurrentListBox.Clear();
    f.CurrentListBox.sorted = false;
    f.PathsBox.Clear();
    AppendTracks(files);
    f.BuildButton.enabled = false;
    f.CaptionPrefix = FolderName(files.front());
    f.caption = Playing() ? f.CaptionPrefix + kOpenedCaptionGap + f.TrackTitle : f.CaptionPrefix;
    f.TrackIndex = 0;
    m_player.UpdatePlayButtons();
    TogglePathsView(f);
    f.SaveIntoListItem.enabled = false;
    if (!f.CurrentListBox.visible)
        m_player.ToggleListView();
    f.ListExhausted = false;
    f.CurrentListBox.SetSelected(m_services.random.Next() % f.CurrentListBox.Count(), true);
    f.CurrentListName = "0";
    if (f.CurrentListBox.Count() == 1)
        m_player.PlayOrNext();
}

void CurrentList::AddMoreFiles()
{
    AddTracks(ChooseTracks());
}

void CurrentList::AddTracks(const std::vector<fs::path>& chosen)
{
    Form& f = m_form;
    const std::vector<fs::path> files = ListableTracks(chosen);
    if (files.empty())
        return;

    f.BuildButton.enabled = false;
    // The prefix names every folder tracks came from until it reaches a thirteenth of the
    // window's width; after that one "+..." says that there are more.
    const std::string folder = FolderName(files.front());
    std::string& prefix = f.CaptionPrefix;
    const int outerWidth = f.clientWidth + 2 * kWindowFrameWidth;
    if (CharCount(prefix) < outerWidth / 13) {
        if (prefix.find(folder) == std::string::npos)
            prefix += "+" + folder;
    } else if (prefix.find(folder) == std::string::npos && prefix.find(kMoreFolders) == std::string::npos) {
        prefix += kMoreFolders;
    }
    const DeviceMode mode = m_services.device.Mode();
    f.caption
        = mode == DeviceMode::Playing || mode == DeviceMode::Stopped ? prefix + kCaptionGap + f.TrackTitle : prefix;
    f.CurrentListBox.sorted = false;
    AppendTracks(files);
    TogglePathsView(f);
}

void CurrentList::DeleteSelectedLines()
{
    Form& f = m_form;
    if (!AnyTrackSelected(f)) {
        m_services.dialogs.ShowMessage(kSelectSomething);
        return;
    }
    ReleaseStoppedTrack(f, m_services);
    for (int i = f.CurrentListBox.Count() - 1; i >= 0; --i)
        if (f.CurrentListBox.Selected(i))
            f.CurrentListBox.Delete(i);
    TogglePathsView(f);
}

void CurrentList::PrepareListMenu()
{
    Form& f = m_form;
    // The registry is never overwritten from the list; a list opened from files has no
    // file of its own to write into ("My" enables the item, so it is checked every time;
    // "Как новый список" gives such a list its file).
    f.SaveIntoListItem.enabled = f.CurrentListName != kRegistryName && f.CurrentListName != "0";
    // The items are enabled only while a track plays; an open box must stay cancellable.
    if (f.WriteLineItem.checked)
        f.WriteLineItem.enabled = true;
}

void CurrentList::PrepareWindowMenu()
{
    if (m_form.WindowWriteLineItem.checked)
        m_form.WindowWriteLineItem.enabled = true;
}

void CurrentList::WriteCurrentLine()
{
    Form& f = m_form;
    if (f.WriteLineItem.checked || f.WindowWriteLineItem.checked) {
        CloseSelectionBox();
        return;
    }
    const std::optional<std::vector<std::string>> index = m_lists.ReadList(kMyListsName);
    if (!index)
        return;
    m_pendingListLine = "*" + f.CurrentTrackName.string() + "*0*";

    ListBox& box = f.ListChoiceBox;
    box.Clear();
    // The first line of the index is the registry, which takes no lines from here.
    for (std::size_t i = 1; i < index->size(); ++i)
        box.Add((*index)[i]);
    box.Add(kWriteIntoNewList);

    m_listBox1WasVisible = f.CurrentListBox.visible;
    m_listBox2WasVisible = f.PathsBox.visible;
    m_listBox3WasVisible = f.MyListsBox.visible;
    box.visible = true;
    f.CurrentListBox.visible = false;
    f.PathsBox.visible = false;
    f.MyListsBox.visible = false;
    for (MenuItem* item : {&f.WriteLineItem, &f.WindowWriteLineItem}) {
        item->checked = true;
        item->caption = kCancelWriting;
    }
}

void CurrentList::CloseSelectionBox()
{
    Form& f = m_form;
    for (MenuItem* item : {&f.WriteLineItem, &f.WindowWriteLineItem}) {
        item->checked = false;
        item->caption = kWriteCurrentLine;
    }
    f.ListChoiceBox.visible = false;
    f.CurrentListBox.visible = m_listBox1WasVisible;
    f.PathsBox.visible = m_listBox2WasVisible;
    f.MyListsBox.visible = m_listBox3WasVisible;
}

void CurrentList::WriteLineIntoChosenList()
{
    ListBox& box = m_form.ListChoiceBox;
    if (!box.visible)
        return;
    int chosen = -1;
    for (int i = 0; i < box.Count() && chosen < 0; ++i)
        if (box.Selected(i))
            chosen = i;
    if (chosen < 0)
        return;
    const std::string entry = box.Item(chosen);
    const bool done = entry == kWriteIntoNewList ? WriteIntoNewList() : WriteIntoList(entry);
    if (done) {
        CloseSelectionBox();
    } else {
        // The box stays open; a click on the same entry must reach us again.
        box.SetSelected(chosen, false);
        box.itemIndex = -1;
    }
}

bool CurrentList::WriteIntoNewList()
{
    Dialogs& dialogs = m_services.dialogs;
    std::string proposal = DatedListName("Список ", m_services.clock.Now());
    std::string name;
    for (;;) {
        const std::optional<std::string> answer
            = dialogs.InputBox(std::string{kNewListTitle}, std::string{kNewListPrompt}, proposal);
        if (!answer)
            return false;
        name = *answer;
        if (!NewListNameRefused(name, m_lists.ListsDir(), kNameTakenTail, dialogs))
            break;
        proposal = name;
    }
    if (!m_lists.WriteList(name, {m_pendingListLine}))
        return false;

    // The index is read afresh, so that nothing it gained since the box opened is lost.
    std::optional<std::vector<std::string>> index = m_lists.ReadList(kMyListsName);
    if (!index)
        return true; // the list itself is written; the error box told about the index
    index->push_back(name);
    if (m_lists.WriteList(kMyListsName, *index)) {
        m_form.MyListsBox.Clear();
        for (std::string& entry : *index)
            m_form.MyListsBox.Add(std::move(entry));
    }
    return true;
}

bool CurrentList::WriteIntoList(const std::string& name)
{
    // A name hand-written into the index may reach outside `Lists` or name the index.
    if (!templates::IsPlainFolderName(name) || name == kMyListsName) {
        m_services.dialogs.ShowError(
            "Не удалось открыть файл " + m_lists.ListsDir().string() + "/" + name + ": " + std::strerror(ENOENT));
        return false;
    }
    std::optional<std::vector<std::string>> lines = m_lists.ReadList(name);
    if (!lines)
        return false;
    if (std::find(lines->begin(), lines->end(), m_pendingListLine) != lines->end())
        return true;
    lines->push_back(m_pendingListLine);
    return m_lists.WriteList(name, *lines);
}

} // namespace kalvotune::playlists
