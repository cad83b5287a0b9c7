#include "playlists/MyLists.hpp"

#include "core/AudioDevice.hpp"
#include "core/Random.hpp"
#include "playlists/CurrentList.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "templates/TemplateFolders.hpp"

#include <system_error>
#include <vector>

namespace kalvotune::playlists {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNothingToOpen{" Пожалуйста, выделите один или несколько Ваших списков."};
constexpr const char* kNothingToDelete{" Что удалить? Пожалуйста, выделите один или несколько Ваших списков."};
constexpr const char* kListNotFoundHead{"Не могу найти список < "};
constexpr const char* kListNotFoundTail{
    " >. Пожалуйста, не давайте спискам имена, запрещенные Windows. Позднее удалите неверную запись используя команду "
    "/Удалить список/ в этом же меню."};
constexpr const char* kSeveralListsMark{" ....+ "};
constexpr const char* kNameTakenTail{"> у нас есть.  Пожалуйста, измените имя или предварительно удалите старый."};
constexpr const char* kEmptyName{"Пожалуйста, назовите список."};
constexpr const char* kNewListLostHead{"Увы...  Если можете, пошлите свое 'фе' на сайт "};
constexpr const char* kDeleteCaption{"Удаление Ваших списков"};
constexpr const char* kForgetHistory{" Вы хотите забыть былое ?!"};
constexpr const char* kTrackCaptionGap{"     "};

} // namespace

bool NewListNameRefused(const std::string& name, const fs::path& listsDir, std::string_view takenTail, Dialogs& dialogs)
{
    if (HasForbiddenChars(name, dialogs))
        return true;
    if (name.empty()) {
        dialogs.ShowMessage(kEmptyName);
        return true;
    }
    // The program's own files in `Lists` are no lists: a list saved as `TempFile` would be
    // overwritten by the next track-service command, one saved as `MyLists` would replace
    // the index.
    std::error_code ec;
    const bool taken = name == "." || name == ".." || name == kMyListsName || name == kRegistryName
        || name == kTempFileName || fs::exists(fs::symlink_status(listsDir / name, ec));
    if (taken) {
        dialogs.ShowMessage("Список <" + name + std::string{takenTail});
        return true;
    }
    return false;
}

MyLists::MyLists(Form& form, Services& services, Lists& lists, PlayControls& player)
    : m_form{form}
    , m_services{services}
    , m_lists{lists}
    , m_player{player}
{
}

void MyLists::OpenSelectedLists()
{
    Form& f = m_form;
    f.CurrentListBox.sorted = false;
    if (f.MyListsBox.SelectedCount() == 0) {
        m_services.dialogs.ShowMessage(kNothingToOpen);
        return;
    }

    // Every selected list is read before the current list is replaced, so that a
    // selection of which nothing opens leaves the current list (and its file) as it was.
    std::vector<std::string> items;
    std::string lastOpened;
    int opened = 0;
    for (int i = 0; i < f.MyListsBox.Count(); ++i) {
        if (!f.MyListsBox.Selected(i))
            continue;
        f.MyListsBox.SetSelected(i, false);
        const std::string name = f.MyListsBox.Item(i);
        const fs::path file = m_lists.ListFilePath(name);
        const ListReadResult read = templates::IsPlainFolderName(name) ? ReadListFileChecked(file) : ListReadResult{};
        if (read.missing()) {
            m_services.dialogs.ShowMessage(kListNotFoundHead + name + kListNotFoundTail);
            continue;
        }
        if (!read.ok()) {
            m_lists.ShowReadError(file, read);
            continue;
        }
        ++opened;
        lastOpened = name;
        for (const std::string& line : read.lines)
            items.push_back(MakeListItem(line));
    }
    if (opened == 0)
        return;

    f.CurrentListBox.Clear();
    for (std::string& item : items)
        f.CurrentListBox.Add(std::move(item));
    f.CurrentListName = lastOpened;
    TogglePathsView(f);
    f.MyListsBox.visible = false;
    f.BuildButton.enabled = false;
    f.CaptionPrefix = opened > 1 ? kSeveralListsMark + f.CurrentListName : f.CurrentListName;
    f.SaveIntoListItem.enabled = true;
    f.caption = m_services.device.Mode() == DeviceMode::Playing ? f.CaptionPrefix + kTrackCaptionGap + f.TrackTitle
                                                                : f.CaptionPrefix;
    if (f.CurrentListBox.Count() > 0)
        f.CurrentListBox.SetSelected(m_services.random.Next() % f.CurrentListBox.Count(), true);
    f.TrackIndex = 0;
    if (!f.CurrentListBox.visible)
        m_player.ToggleListView();
    m_player.UpdatePlayButtons();
}

void MyLists::SaveAsNewList()
{
    Form& f = m_form;
    std::string name;
    for (;;) {
        const std::optional<std::string> answer
            = m_services.dialogs.InputBox(std::string{kNewListTitle}, std::string{kNewListPrompt}, f.caption);
        if (!answer)
            return;
        name = *answer;
        if (!NewListNameRefused(name, m_lists.ListsDir(), kNameTakenTail, m_services.dialogs))
            break;
    }

    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(f.CurrentListBox.Count()));
    for (const std::string& item : f.CurrentListBox.Items())
        lines.push_back(ItemToLine(item));
    // The list becomes current only once its file is written, so that a later
    // "В текущий список" never writes under a name that has no file.
    if (!m_lists.WriteList(name, lines))
        return;
    f.CurrentListName = name;
    if (!IsFile(m_lists.ListFilePath(name))) {
        m_services.dialogs.ShowMessage(kNewListLostHead + std::string{kWebSiteAddress} + " ");
        return;
    }

    std::optional<std::vector<std::string>> index = m_lists.ReadList(kMyListsName);
    if (!index)
        return;
    index->push_back(name);
    if (!m_lists.WriteList(kMyListsName, *index))
        return;
    f.MyListsBox.Clear();
    for (std::string& entry : *index)
        f.MyListsBox.Add(std::move(entry));
    f.CaptionPrefix = name;
    f.caption = f.CaptionPrefix;
    f.SaveIntoListItem.enabled = true;
}

void MyLists::DeleteSelectedLists()
{
    Form& f = m_form;
    if (f.MyListsBox.SelectedCount() == 0) {
        m_services.dialogs.ShowMessage(kNothingToDelete);
        return;
    }
    for (int i = 0; i < f.MyListsBox.Count();) {
        const std::string name = f.MyListsBox.Item(i);
        const bool keep = !f.MyListsBox.Selected(i) || name == kRegistryName
            || (name == kHistoryListName && !m_services.dialogs.AskYesNo(kForgetHistory, kDeleteCaption));
        if (keep) {
            ++i;
            continue;
        }
        // A name that is no plain file name (hand-written into the index) leaves the index
        // without touching any file: "../x" or "/x" would reach outside `Lists`.
        if (templates::IsPlainFolderName(name) && name != kMyListsName) {
            std::error_code ec;
            fs::remove(m_lists.ListFilePath(name), ec);
        }
        f.MyListsBox.Delete(i);
    }
    m_lists.WriteList(kMyListsName, f.MyListsBox.Items());
}

} // namespace kalvotune::playlists
