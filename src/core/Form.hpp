#pragma once

#include "core/Controls.hpp"
#include "core/PatternState.hpp"
#include "core/Surface.hpp"
#include "core/TemplateChannels.hpp"
#include "core/Version.hpp"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kalvotune {

/// One entry of a popup menu in display order; a separator has no children and its
/// item's `separator` flag set.
struct MenuNode {
    MenuItem* item{};
    std::vector<MenuNode> children;
};

inline constexpr const char* kApplicationTitle{"Kalvotune " KALVOTUNE_VERSION};
/// The program's web site, named in several of its messages.
inline constexpr const char* kWebSiteAddress{"kalvotune.example.org"};

/// The main window without a toolkit: every component by its name with the state the
/// handlers read and write, and the program-wide state of the player. Handlers change
/// this model; the Qt window mirrors it and forwards events to the handlers.
struct Form {
    Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // The window itself.
    std::string caption{"Kalvotune"};
    int clientWidth{790};
    int clientHeight{536};
    bool keyPreview{};
    bool stayOnTop{};
    bool frameless{};
    /// Where the window's outer frame should be placed and how large it should be; the
    /// window moves there when `placementRevision` grows. The client area then follows
    /// from the frame the desktop draws.
    int windowLeft{};
    int windowTop{};
    int windowWidth{800};
    int windowHeight{572};
    std::uint64_t placementRevision{};
    /// Set by `RequestExit`: the window should close (which runs `FormCloseQuery`).
    bool closeRequested{};

    // Buttons.
    Control PlayButton, PauseButton, StopButton, AutoModeButton, ModeButton, BuildButton, DriveButton, MyListsButton,
        OpenButton, ListButton;

    // Other controls.
    Control AboutLabel;
    TrackBar PictureRateSlider, AutoModeRateSlider;
    Control TrackLengthText, ClockText;
    Control ViewPanel, PositionStrip, PositionMark;
    Control Picture;
    ListBox CurrentListBox, PathsBox, MyListsBox, WorkListBox, ListChoiceBox;
    Control ButtonBack, ButtonAhead;

    // Timers: `NextTrackTimer` next-track deferral, `AutoModeTimer` automatic mode change, `PositionTimer`
    // position tick, `KeepAwakeTimer` keep-awake, the rest are the pattern animators.
    TimerControl Timer1, NextTrackTimer, AutoModeTimer, PositionTimer, Timer5, Timer6, Timer7, Timer8, Timer9, Timer10,
        Timer11, Timer12, Timer13, Timer14, KeepAwakeTimer;
    /// Every 100 ms while listening to the computer's sound: one tick of live channels.
    TimerControl ListenTimer;
    /// While the sound server lists its sources for "Источник звука…": whether they have come.
    TimerControl SourceListTimer;

    // WindowMenu, the window's menu.
    MenuItem OpenItem, N2, PlayItem, PauseItem, StopItem, ListItem, N3, FullScreenItem, FiguresMenu, BallsItem,
        BallsPlusItem, RandomFiguresItem, MicroItem, MicroPlusItem, AutoFiguresItem, DriveItem, SettingsMenu,
        SmoothingItem, ClockItem, SmearingItem, GraphicsItem, ScreenShotItem, StayOnTopItem, NoJokesItem,
        DropMissingLinesItem, NoStartWarningItem, PictureDelayItem, AutoMusicTemplatesItem, N5, HoldListItem,
        WindowWriteLineItem, N7, ExitItem;
    // ListMenu, the menu of CurrentListBox.
    MenuItem ListMenuListItem, DeleteLinesItem, AddMoreItem, WriteLineItem, PathsItem, SaveListMenu, SaveNewListItem,
        SaveIntoListItem, SaveM3uItem, N8, ServiceMenu, MoveTracksItem, RenameTracksItem, DeleteTracksItem,
        FindMovedTracksItem, N9, InstallTemplatesItem, SyncTemplateItem, MusicTemplateItem, SaveVideoItem, N10,
        ListenItem, SoundSourceItem;
    // MyListsMenu (MyListsBox) and PathsMenu (PathsBox).
    MenuItem OpenListsItem, DeleteListsItem, CopyTracksItem;

    std::vector<MenuNode> WindowMenu, ListMenu, MyListsMenu, PathsMenu;

    /// The picture of `Picture`, drawn by the kaleidoscope.
    Surface surface;

    // Program-wide state.
    std::filesystem::path ProgramDir;
    std::string CaptionPrefix{" Калейдоскоп"};
    std::string CurrentListName;
    std::string TemplateName;
    std::filesystem::path TemplateDir;
    std::string TrackTitle;
    std::filesystem::path CurrentTrackName;
    int TrackSeconds{};
    int TrackPosition{};
    int TrackIndex{};
    bool ListExhausted{};
    bool IsFullScreen{};
    bool ShowClock{};
    TemplateChannels channels;
    /// The kaleidoscope's options and running state; the window's handlers know its
    /// fields by the names below. The menu's ticks stay the window's own: "сглаживать",
    /// "размазать" and "авто" are copied in before each pattern tick.
    PatternState pattern;
    bool& NoTemplate{pattern.noTemplate};
    bool& MotionOff{pattern.motionOff};
    bool& AutoChangeDue{pattern.autoChangeDue};
    int& TemplateTick{pattern.templateTick};
    int& PatternInterval{pattern.patternInterval};
    /// How much later than the reported play position the picture follows the sound, in
    /// ms (-1000..1000): covers output latency the device cannot report.
    int& PictureDelayMs{pattern.pictureDelayMs};
    int& ModeNumber{pattern.modeNumber};
    std::uint8_t& FigureType{pattern.figureType};

    /// What the kaleidoscope of the window draws from and into.
    PatternInputs Pattern() { return {pattern, channels, surface}; }

    /// The eleven pattern timers in the order they are switched off.
    std::array<TimerControl*, 11> PatternTimers();
    /// Every timer, for the window's timer loop.
    std::vector<TimerControl*> AllTimers();
    /// Every control and menu item, for the mirror.
    std::vector<Control*> AllControls();
    /// Looks a control or menu item up by its component name; null when unknown.
    Control* Find(const std::string& name);
    TimerControl* FindTimer(const std::string& name);

    /// Checks `item`; for a radio item unchecks the others of its group.
    void Check(MenuItem& item, bool checked);
};

} // namespace kalvotune
