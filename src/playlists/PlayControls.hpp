#pragma once

namespace kalvotune::playlists {

/// What the list commands ask of the player. The player's library builds on this one,
/// so the window hands the player in through this interface.
class PlayControls {
public:
    virtual ~PlayControls() = default;
    /// Starts, resumes or advances playback as the Play button does.
    virtual void PlayOrNext() = 0;
    /// Aligns the play buttons and "Записать текущую строку" with the device mode.
    virtual void UpdatePlayButtons() = 0;
    /// Shows the current list when it is hidden, hides it when it shows.
    virtual void ToggleListView() = 0;
    /// Tracks are opened: whatever else the kaleidoscope followed (the computer's sound) ends.
    virtual void BeforeOwnSound() { }
};

} // namespace kalvotune::playlists
