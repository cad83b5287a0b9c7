#pragma once

#include "app/DisplayOptions.hpp"
#include "app/ListenCommands.hpp"
#include "app/PatternCommands.hpp"
#include "app/SaveVideo.hpp"
#include "core/Form.hpp"
#include "core/SavedSettings.hpp"
#include "core/Services.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"
#include "playback/Player.hpp"
#include "playlists/CurrentList.hpp"
#include "playlists/Lists.hpp"
#include "playlists/M3uExport.hpp"
#include "playlists/MyLists.hpp"
#include "playlists/PlayControls.hpp"
#include "service/TrackFiles.hpp"
#include "service/TrackService.hpp"
#include "template_commands/MusicTemplates.hpp"
#include "template_commands/Recording.hpp"

#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace kalvotune::app {

/// Lets the player start and stop the kaleidoscope without knowing the scheduler.
class SchedulerPatterns : public playback::PatternControl {
public:
    SchedulerPatterns(PatternCommands& commands, kaleidoscope::Scheduler& scheduler)
        : m_commands{commands}
        , m_scheduler{scheduler}
    {
    }
    void RunPatterns(bool on) override { m_commands.RunPatterns(on); }
    void SelectFigures() override { m_scheduler.SelectFigures(); }

private:
    PatternCommands& m_commands;
    kaleidoscope::Scheduler& m_scheduler;
};

/// Lets the list commands start playback and align the buttons without knowing the player.
class PlayerControls : public playlists::PlayControls {
public:
    explicit PlayerControls(playback::Player& player)
        : m_player{player}
    {
    }
    void PlayOrNext() override { m_player.PlayOrNext(); }
    void UpdatePlayButtons() override { m_player.UpdatePlayButtons(); }
    void ToggleListView() override { m_player.ToggleListView(); }
    void BeforeOwnSound() override { m_player.BeforeOwnSound(); }

private:
    playback::Player& m_player;
};

/// The player without a toolkit: the window model, the subsystems that act on it, and
/// the dispatch of window events to their handlers. The Qt window forwards every event
/// here by component name and mirrors `form()` afterwards; tests do the same.
class Kalvotune {
    /// The actions of the window's controls reach the commands they run.
    friend struct WindowActions;

public:
    /// Window construction: reads the pattern tables and `SetGet.kvt` from `programDir`.
    Kalvotune(std::filesystem::path programDir, Services& services);
    Kalvotune(const Kalvotune&) = delete;
    Kalvotune& operator=(const Kalvotune&) = delete;

    /// Runs once the window exists: settings, start picture, lists, figure type, buttons,
    /// the large-screen question.
    void FormCreate();
    /// Every close request; never refuses. Plays the exit sound unless `NoJokesItem` is ticked
    /// and rewrites `SetGet.kvt`.
    void FormCloseQuery();

    /// Runs one window event's handler. An error that escapes it is shown in the
    /// application's error box with its text, and the program goes on with the next event.
    void HandleEvent(const std::function<void()>& handler);

    /// A click on a button, label or menu item. Auto-tick menu items toggle first.
    void Click(const std::string& component);
    /// A double click on a list box, or on the window itself (component "Form1").
    void DoubleClick(const std::string& component);
    /// Mouse button released over a panel, in the panel's coordinates.
    void MouseUp(const std::string& component, int x, int y);
    /// The user moved a slider.
    void TrackBarMoved(const std::string& component, int position);
    /// A popup menu is about to open.
    void MenuPopup(const std::string& menu);
    /// Mouse button pressed or moved over a control (the picture can be dragged).
    void MouseDown(const std::string& component, int x, int y);
    void MouseMove(const std::string& component, int x, int y, bool leftButton);
    /// The window's client area changed size: anchored controls follow.
    void Resize(int width, int height);
    /// The mouse wheel turned over the window by `angleDelta` (eighths of a degree,
    /// positive away from the user). Each whole notch (120) away from the user zooms out
    /// one step, each towards the user zooms in; the small steps of a touchpad or a
    /// smooth wheel add up until they make a notch.
    void MouseWheel(int angleDelta);
    /// Fires the handler of one timer.
    void TimerFired(TimerControl& timer);
    /// A key that gives a character reached the window (every such key, auto-repeat
    /// included, while `keyPreview` is set; otherwise only keys no control took).
    void KeyPress(const std::string& character);

    Form& form() { return m_form; }
    const Form& form() const { return m_form; }
    kaleidoscope::Scheduler& scheduler() { return m_scheduler; }
    PatternCommands& patternCommands() { return m_patternCommands; }
    playback::Player& player() { return m_player; }
    playlists::Lists& lists() { return m_lists; }
    playlists::MyLists& myLists() { return m_myLists; }
    playlists::CurrentList& currentList() { return m_currentList; }
    template_commands::Recording& recording() { return m_recording; }
    template_commands::MusicTemplates& musicTemplates() { return m_musicTemplates; }
    SaveVideo& saveVideo() { return m_saveVideo; }
    ListenCommands& listen() { return m_listen; }
    service::TrackService& trackService() { return m_trackService; }

    // Window-shell handlers.
    void RequestExit();
    void ApplyStayOnTop();
    void ShowAbout();
    void PrepareWindowMenu();
    /// F5 or a double click on the window: full screen and back.
    void ToggleFullScreen();
    void ZoomOutStep();
    void ZoomInStep();

private:
    /// The window's list boxes and player's track as the track service keeps them.
    service::TrackWindow TrackServiceWindow();
    void SaveSelection();
    void RestoreSelection();
    void ZoomImage(int width);

    Form m_form;
    Services& m_services;
    kaleidoscope::Engine m_engine;
    kaleidoscope::Scheduler m_scheduler;
    PatternCommands m_patternCommands;
    DisplayOptions m_display;
    playlists::Lists m_lists;
    SchedulerPatterns m_patterns;
    playback::Player m_player;
    service::SystemTrackFiles m_trackFiles;
    service::TrackService m_trackService{TrackServiceWindow(), m_form.ProgramDir, m_services, m_lists, m_trackFiles};
    PlayerControls m_playControls;
    playlists::MyLists m_myLists;
    playlists::CurrentList m_currentList;
    playlists::M3uExport m_m3uExport{m_form, m_services.dialogs};
    template_commands::Recording m_recording;
    template_commands::MusicTemplates m_musicTemplates{m_form, m_services, m_player.Events()};
    SaveVideo m_saveVideo{m_form, m_services};
    ListenCommands m_listen{m_form, m_services, m_patternCommands, m_scheduler, m_player, m_lists};
    std::string m_tablesError;
    /// `SetGet.kvt` as read at start; the controls' words are gathered into it at close.
    SavedSettings m_settings;
    /// Selection of `CurrentListBox` across a window-mode switch; grows with the list, so lists
    /// of more than 1000 entries keep their selection too.
    std::vector<char> m_selectionSave;
    /// Wheel turns not yet used up by a whole notch, in the direction of the last turn.
    int m_wheelRemainder{};
    bool m_imageDragging{};
    int m_dragStartX{};
    int m_dragStartY{};
};

} // namespace kalvotune::app
