#include "app/WindowBindings.hpp"

#include "app/Kalvotune.hpp"
#include "app/Options.hpp"
#include "template_commands/Installation.hpp"

#include <algorithm>
#include <vector>

namespace kalvotune::app {

/// The actions of the window's controls; a friend of the model, so that each action names
/// the command it runs and nothing else.
struct WindowActions {
    static std::vector<WidgetBinding> Table();
};

std::vector<WidgetBinding> WindowActions::Table()
{
    using K = WidgetKind;
    // A binding that only names the control's look and place.
    auto show
        = [](std::string_view widget, WidgetKind kind, std::string_view place = {}, std::string_view description = {}) {
              return WidgetBinding{.widget = widget, .kind = kind, .place = place, .description = description};
          };
    auto button = [](std::string_view widget, WidgetAction click, std::string_view description = {}) {
        return WidgetBinding{.widget = widget, .kind = K::Button, .description = description, .click = click};
    };
    auto item
        = [](std::string_view widget, std::string_view menu, std::string_view shortcut, WidgetAction click = nullptr) {
              return WidgetBinding{
                  .widget = widget, .kind = K::MenuItem, .place = menu, .shortcut = shortcut, .click = click};
          };
    auto timer = [](std::string_view widget, TimerAction tick) {
        return WidgetBinding{.widget = widget, .kind = K::Timer, .tick = tick};
    };
    const WidgetAction playOrNext = [](Kalvotune& a, Control*) { a.m_player.PlayOrNext(); };
    const WidgetAction pause = [](Kalvotune& a, Control*) { a.m_player.PauseTrack(); };
    const WidgetAction stop = [](Kalvotune& a, Control*) { a.m_player.StopTrack(); };
    const WidgetAction toggleList = [](Kalvotune& a, Control*) { a.m_player.ToggleListView(); };
    const WidgetAction toggleMotion = [](Kalvotune& a, Control*) { a.m_patternCommands.ToggleMotion(); };
    const WidgetAction openMusic = [](Kalvotune& a, Control*) { a.m_currentList.OpenOtherMusic(); };
    const WidgetAction writeCurrentLine = [](Kalvotune& a, Control*) { a.m_currentList.WriteCurrentLine(); };
    const TimerAction patternTick = [](Kalvotune& a, TimerControl& timer) { a.m_patternCommands.OnPatternTick(timer); };

    return {
        {.widget = "Form1", .kind = K::Window, .doubleClick = [](Kalvotune& a, Control*) { a.ToggleFullScreen(); }},
        {.widget = "PlayButton",
            .kind = K::Button,
            .description = "Воспроизведение, следующий трек",
            .click = playOrNext},
        {.widget = "PauseButton", .kind = K::Button, .description = "Пауза", .click = pause},
        {.widget = "StopButton", .kind = K::Button, .description = "Стоп", .click = stop},
        button("SpeedButton1", [](Kalvotune& a, Control*) { a.m_patternCommands.ToggleAutoModeChange(); }),
        button("SpeedButton5", [](Kalvotune& a, Control*) { a.m_patternCommands.NextMode(); }),
        button("SpeedButton4", [](Kalvotune& a, Control*) { a.m_recording.ToggleTemplateRecording(); }),
        button("SpeedButton10", toggleMotion),
        button("SpeedButton11", [](Kalvotune& a, Control*) { a.m_lists.ToggleMyLists(); }),
        button("OpenButton", openMusic),
        button("SpeedButton2", toggleList),
        {.widget = "Label1",
            .kind = K::Link,
            .click = [](Kalvotune& a, Control*) { a.ShowAbout(); },
            .pointingHand = true},
        {.widget = "TrackBar1",
            .kind = K::Slider,
            .click = [](Kalvotune& a, Control*) { a.m_patternCommands.ApplyPictureRate(); },
            .sliderStep = 4,
            .sliderTicks = 4},
        {.widget = "TrackBar2",
            .kind = K::Slider,
            .click = [](Kalvotune& a, Control*) { a.m_patternCommands.ApplyAutoModeRate(); },
            .sliderStep = 1000,
            .sliderTicks = 4000},
        {.widget = "StaticText1", .kind = K::Label, .description = "Длительность трека", .growsLeft = true},
        show("ClockTrack", K::Label, {}, "Время от начала трека"),
        {.widget = "Panel1",
            .kind = K::Panel,
            .description = "Калейдоскоп",
            .release = [](Kalvotune& a, int x, int y) { a.m_player.SeekOnPanelBottom(x, y); }},
        {.widget = "Panel2",
            .kind = K::Panel,
            .description = "Позиция воспроизведения",
            .release = [](Kalvotune& a, int x, int) { a.m_player.SeekOnStrip(x); },
            .pointingHand = true},
        {.widget = "Image1",
            .kind = K::Picture,
            .place = "Panel1",
            .description = "Картинка калейдоскопа",
            .release = [](Kalvotune& a, int, int) { a.m_imageDragging = false; }},
        {.widget = "ListBox1",
            .kind = K::List,
            .place = "Panel1",
            .contextMenu = "PopupMenu2",
            .description = "Текущий список",
            .click = [](Kalvotune& a, Control*) { a.m_player.RestartOrderAfterSelection(); },
            .doubleClick =
                [](Kalvotune& a, Control*) {
                    // A double click is a click first: the order restarts from the top.
                    a.m_player.RestartOrderAfterSelection();
                    a.m_player.PlayOrNext();
                }},
        {.widget = "ListBox3",
            .kind = K::List,
            .place = "Panel1",
            .contextMenu = "PopupMenu3",
            .description = "Мои списки",
            .doubleClick = [](Kalvotune& a, Control*) { a.m_myLists.OpenSelectedLists(); }},
        show("ListBox4", K::List, "Panel1", "Рабочий список"),
        {.widget = "ListBox2", .kind = K::List, .place = "Panel1", .contextMenu = "PopupMenu4", .description = "Пути"},
        {.widget = "ListBox5",
            .kind = K::List,
            .place = "Panel1",
            .description = "Выбор списка для записи",
            .click = [](Kalvotune& a, Control*) { a.m_currentList.WriteLineIntoChosenList(); }},
        {.widget = "ButtonBack",
            .kind = K::PushButton,
            .place = "Panel1",
            .click = [](Kalvotune& a, Control*) { a.m_recording.ShiftTemplateBack(); }},
        {.widget = "ButtonAhead",
            .kind = K::PushButton,
            .place = "Panel1",
            .click = [](Kalvotune& a, Control*) { a.m_recording.ShiftTemplateAhead(); }},
        {.widget = "Panel3",
            .kind = K::Panel,
            .place = "Panel2",
            .description = "Позиция воспроизведения",
            .release = [](Kalvotune& a, int x, int) { a.m_player.SeekOnStrip(x); },
            .pointingHand = true},

        // The window's menu.
        item("N1", "PopupMenu1", "F9", openMusic),
        item("Play1", "PopupMenu1", "F4", playOrNext),
        item("Pause1", "PopupMenu1", "Ctrl+Z", pause),
        item("Stop1", "PopupMenu1", "Ctrl+S", stop),
        item("Listik", "PopupMenu1", "Ctrl+L", toggleList),
        item("Fullscreen1", "PopupMenu1", "F5", [](Kalvotune& a, Control*) { a.ToggleFullScreen(); }),
        item("N4", "PopupMenu1", {}),
        item("Ball", "PopupMenu1", "Shift+F1", [](Kalvotune& a, Control*) { a.m_patternCommands.ChooseBallFigures(); }),
        item("BallCasual", "PopupMenu1", "Shift+F2",
            [](Kalvotune& a, Control*) { a.m_patternCommands.ChooseBallPlusFigures(); }),
        item("Casual", "PopupMenu1", "Shift+F3",
            [](Kalvotune& a, Control*) { a.m_patternCommands.ChooseRandomFigures(); }),
        item("Micro", "PopupMenu1", "Shift+F4",
            [](Kalvotune& a, Control*) { a.m_patternCommands.ChooseMicroFigures(); }),
        item("MicroPlus", "PopupMenu1", "Shift+F5",
            [](Kalvotune& a, Control*) { a.m_patternCommands.ChooseMicroPlusFigures(); }),
        item("AutoTipFig", "PopupMenu1", "Shift+F6"),
        item("Drive", "PopupMenu1", "F3", toggleMotion),
        item("Hi", "PopupMenu1", {}),
        item("Utiug", "PopupMenu1", {}, [](Kalvotune& a, Control*) { a.m_display.ToggleSmoothing(); }),
        item("N6", "PopupMenu1", "Ctrl+T", [](Kalvotune& a, Control*) { a.m_display.ApplyClockVisibility(); }),
        item("Razmazat", "PopupMenu1", {}, [](Kalvotune& a, Control*) { a.m_display.ToggleSmearing(); }),
        item("StopGraphica", "PopupMenu1", "Ctrl+G", [](Kalvotune& a, Control*) { a.m_display.ToggleGraphics(); }),
        item("ScreenShot1", "PopupMenu1", "Ctrl+C", [](Kalvotune& a, Control*) { a.m_display.SaveScreenShot(); }),
        item("StilWindow", "PopupMenu1", "Ctrl+W", [](Kalvotune& a, Control*) { a.ApplyStayOnTop(); }),
        item("Joces", "PopupMenu1", {}),
        item("DeleteBadStringPop", "PopupMenu1", {}),
        item("StartMessage", "PopupMenu1", {}),
        item("PictureDelay", "PopupMenu1", {}, [](Kalvotune& a, Control*) { AskPictureDelay(a.m_form, a.m_services); }),
        item("AutoMusicTemplate", "PopupMenu1", {},
            [](Kalvotune& a, Control*) { SaveAutoMusicTemplates(a.m_form, a.m_services); }),
        item("FixatorLista1", "PopupMenu1", {}),
        item("AddWorkeString2", "PopupMenu1", {}, writeCurrentLine),
        item("Exit1", "PopupMenu1", "Ctrl+X", [](Kalvotune& a, Control*) { a.RequestExit(); }),

        // The menu of the current list.
        item("Listic2", "PopupMenu2", {}, toggleList),
        item(
            "DeleteDrugMusic", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_currentList.DeleteSelectedLines(); }),
        item("AddDrugujuMusic", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_currentList.AddMoreFiles(); }),
        item("AddWorkeString", "PopupMenu2", {}, writeCurrentLine),
        item("VisibleListBox2", "PopupMenu2", {}, [](Kalvotune& a, Control*) { playlists::TogglePathsView(a.m_form); }),
        item("SaveListOnHDD", "PopupMenu2", {}),
        item("SaveNewList", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_myLists.SaveAsNewList(); }),
        item("SaveChangeList", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_lists.SaveIntoCurrentList(); }),
        item("SaveM3uList", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_m3uExport.SaveAsM3u(); }),
        item("Service", "PopupMenu2", {}),
        item("RemoveTracks", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_trackService.MoveSelectedTracks(); }),
        item("RenameTracks", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_trackService.RenameSelectedTracks(); }),
        item("DeleteTracks", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_trackService.DeleteSelectedTracks(); }),
        item("FindMovedTracks", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_trackService.SearchMovedTracks(); }),
        item("InstallTemplates", "PopupMenu2", {},
            [](Kalvotune& a, Control*) { template_commands::InstallTemplateFolders(a.m_form, a.m_services); }),
        item("Sinhroniz", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_recording.ToggleTemplateSync(); }),
        item("MakeMusicTemplate", "PopupMenu2", {},
            [](Kalvotune& a, Control*) { a.m_musicTemplates.MakeTemplatesFromMusic(); }),
        item("SaveVideo", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_saveVideo.ChooseFileAndSaveVideo(); }),
        item("ListenSound", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_listen.ToggleListening(); }),
        item("SoundSource", "PopupMenu2", {}, [](Kalvotune& a, Control*) { a.m_listen.ChooseSource(); }),

        // The menus of "My" lists and of the paths.
        item("OpenSelecktLists", "PopupMenu3", {}, [](Kalvotune& a, Control*) { a.m_myLists.OpenSelectedLists(); }),
        item("DeleteList", "PopupMenu3", {}, [](Kalvotune& a, Control*) { a.m_myLists.DeleteSelectedLists(); }),
        item(
            "CopySelectTrack", "PopupMenu4", {}, [](Kalvotune& a, Control*) { a.m_trackService.CopySelectedTracks(); }),

        timer("Timer1", patternTick),
        timer("Timer2",
            [](Kalvotune& a, TimerControl&) {
                a.m_player.OnNextTrackDue();
                a.m_musicTemplates.AnalyseStartedTrack();
            }),
        timer("Timer3", [](Kalvotune& a, TimerControl&) { a.m_patternCommands.OnAutoModeTick(); }),
        timer("Timer4",
            [](Kalvotune& a, TimerControl&) {
                a.m_player.OnPositionTick();
                // The end of a track ends a recording; an analysis that waited for it goes in.
                a.m_musicTemplates.InstallDeferred();
            }),
        timer("Timer5", patternTick),
        timer("Timer6", patternTick),
        timer("Timer7", patternTick),
        timer("Timer8", patternTick),
        timer("Timer9", patternTick),
        timer("Timer10", patternTick),
        timer("Timer11", patternTick),
        timer("Timer12", patternTick),
        timer("Timer13", patternTick),
        timer("Timer14", patternTick),
        timer("Timer15", [](Kalvotune& a, TimerControl&) { a.m_player.OnKeepAwakeTick(); }),
        timer("ListenTimer", [](Kalvotune& a, TimerControl&) { a.m_listen.OnListenTick(); }),
        timer("SourceListTimer", [](Kalvotune& a, TimerControl&) { a.m_listen.OnSourceListTick(); }),
    };
}

std::span<const WidgetBinding> WindowBindings()
{
    static const std::vector<WidgetBinding> table = WindowActions::Table();
    return table;
}

const WidgetBinding* FindBinding(std::string_view widget)
{
    const auto bindings = WindowBindings();
    const auto found
        = std::ranges::find_if(bindings, [widget](const WidgetBinding& binding) { return binding.widget == widget; });
    return found == bindings.end() ? nullptr : &*found;
}

} // namespace kalvotune::app
