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

    bool operator==(const MediaState&) const = default;
};

/// The keyboard's media keys and the desktop's media controls over the window model: each
/// command clicks the window's own button, only when that button is enabled and does what
/// the command means, so nothing bypasses the window's handlers.
class MediaControls {
public:
    /// Both references must outlive the object.
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

private:
    bool Playing() const;

    Kalvotune& m_app;
    AudioDevice& m_device;
    std::filesystem::path m_lastTrack;
    std::uint64_t m_trackNumber{};
};

} // namespace kalvotune::app
