#include "playback/Player.hpp"

#include "core/AudioDevice.hpp"
#include "core/FileIO.hpp"
#include "core/Random.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Lists.hpp"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace kalvotune::playback {

namespace {

constexpr const char* kNoDeviceOpen{"No MCI device open"};

constexpr const char* kRegistryTrackMovedHead{"Трек  <"};
constexpr const char* kRegistryTrackMovedTail{
    ">  имеет установленный шаблон, но имя трека или местонахождение при установке было другим. Пожалуйста, для "
    "перемещения, удаления или переименования треков с установленными шаблонами, используйте сервис Kalvotune. Для "
    "треков без шаблонов это не обязательно, но если Вы хотите чтобы строки работали при любых обстоятельствах, также "
    "используйте для перемещения,удаления и переименования музыкальных файлов неудобный (но очень полезный) сервис "
    "Kalvotune. Тогда программа сама внесет в списки необходимые изменения."};
constexpr const char* kPutTrackBackHead{"Необходимо положить  <"};
constexpr const char* kPutTrackBackTail{
    ">  на место. Если забыли куда, откройте Блокнотом файл Kalvotune в папке .../Lists. Там все записанно. На "
    "будующее: Не рвите ниточку от шаблона к треку, пользуйтесь сервисом и помните, что вы используете встроенный "
    "плеер (для муз. с ЦМШ), который почти невозможно передать из инета без музыки. Вам это удалось! Удачи."};
constexpr const char* kTrackMissingHead{
    "  Увы! Что-то не сложилось. Переименована папка? переехал? и т.п.  Возможно трек  <"};
constexpr const char* kTrackMissingFolder{">  из папки  <"};
constexpr const char* kTrackMissingTail{
    ">  'съехал', а в списках остался старый адрес. Если Вы хотите обойти эту проблему - используйте для "
    "перемещения,удаления и переименования музыкальных файлов неудобный (но очень полезный) сервис Kalvotune. Тогда "
    "программа сама внесет в списки необходимые изменения."};

constexpr int kSeekStripHeight{14};

std::string TwoDigits(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

int WholeSeconds(std::int64_t ms)
{
    return static_cast<int>(std::clamp<std::int64_t>(ms / 1000, 0, std::numeric_limits<int>::max()));
}

} // namespace

void ApplyTrackTemplate(Form& form, templates::TrackTemplate loaded)
{
    using templates::TemplateState;
    form.TemplateDir = std::move(loaded.dir);
    form.channels = std::move(loaded.channels);
    form.NoTemplate = loaded.state != TemplateState::Full;
    form.BuildButton.enabled = true;
    form.DriveButton.enabled = loaded.state == TemplateState::Full;
    form.PictureRateSlider.visible = loaded.state == TemplateState::None;
    form.caption = form.CaptionPrefix + "        " + form.TrackTitle;
    if (loaded.state == TemplateState::StillPicture)
        form.caption += kStillTemplateSuffix;
    else if (loaded.state == TemplateState::None)
        form.caption += kNoTemplateSuffix;
}

Player::Player(Form& form, Services& services, playlists::Lists& lists, PatternControl& patterns, TemplateSaves* saves)
    : m_form{form}
    , m_services{services}
    , m_lists{lists}
    , m_patterns{patterns}
    , m_saves{saves}
{
}

void Player::CloseDevice()
{
    // A closed device has no position to show, so the position tick stops with it.
    const bool open = m_services.device.Mode() != DeviceMode::NotOpen;
    m_services.device.Close();
    m_form.PositionTimer.enabled = false;
    if (open)
        m_events.Publish({PlayerEvent::Kind::TrackEnded, m_form.CurrentTrackName});
}

void Player::PlayOrNext()
{
    Form& f = m_form;
    AudioDevice& device = m_services.device;
    BeforeOwnSound();
    f.NextTrackTimer.enabled = false;
    if (f.CurrentListBox.Count() == 0)
        return;

    if (device.Mode() == DeviceMode::Paused && f.TrackIndex != -1) {
        device.Play();
        f.PositionTimer.enabled = true;
        m_patterns.RunPatterns(true);
        UpdatePlayButtons();
        return;
    }

    if (device.Mode() == DeviceMode::Playing && !f.ListExhausted) {
        CloseDevice();
        ++f.TrackIndex;
        if (f.TrackIndex >= f.CurrentListBox.Count())
            f.ListExhausted = true;
    }
    // A stopped device keeps its entry: Play after Stop starts it again from the top.
    if (device.Mode() != DeviceMode::Stopped) {
        CloseDevice();
        if (f.ListExhausted)
            PickAtRandom();
    }
    m_patterns.RunPatterns(false);
    if (f.TrackIndex < 0)
        f.TrackIndex = 0;

    const int count = f.CurrentListBox.Count();
    if (f.TrackIndex >= count) {
        // The entry searched from was dropped from the end of the list: draw at random.
        f.ListExhausted = true;
        f.TrackIndex = count - 1;
        CloseDevice();
        f.NextTrackTimer.enabled = true;
        return;
    }
    for (int i = f.TrackIndex; i < count; ++i) {
        if (f.CurrentListBox.Selected(i) || count == 1) {
            f.TrackIndex = i;
            StartCurrentEntry();
            return;
        }
        if (i == count - 1) {
            // Nothing selected is left: random mode. The device is closed even when it
            // was only stopped, so that the deferred call makes the pick.
            f.ListExhausted = true;
            f.TrackIndex = i;
            CloseDevice();
            f.NextTrackTimer.enabled = true;
            return;
        }
    }
}

void Player::PickAtRandom()
{
    ListBox& list = m_form.CurrentListBox;
    ListBox& scratch = m_form.WorkListBox;
    scratch.Clear();
    for (int i = 0; i < list.Count(); ++i) {
        if (!list.Selected(i))
            scratch.Add(list.Item(i));
    }
    if (scratch.Count() == 0) {
        for (int i = 0; i < list.Count(); ++i) {
            list.SetSelected(i, false);
            scratch.Add(list.Item(i));
        }
    }
    if (scratch.Count() == 0)
        return; // an empty list never gets here: Play returns before
    // Seeded from whole seconds: picks made within one second draw the same number.
    m_services.random.SeedFromClock();
    const int k = m_services.random.Next() % scratch.Count();
    const std::string& drawn = scratch.Item(k);
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Item(i) == drawn) {
            list.SetSelected(i, true);
            m_form.TrackIndex = i;
            return;
        }
    }
}

void Player::StartCurrentEntry()
{
    Form& f = m_form;
    AudioDevice& device = m_services.device;
    f.CurrentTrackName = playlists::LinePath(f.CurrentListBox.Item(f.TrackIndex));
    f.TrackTitle = playlists::TrackTitleOf(f.CurrentTrackName.string());

    // A path from Windows names no file here, even if a relative name like it exists.
    if (playlists::IsWindowsPath(f.CurrentTrackName.string()) || !IsFile(f.CurrentTrackName)) {
        ReportMissingFile();
        return;
    }
    f.TemplateName = m_lists.LookUpTemplateName(f.CurrentTrackName);
    if (const OpenResult opened = device.Open(f.CurrentTrackName); !opened.ok) {
        m_services.dialogs.ShowError(opened.error);
        return;
    }
    ShowTrackLength();
    templates::TrackTemplate loaded = templates::LoadTrackTemplate(
        f.ProgramDir, f.TemplateName, f.TrackSeconds, f.PictureRateSlider.position, m_services.random);
    const templates::TemplateState state = loaded.state;
    ApplyTrackTemplate(f, std::move(loaded));
    if (f.MyListsBox.visible)
        m_lists.ToggleMyLists();
    if (f.CurrentListBox.visible && !f.HoldListItem.checked)
        ToggleListView();
    m_patterns.SelectFigures();
    device.Play();
    UpdatePlayButtons();
    if (f.GraphicsItem.tag == 0 && (!f.HoldListItem.checked || (!f.CurrentListBox.visible && !f.MyListsBox.visible)))
        m_patterns.RunPatterns(true);
    f.PositionMark.width = 1;
    f.PositionTimer.enabled = true;
    m_lists.AddToHistory();
    m_events.Publish({PlayerEvent::Kind::TrackStarted, f.CurrentTrackName, state});
}

void Player::ReportMissingFile()
{
    Form& f = m_form;
    Dialogs& dialogs = m_services.dialogs;
    if (f.CurrentListName == playlists::kHistoryListName
        || (f.DropMissingLinesItem.checked && f.CurrentListName != playlists::kRegistryName)) {
        DropMissingEntry();
        f.NextTrackTimer.enabled = true;
        return;
    }
    if (f.CurrentListName == playlists::kRegistryName) {
        dialogs.ShowMessage(kRegistryTrackMovedHead + f.TrackTitle + kRegistryTrackMovedTail);
        dialogs.ShowMessage(kPutTrackBackHead + f.TrackTitle + kPutTrackBackTail);
    }
    dialogs.ShowMessage(kTrackMissingHead + f.TrackTitle + kTrackMissingFolder
        + playlists::TrackFolderOf(f.CurrentTrackName.string()) + kTrackMissingTail);
}

void Player::DropMissingEntry()
{
    if (m_form.TrackIndex < 0 || m_form.TrackIndex >= m_form.CurrentListBox.Count())
        return;
    m_form.CurrentListBox.Delete(m_form.TrackIndex);
    m_lists.SaveIntoCurrentList();
}

void Player::UpdatePlayButtons()
{
    Form& f = m_form;
    const DeviceMode mode = m_services.device.Mode();
    if (mode == DeviceMode::Playing) {
        f.PauseButton.enabled = true;
        f.StopButton.enabled = true;
        f.WriteLineItem.enabled = true;
        f.WindowWriteLineItem.enabled = true;
        if (TemplateRecording())
            f.PlayButton.enabled = false;
        else
            f.PlayButton.caption = "Next";
        return;
    }
    if (mode != DeviceMode::Paused)
        f.StopButton.enabled = false;
    f.WriteLineItem.enabled = false;
    f.WindowWriteLineItem.enabled = false;
    f.PlayButton.caption = "Play";
}

void Player::PauseTrack()
{
    Form& f = m_form;
    // Pause stands for a button that is disabled while paused: the device's own pause
    // would resume the sound here while the window still showed the pause.
    if (m_services.device.Mode() == DeviceMode::Paused)
        return;
    // The patterns stop first; the Ctrl+Z shortcut can outlive the device, and then the
    // error is all the rest.
    m_patterns.RunPatterns(false);
    if (m_services.device.Mode() == DeviceMode::NotOpen || !m_services.device.Pause()) {
        m_services.dialogs.ShowError(kNoDeviceOpen);
        return;
    }
    f.PauseButton.enabled = false;
    f.PositionTimer.enabled = false;
    UpdatePlayButtons();
    if (TemplateRecording())
        f.PlayButton.enabled = true;
    f.PlayButton.caption = "Play";
}

void Player::StopTrack()
{
    Form& f = m_form;
    BeforeOwnSound();
    m_services.device.Stop();
    UpdatePlayButtons();
    f.PauseButton.enabled = false;
    f.PositionMark.width = 1;
    f.TrackPosition = 0;
    f.StopButton.enabled = false;
    f.PositionTimer.enabled = false;
    m_patterns.RunPatterns(false);

    if (!f.CurrentListBox.visible && !f.HoldListItem.checked && !f.IsFullScreen)
        ToggleListView();

    if (TemplateRecording()) {
        f.BuildButton.tag = 0;
        f.keyPreview = false;
        m_services.dialogs.ShowMessage("Шаблон неподвижных картинок для <" + f.TrackTitle + "> не изменен");
        f.caption = f.CaptionPrefix + "     " + f.TrackTitle;
        if (f.NoTemplate) {
            f.caption += kNoTemplateSuffix;
            f.PictureRateSlider.visible = true;
        }
        f.PlayButton.enabled = true;
    }
}

void Player::ToggleListView()
{
    Form& f = m_form;
    if (f.CurrentListBox.visible) {
        if (f.GraphicsItem.tag == 0 && m_services.device.Mode() == DeviceMode::Playing)
            m_patterns.RunPatterns(true);
        f.CurrentListBox.visible = false;
        f.PathsBox.visible = false;
        return;
    }
    m_patterns.RunPatterns(false);
    f.CurrentListBox.visible = true;
    if (f.PathsItem.checked)
        f.PathsBox.visible = true;
    f.MyListsBox.visible = false;
}

void Player::RestartOrderAfterSelection()
{
    m_form.TrackIndex = -1;
    m_form.PlayButton.caption = "Play";
    m_form.ListExhausted = false;
}

void Player::ShowTrackLength()
{
    Form& f = m_form;
    f.TrackPosition = 0;
    f.TrackSeconds = WholeSeconds(m_services.device.LengthMs());
    f.TrackLengthText.caption = "  " + TwoDigits(f.TrackSeconds / 60) + ":" + TwoDigits(f.TrackSeconds % 60);
}

void Player::OnPositionTick()
{
    Form& f = m_form;
    if (m_services.device.Mode() == DeviceMode::NotOpen) {
        f.PositionTimer.enabled = false;
        return;
    }
    f.TrackPosition = WholeSeconds(m_services.device.PositionMs());
    if (f.TrackSeconds > 0) {
        const float ratio = static_cast<float>(f.TrackPosition) / static_cast<float>(f.TrackSeconds);
        f.PositionMark.width = static_cast<int>(static_cast<float>(f.PositionStrip.width - 3) * ratio);
    }
    if (f.ShowClock) {
        const int minutes = f.TrackPosition / 60;
        f.ClockText.caption = std::to_string(minutes) + ":" + std::to_string(f.TrackPosition - 60 * minutes);
    }
    // The device never reports a position past its length, so this is the equality test.
    if (f.TrackPosition >= f.TrackSeconds)
        EndOfTrack();
}

void Player::EndOfTrack()
{
    Form& f = m_form;
    Dialogs& dialogs = m_services.dialogs;
    // Everything that could tick again stops before any question box opens.
    m_patterns.RunPatterns(false);
    f.TrackPosition = 0;
    f.PositionTimer.enabled = false;
    m_services.device.Close();
    m_events.Publish({PlayerEvent::Kind::TrackEnded, f.CurrentTrackName});
    UpdatePlayButtons();
    f.PositionMark.width = 1;
    f.NoTemplate = false;

    if (TemplateRecording()) {
        f.BuildButton.enabled = false;
        f.keyPreview = false;
        if (dialogs.AskYesNo("Сохранить шаблон?", "END")) {
            if (m_saves)
                m_saves->SaveStillTemplate();
            f.PauseButton.enabled = false;
        }
        f.BuildButton.tag = 0;
        f.PlayButton.enabled = true;
        return;
    }

    if (f.SyncTemplateItem.checked && dialogs.AskYesNo("Сохранить синхронизированный шаблон шаблон?", "ГОТОВ")
        && m_saves)
        m_saves->SaveSynchronisedTemplate();

    ++f.TrackIndex;
    if (f.TrackIndex >= f.CurrentListBox.Count())
        f.ListExhausted = true;
    if (f.CurrentListBox.Count() == 1)
        f.PauseButton.enabled = false;
    else
        f.NextTrackTimer.enabled = true;
}

void Player::SeekTo(std::int64_t ms)
{
    m_services.device.Seek(std::max<std::int64_t>(ms, 0));
    m_services.device.Play();
}

bool Player::SeekPlaying(std::int64_t ms)
{
    if (m_services.device.Mode() != DeviceMode::Playing)
        return false;
    SeekTo(ms);
    m_events.Publish({PlayerEvent::Kind::PositionMoved, m_form.CurrentTrackName, {}, std::max<std::int64_t>(ms, 0)});
    return true;
}

void Player::SeekOnStrip(int x)
{
    const int width = m_form.PositionStrip.width;
    if (width > 0)
        SeekPlaying((std::int64_t{x} * m_form.TrackSeconds / width + 1) * 1000);
}

void Player::SeekOnPanelBottom(int x, int y)
{
    const int width = m_form.ViewPanel.width;
    if (width > 0 && y > m_form.ViewPanel.height - kSeekStripHeight)
        SeekPlaying((std::int64_t{x} * m_form.TrackSeconds / width + 1) * 1000);
}

void Player::OnKeepAwakeTick()
{
    m_services.activity.Poke();
}

} // namespace kalvotune::playback
