#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "playback/PatternControl.hpp"
#include "playback/TemplateSaves.hpp"

#include <cstdint>

namespace kalvotune::playlists {
class Lists;
}

namespace kalvotune::playback {

/// Playing the entries of `ListBox1`: play, pause, stop, the next-track and random-pick
/// rules, the position display with end-of-track detection, seeking and keep-awake.
/// Every method is a window event handler and runs on the user-interface thread.
class Player {
public:
    /// All references must outlive the player. `saves` may be null until the template
    /// code is wired; a "Yes" to a save question then writes nothing.
    Player(Form& form, Services& services, playlists::Lists& lists, PatternControl& patterns,
        TemplateSaves* saves = nullptr);

    void SetTemplateSaves(TemplateSaves* saves) { m_saves = saves; }

    /// Play, Next, F4, double click on `ListBox1`: resumes a paused track, or moves on to
    /// the next selected entry from `TrackIndex` (a random pick in random mode) and starts it.
    void PlayButtonClick();
    /// The one-shot deferral of `PlayButtonClick`; the handler disables `Timer2` itself.
    void Timer2Timer() { PlayButtonClick(); }
    /// Pause, Ctrl+Z. With no device open only the error "No MCI device open" is shown;
    /// while already paused nothing happens.
    void PauseButtonClick();
    /// Stop, Ctrl+S: stops without closing; cancels a still-picture recording.
    void StopButtonClick();
    /// "List": shows or hides the current list.
    void SpeedButton2Click();
    /// Any selection change in `ListBox1`: the next Play starts from the top and random
    /// mode ends. Call after the box's own selection has changed.
    void ListBox1Click();
    /// Aligns Play/Next, Pause, Stop and "Записать текущую строку" with the device mode.
    void UpdatePlayButtons();
    /// Removes the entry at `TrackIndex` and writes the current list back.
    void DropMissingEntry();

    /// Sets `TrackPosition` 0, `TrackSeconds` and `StaticText1` from the open device.
    void ShowTrackLength();
    /// `Timer4`, every 400 ms: progress bar, clock and end of track.
    void Timer4Timer();
    /// A mouse button released over `Panel2` or `Panel3`, `x` in `Panel2`: seeks while playing.
    void Panel2MouseUp(int x);
    /// A mouse button released over a free part of `Panel1`: seeks while playing when
    /// `y` is in the bottom 13 pixels.
    void Panel1MouseUp(int x, int y);
    /// The seek of a click on the strip, to `ms`: only while a track plays (a jump would
    /// otherwise start the sound behind a paused or stopped window). True when it jumped.
    bool SeekPlaying(std::int64_t ms);
    /// How many jumps `SeekPlaying` has made, so those who show the position can tell a
    /// jump from playing on.
    std::uint64_t Seeks() const { return m_seeks; }
    /// `Timer15`, every 55 s while the patterns run: keeps the session awake.
    void Timer15Timer();

    /// True while a still-picture template is being recorded (the tag of `SpeedButton4`).
    bool TemplateRecording() const { return m_form.SpeedButton4.tag == 1; }

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
    std::uint64_t m_seeks{};
};

} // namespace kalvotune::playback
