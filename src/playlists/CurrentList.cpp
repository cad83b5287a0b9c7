#include "playlists/CurrentList.hpp"

#include "core/AudioDevice.hpp"
#include "core/FileIO.hpp"
#include "playlists/ListLine.hpp"

namespace kalvotune::playlists {

namespace {

constexpr const char* kDialogFilesMissing{
    "   Увы...   Возможно Вы зашли в папку с музыкой, что-то выбрали(выделили) и, не нажимая кнопку 'Открыть', "
    "перешли в другую папку и только тут ее нажали. Это глючек Windows. Будьте начеку и повторите попытку"};

} // namespace

bool AnyTrackSelected(const Form& form)
{
    return form.ListBox1.SelectedCount() > 0;
}

void ReleaseStoppedTrack(Form& form, Services& services)
{
    if (services.device.Mode() != DeviceMode::Stopped)
        return;
    services.device.Close();
    form.Timer4.enabled = false;
    form.caption = form.CaptionPrefix;
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

void VisibleListBox2Click(Form& form)
{
    const ListBox& list = form.ListBox1;
    ListBox& paths = form.ListBox2;
    paths.Clear();
    for (int i = 0; i < list.Count(); ++i) {
        const int at = paths.Add(LinePath(list.Item(i)));
        paths.SetSelected(at, list.Selected(i));
    }
    paths.visible = form.VisibleListBox2.checked;
}

} // namespace kalvotune::playlists
