#pragma once

#include "core/Services.hpp"
#include "playback/MpvHandle.hpp"

#include <chrono>

namespace kalvotune::playback {

/// The program's own short sounds on an mpv core of their own, so they never disturb the
/// track in the playback device. One sound at a time: a new one replaces the last.
class MpvSoundEffects : public SoundEffects {
public:
    /// If mpv cannot start, every sound is silently skipped.
    explicit MpvSoundEffects(AudioOutput output = AudioOutput::SystemDefault);
    /// Destroying the core cuts off a sound still playing.
    ~MpvSoundEffects() override = default;

    /// Blocks the calling thread until the sound ends, at most `kLongestWait`.
    void PlayAndWait(const std::filesystem::path& file) override;
    void PlayAsync(const std::filesystem::path& file) override;

    static constexpr std::chrono::seconds kLongestWait{15};

private:
    /// Starts `file`; returns its playlist entry id, negative when mpv refused it.
    long long Start(const std::filesystem::path& file);
    /// Waits for the end of `entry` until `deadline`; returns mpv's error code (0 when
    /// it played to the end or the wait ran out).
    int WaitForEnd(long long entry, std::chrono::steady_clock::time_point deadline);
    void DiscardEvents();

    MpvHandlePtr m_handle;
};

} // namespace kalvotune::playback
