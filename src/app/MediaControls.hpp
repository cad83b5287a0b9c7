#pragma once

#include "app/Kalvotune.hpp"

#include <cstdint>
#include <filesystem>
#include <string>

namespace kalvotune::app {

/// What the desktop's media controls see of the player.
struct MediaState {
    std::string status; ///< "Playing", "Paused" or "Stopped"
    std::filesystem::path track; ///< the open track; empty when none
    std::string title;
    std::int64_t lengthUs{};
    /// Changes whenever the open track changes.
    std::uint64_t trackNumber{};
    bool canPlay{};
    bool canPause{};
    bool canGoNext{};
    /// Seeking and going back (to the start of the track) work while a track plays.
    bool canSeek{};
    /// Grows with every jump made in the track (a seek), from the window or from outside.
    std::uint64_t seekNumber{};
    /// Grows whenever the kaleidoscope's picture changes (a mark of the speed channel
    /// passed, or a new track): the time to show the picture anew.
    std::uint64_t pictureNumber{};

    bool operator==(const MediaState&) const = default;
};

/// The keyboard's media keys and the desktop's media controls over the window model: each
/// command clicks the window's own button, only when that button is enabled and does what
/// the command means, so nothing bypasses the window's handlers.
class MediaControls {
public:
    /// Both references must outlive the object; follows the player's events from here on.
    MediaControls(Kalvotune& app, AudioDevice& device);

    MediaState State();
    /// Play position in microseconds; 0 without an open track.
    std::int64_t PositionUs() const;

    /// Starts or resumes playback ("Play"); does nothing while playing.
    void Play();
    /// Pauses a playing track ("Pause").
    void Pause();
    void PlayPause();
    /// "Stop".
    void Stop();
    /// The "Next" button: only while a track plays.
    void Next();
    /// Back to the beginning of the playing track, through the window's seek. (The list
    /// has no "previous" of its own: the order comes from the selection and random picks,
    /// and the history list "Былое" is opened from "My" like any other list.)
    void Previous();
    /// Jumps `offsetUs` from the play position through the window's seek, the same as a
    /// click on the strip; only while a track plays. Before the start it jumps to the
    /// start; past the end it moves on as "Next" does.
    void Seek(std::int64_t offsetUs);
    /// Jumps to `positionUs` of the playing track; a position outside the track is ignored.
    void SetPosition(std::int64_t positionUs);

private:
    bool Playing() const;
    void Follow(const playback::PlayerEvent& event);
    void TrackChanged(const std::filesystem::path& track);

    Kalvotune& m_app;
    AudioDevice& m_device;
    std::filesystem::path m_lastTrack;
    std::uint64_t m_trackNumber{};
    int m_lastTick{};
    std::uint64_t m_pictureNumber{};
    std::uint64_t m_seekNumber{};
    playback::PlayerEvents::Subscription m_subscription;
};

} // namespace kalvotune::app
