#include "app/Kalvotune.hpp"

#include "app/Options.hpp"
#include "app/ProgramDir.hpp"
#include "app/Settings.hpp"
#include "app/WindowBindings.hpp"
#include "core/SurfaceFile.hpp"
#include "core/Version.hpp"
#include "template_commands/Installation.hpp"

#include <algorithm>
#include <cstdlib>
#include <exception>

namespace kalvotune::app {

namespace fs = std::filesystem;

namespace {

constexpr int kLargeScreenWidth{1025};
constexpr const char* kUnknownError{"Непредвиденная ошибка."};

constexpr const char* kLargeScreenQuestion{
    "При таком большом разрешении экрана мне будет трудновато двигать узором. Отключить движение?"};
constexpr const char* kLargeScreenCaption{"  ВНИМАНИЕ! "};
constexpr const char* kLargeScreenAnswerNo{
    " Напрасно. Даже на достаточно мощных машинах при таком разрешении экрана треки с ЦМШ могут тормозить. Но "
    "попытка - не пытка. Если тормоза будут, отключите движение кнопочкой < Drive > "};
constexpr const char* kAboutText{
    "Kalvotune." KALVOTUNE_VERSION
    " - Цветомузыкальный калейдоскоп. Август 2005г. Россия. Москва. kalvotune@example.org.      "
    "Добро пожаловать(ся) на kalvotune.example.org = Все о цветомузыке + новые ЦМШ - Эпилог/Хвостик + обновления "
    "плеера."};

} // namespace

Kalvotune::Kalvotune(fs::path programDir, Services& services)
    : m_services{services}
    , m_engine{m_form.Pattern(), services.random}
    , m_scheduler{m_engine, services.device, services.random}
    , m_patternCommands{m_form, services.device, m_engine, m_scheduler}
    , m_display{m_form, services, m_patternCommands}
    , m_lists{m_form, services, [this](bool on) { m_patternCommands.RunPatterns(on); }}
    , m_patterns{m_patternCommands, m_scheduler}
    , m_player{m_form, services, m_lists, m_patterns}
    , m_playControls{m_player}
    , m_myLists{m_form, services, m_lists, m_playControls}
    , m_currentList{m_form, services, m_lists, m_myLists, m_playControls}
    , m_recording{m_form, services, m_player}
{
    m_player.SetTemplateSaves(&m_recording);
    m_player.SetBeforeOwnSound([this] { m_listen.StopListening(); });
    m_form.TrackSeconds = 0;
    m_form.TrackPosition = 0;
    RemoveWriteLeftoversIn(programDir);
    const kaleidoscope::LoadResult tables = m_engine.LoadTables(programDir);
    if (!tables.ok)
        m_tablesError = tables.message;
    m_settings = ReadSettings(programDir / kSettingsFileName);
    const Options options = ReadOptions(programDir / kOptionsFileName);
    m_form.PictureDelayMs = options.pictureDelayMs;
    m_form.AutoMusicTemplatesItem.checked = options.autoMusicTemplates != 0;
    m_form.ProgramDir = std::move(programDir);
    m_form.PatternInterval = 20;
    // The window first shows at the centre of the screen.
    m_form.windowLeft = (services.screen.Width() - m_form.windowWidth) / 2;
    m_form.windowTop = (services.screen.Height() - m_form.windowHeight) / 2;
    ++m_form.placementRevision;
}

void Kalvotune::HandleEvent(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        m_services.dialogs.ShowError(error.what());
    } catch (...) {
        m_services.dialogs.ShowError(kUnknownError);
    }
}

void Kalvotune::FormCreate()
{
    // A broken table only switches the kaleidoscope off; playback and lists still work.
    if (!m_tablesError.empty())
        m_services.dialogs.ShowMessage(m_tablesError);

    ApplySettings(m_form, m_settings,
        {[this] { m_patternCommands.ApplyPictureRate(); }, [this] { m_patternCommands.ApplyAutoModeRate(); }});
    ApplyStayOnTop();
    if (m_settings.autoModes == 1)
        m_patternCommands.ToggleAutoModeChange();

    // The last screenshot is the start picture; without one the surface stays black.
    LoadSurfaceBmp(m_form.ProgramDir / "ScreenShot" / "ScreenShot.BMP", m_form.surface);

    m_lists.LoadStartLists();
    // Seeded first, or every start would draw the same figure type.
    m_services.random.SeedFromClock();
    m_scheduler.RandomFigureType();
    m_display.ApplyClockVisibility();
    m_player.UpdatePlayButtons();
    m_form.Picture.height = 523;
    m_form.Picture.width = 675;

    const bool skipQuestion = m_form.NoStartWarningItem.checked || m_form.GraphicsItem.checked || m_form.MotionOff
        || m_services.screen.PhysicalWidth() <= kLargeScreenWidth;
    if (!skipQuestion) {
        if (m_services.dialogs.AskYesNo(kLargeScreenQuestion, kLargeScreenCaption))
            m_form.MotionOff = true;
        else
            m_services.dialogs.ShowMessage(kLargeScreenAnswerNo);
    }
}

void Kalvotune::FormCloseQuery()
{
    if (!m_form.NoJokesItem.checked)
        m_services.sounds.PlayAndWait(m_form.ProgramDir / "jokes" / "Выход.wav");
    m_settings = GatherSettings(m_form, m_settings);
    const WriteResult written = WriteSettings(m_form.ProgramDir / kSettingsFileName, m_settings);
    if (!written.ok)
        m_services.dialogs.ShowMessage(written.message);
}

void Kalvotune::RequestExit()
{
    m_form.closeRequested = true;
}

void Kalvotune::ApplyStayOnTop()
{
    m_form.stayOnTop = m_form.StayOnTopItem.checked || m_form.IsFullScreen;
}

void Kalvotune::ShowAbout()
{
    if (m_form.AboutLabel.tag == 0) {
        m_services.sounds.PlayAsync(m_form.ProgramDir / "jokes" / "About.mp3");
        m_form.AboutLabel.tag = 1;
    } else {
        m_form.AboutLabel.tag = 0;
        m_services.dialogs.ShowMessage(kAboutText);
    }
}

void Kalvotune::PrepareWindowMenu()
{
    m_form.PlayItem.enabled = m_form.PlayButton.enabled;
    m_form.PauseItem.enabled = m_form.PauseButton.enabled;
    m_form.StopItem.enabled = m_form.StopButton.enabled;
    m_form.DriveItem.enabled = m_form.DriveButton.enabled;
    m_form.OpenItem.enabled = !m_form.IsFullScreen;
}

service::TrackWindow Kalvotune::TrackServiceWindow()
{
    return {
        .currentList = m_form.CurrentListBox,
        .pathView = m_form.PathsBox,
        .refreshPathView = [this] { playlists::TogglePathsView(m_form); },
        .releaseStoppedTrack = [this] { playlists::ReleaseStoppedTrack(m_form, m_services); },
        .currentTrack = [this] { return m_form.CurrentTrackName; },
        .currentTrackMoved = [this](const fs::path& to) { playlists::FollowMovedTrack(m_form, m_services, to); },
    };
}

void Kalvotune::Click(const std::string& component)
{
    Control* control = m_form.Find(component);
    if (control == nullptr || !control->enabled)
        return;
    if (auto* item = dynamic_cast<MenuItem*>(control); item != nullptr && item->autoCheck)
        m_form.Check(*item, item->radioGroup != 0 ? true : !item->checked);
    if (const WidgetBinding* binding = FindBinding(component); binding != nullptr && binding->click != nullptr)
        binding->click(*this, control);
    m_musicTemplates.AnalyseStartedTrack();
}

void Kalvotune::DoubleClick(const std::string& component)
{
    const WidgetBinding* binding = FindBinding(component);
    if (binding != nullptr && binding->doubleClick != nullptr)
        binding->doubleClick(*this, m_form.Find(component));
    m_musicTemplates.AnalyseStartedTrack();
}

void Kalvotune::MouseUp(const std::string& component, int x, int y)
{
    if (const WidgetBinding* binding = FindBinding(component); binding != nullptr && binding->release != nullptr)
        binding->release(*this, x, y);
}

void Kalvotune::TrackBarMoved(const std::string& component, int position)
{
    auto* bar = dynamic_cast<TrackBar*>(m_form.Find(component));
    const WidgetBinding* binding = FindBinding(component);
    if (bar != nullptr && binding != nullptr && binding->click != nullptr && bar->SetPosition(position))
        binding->click(*this, bar);
}

void Kalvotune::MenuPopup(const std::string& menu)
{
    if (menu == "PopupMenu1") {
        PrepareWindowMenu();
        m_currentList.PrepareWindowMenu();
    } else if (menu == "PopupMenu2")
        m_currentList.PrepareListMenu();
}

void Kalvotune::MouseDown(const std::string& component, int x, int y)
{
    if (component == "Image1") {
        m_dragStartX = x;
        m_dragStartY = y;
        m_imageDragging = true;
    }
}

void Kalvotune::MouseMove(const std::string& component, int x, int y, bool leftButton)
{
    if (component == "Image1" && m_imageDragging && leftButton) {
        m_form.Picture.left += x - m_dragStartX;
        m_form.Picture.top += y - m_dragStartY;
    }
}

void Kalvotune::Resize(int width, int height)
{
    const int dw = width - m_form.clientWidth;
    const int dh = height - m_form.clientHeight;
    if (dw == 0 && dh == 0)
        return;
    m_form.clientWidth = width;
    m_form.clientHeight = height;
    for (Control* c : std::initializer_list<Control*>{&m_form.DriveButton, &m_form.MyListsButton, &m_form.OpenButton,
             &m_form.ListButton, &m_form.AboutLabel, &m_form.PictureRateSlider, &m_form.TrackLengthText})
        c->left += dw;
    m_form.ViewPanel.width += dw;
    m_form.ViewPanel.height += dh;
    m_form.PositionStrip.top += dh;
    m_form.PositionStrip.width += dw;
    m_form.Picture.width += dw;
    m_form.Picture.height += dh;
    for (ListBox* box : {&m_form.CurrentListBox, &m_form.MyListsBox, &m_form.WorkListBox}) {
        box->width = m_form.ViewPanel.width;
        box->height = m_form.ViewPanel.height;
    }
    m_form.PathsBox.width = m_form.ViewPanel.width;
    m_form.PathsBox.top = m_form.ViewPanel.height - m_form.PathsBox.height;
    m_form.ListChoiceBox.width += dw;
    m_form.ListChoiceBox.top += dh;
    for (Control* c : {&m_form.ButtonBack, &m_form.ButtonAhead}) {
        c->left += dw;
        c->top += dh;
    }
}

void Kalvotune::KeyPress(const std::string&)
{
    m_recording.OnRecordingKey();
}

void Kalvotune::MouseWheel(int angleDelta)
{
    constexpr int kNotch{120};
    // Turning back starts a new count: what was left over went the other way.
    if ((angleDelta > 0) != (m_wheelRemainder > 0))
        m_wheelRemainder = 0;
    m_wheelRemainder += angleDelta;
    while (m_wheelRemainder >= kNotch) {
        m_wheelRemainder -= kNotch;
        ZoomOutStep();
    }
    while (m_wheelRemainder <= -kNotch) {
        m_wheelRemainder += kNotch;
        ZoomInStep();
    }
}

void Kalvotune::SaveSelection()
{
    ListBox& list = m_form.CurrentListBox;
    m_selectionSave.assign(static_cast<std::size_t>(list.Count()), 0);
    for (int i = 0; i < list.Count(); ++i)
        m_selectionSave[static_cast<std::size_t>(i)] = list.Selected(i) ? 1 : 0;
}

void Kalvotune::RestoreSelection()
{
    ListBox& list = m_form.CurrentListBox;
    for (int i = 0; i < list.Count() && i < static_cast<int>(m_selectionSave.size()); ++i)
        list.SetSelected(i, m_selectionSave[static_cast<std::size_t>(i)] != 0);
}

void Kalvotune::ToggleFullScreen()
{
    SaveSelection();
    if (!m_form.IsFullScreen) {
        m_form.ListItem.enabled = false;
        m_form.GraphicsItem.enabled = false;
        m_form.PositionStrip.visible = false;
        m_form.PositionMark.visible = false;
        m_services.screen.SetCursorPos(m_services.screen.Width(), m_services.screen.Height());
        m_form.IsFullScreen = true;
        m_form.stayOnTop = true;
        m_form.frameless = true;
        const int width = m_services.screen.Width() + 150;
        m_form.windowLeft = -60;
        m_form.windowTop = -40;
        // Without a frame the client area is the whole window.
        m_form.windowWidth = width;
        m_form.windowHeight = width * 100 / 133;
        Resize(m_form.windowWidth, m_form.windowHeight);
        ++m_form.placementRevision;
        // The way back is always open, whatever route led here (a double click enters
        // full screen also while nothing plays or the graphics are off).
        m_form.FullScreenItem.enabled = true;
        m_form.FullScreenItem.checked = true;
        m_form.FullScreenItem.caption = "Назад в окно";
    } else {
        m_form.IsFullScreen = false;
        m_form.stayOnTop = m_form.StayOnTopItem.checked;
        m_form.frameless = false;
        // The outer frame goes back to its design size at the top left corner.
        const Form design;
        m_form.windowLeft = 0;
        m_form.windowTop = 0;
        m_form.windowWidth = design.windowWidth;
        m_form.windowHeight = design.windowHeight;
        Resize(design.clientWidth, design.clientHeight);
        ++m_form.placementRevision;
        m_form.ViewPanel.left = 52;
        m_form.ViewPanel.top = 4;
        m_form.ViewPanel.height = 529;
        m_form.ViewPanel.width = 690;
        m_form.ListItem.enabled = true;
        m_form.GraphicsItem.enabled = true;
        m_form.PositionStrip.visible = true;
        m_form.PositionMark.visible = true;
        m_form.Picture.left = 4;
        m_form.Picture.top = 4;
        m_form.Picture.height = 523;
        m_form.Picture.width = 675;
        m_services.screen.SetCursorPos(m_form.AboutLabel.left + 20, m_form.AboutLabel.top + 40);
        // Back in the window, F5 is again there only while the kaleidoscope runs.
        m_form.FullScreenItem.enabled = m_form.KeepAwakeTimer.enabled
            || std::ranges::any_of(m_form.PatternTimers(), [](const TimerControl* t) { return t->enabled; });
        m_form.FullScreenItem.checked = false;
        m_form.FullScreenItem.caption = "Во весь экран";
    }
    RestoreSelection();
}

void Kalvotune::ZoomOutStep()
{
    const int w0 = m_form.Picture.width;
    if (w0 <= 80)
        return;
    ZoomImage(w0 * 12 / 13);
}

void Kalvotune::ZoomInStep()
{
    if (m_form.Picture.left < -2000)
        return;
    ZoomImage(m_form.Picture.width * 13 / 12);
}

void Kalvotune::ZoomImage(int width)
{
    Control& image = m_form.Picture;
    const int w0 = image.width;
    int height = width * 100 / 129;
    // Close to the design size the picture snaps back to it.
    if (std::abs(width - 675) < 30) {
        width = 675;
        height = 523;
    }
    image.width = width;
    image.height = height;
    image.left += (w0 - width) / 2;
    image.top += ((w0 - width) * 100 / 129) / 2;
}

void Kalvotune::TimerFired(TimerControl& timer)
{
    if (!timer.enabled)
        return;
    if (const WidgetBinding* binding = FindBinding(timer.name); binding != nullptr && binding->tick != nullptr)
        binding->tick(*this, timer);
}

} // namespace kalvotune::app
