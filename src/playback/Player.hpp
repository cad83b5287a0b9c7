#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "playback/PatternControl.hpp"
#include "playback/PlayerEvents.hpp"
#include "playback/TemplateSaves.hpp"
#include "templates/TemplateLoader.hpp"

#include <cstdint>
#include <functional>

namespace kalvotune::playlists {
class Lists;
}

namespace kalvotune::playback {

/// The title bar's ends after the track's title: a still-picture template, no template.
inline constexpr const char* kStillTemplateSuffix{"   (с ШНК)"};
inline constexpr const char* kNoTemplateSuffix{"   (без ЦМШ)"};

/// Shows a loaded template in the window and hands its channels to the kaleidoscope:
/// `TemplateDir`, `channels`, `NoTemplate`, the caption from `CaptionPrefix` and
/// `TrackTitle`, Build, Drive and `PictureRateSlider`.
void ApplyTrackTemplate(Form& form, templates::TrackTemplate loaded);

/// Playing the entries of `CurrentListBox`: play, pause, stop, the next-track and random-pick
/// rules, the position display with end-of-track detection, seeking and keep-awake.
/// Every method is a window event handler and runs on the user-interface thread. What
/// happens to the track is published through `Events()`.
class Player {
public:
    /// All references must outlive the player. `saves` may be null until the template
    /// code is wired; a "Yes" to a save question then writes nothing.
    Player(Form& form, Services& services, playlists::Lists& lists, PatternControl& patterns,
        TemplateSaves* saves = nullptr);

    void SetTemplateSaves(TemplateSaves* saves) { m_saves = saves; }
    /// Runs first in Play and Stop, before the player acts: listening to the computer's
    /// sound ends there, whoever asked (a button, a menu, the desktop's media keys).
    void SetBeforeOwnSound(std::function<void()> before) { m_beforeOwnSound = std::move(before); }
    /// Runs what `SetBeforeOwnSound` set, as opening tracks also must.
    void BeforeOwnSound()
    {
        if (m_beforeOwnSound)
            m_beforeOwnSound();
    }

    /// Play, Next, F4, double click on `CurrentListBox`: resumes a paused track, or moves on to
    /// the next selected entry from `TrackIndex` (a random pick in random mode) and starts it.
    void PlayOrNext();
    /// The one-shot deferral of `PlayOrNext`; the handler disables `NextTrackTimer` itself.
    void OnNextTrackDue() { PlayOrNext(); }
    /// Pause, Ctrl+Z. With no device open only the error "No MCI device open" is shown;
    /// while already paused nothing happens.
    void PauseTrack();
    /// Stop, Ctrl+S: stops without closing; cancels a still-picture recording.
    void StopTrack();
    /// "List": shows or hides the current list.
    void ToggleListView();
    /// Any selection change in `CurrentListBox`: the next Play starts from the top and random
    /// mode ends. Call after the box's own selection has changed.
    void RestartOrderAfterSelection();
    /// Aligns Play/Next, Pause, Stop and "Записать текущую строку" with the device mode.
    void UpdatePlayButtons();
    /// Removes the entry at `TrackIndex` and writes the current list back.
    void DropMissingEntry();

    /// Sets `TrackPosition` 0, `TrackSeconds` and `TrackLengthText` from the open device.
    void ShowTrackLength();
    /// `PositionTimer`, every 400 ms: progress bar, clock and end of track.
    void OnPositionTick();
    /// A mouse button released over `PositionStrip` or `PositionMark`, `x` in `PositionStrip`: seeks while playing.
    void SeekOnStrip(int x);
    /// A mouse button released over a free part of `ViewPanel`: seeks while playing when
    /// `y` is in the bottom 13 pixels.
    void SeekOnPanelBottom(int x, int y);
    /// The seek of a click on the strip, to `ms`: only while a track plays (a jump would
    /// otherwise start the sound behind a paused or stopped window). True when it jumped.
    bool SeekPlaying(std::int64_t ms);
    /// `KeepAwakeTimer`, every 55 s while the patterns run: keeps the session awake.
    void OnKeepAwakeTick();

    /// Track starts, track ends and jumps in the track, for whoever follows the player.
    PlayerEvents& Events() { return m_events; }

    /// True while a still-picture template is being recorded (the tag of `BuildButton`).
    bool TemplateRecording() const { return m_form.BuildButton.tag == 1; }

private:
    void CloseDevice();
    void PickAtRandom();
    void StartCurrentEntry();
    void ReportMissingFile();
    void EndOfTrack();
    void SeekTo(std::int64_t ms);

    Form& m_form;
    Services& m_services;
    playlists::Lists& m_lists;
    PatternControl& m_patterns;
    TemplateSaves* m_saves{};
    std::function<void()> m_beforeOwnSound;
    PlayerEvents m_events;
};

} // namespace kalvotune::playback
