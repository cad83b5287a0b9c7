#pragma once

#include "core/AudioDevice.hpp"
#include "playback/MpvHandle.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct mpv_event;

namespace kalvotune::playback {

/// The playback device over libmpv, audio only. All calls belong to one thread (the
/// user-interface thread); mpv's own threads only ever run the wake-up handler.
///
/// mpv reports through events. Every call first takes in the events already queued, so
/// the device is correct without a wake-up handler (tools, tests); with one, events are
/// also taken in promptly between calls.
class MpvDevice : public AudioDevice {
public:
    /// Starts an idle mpv core. If mpv cannot start, every `Open` fails with the reason.
    explicit MpvDevice(AudioOutput output = AudioOutput::SystemDefault);
    /// Clears the wake-up callback before destroying the core, so no mpv thread calls
    /// into a half-destroyed device; the core stops any sound as it goes.
    ~MpvDevice() override;
    MpvDevice(const MpvDevice&) = delete;
    MpvDevice& operator=(const MpvDevice&) = delete;

    /// `postToUiThread` is called from an mpv thread whenever events are waiting; it must
    /// only arrange for `DrainEvents` to run on the device's thread, and must stay valid
    /// until it is replaced or the device is destroyed. An empty function clears it.
    void SetWakeupHandler(std::function<void()> postToUiThread);
    /// Takes in every queued event without waiting.
    void DrainEvents();

    /// Waits until the file is ready to play, paused at 0 (at most `kOpenTimeout`).
    OpenResult Open(const std::filesystem::path& file) override;
    void Close() override;
    void Play() override;
    bool Pause() override;
    void Stop() override;
    void Seek(std::int64_t ms) override;

    DeviceMode Mode() const override;
    std::int64_t LengthMs() const override;
    std::int64_t PositionMs() const override;

    /// The output mpv opened for the current file ("null", "pulse", ...); empty when none.
    std::string CurrentOutput() const;

    static constexpr std::chrono::milliseconds kOpenTimeout{5000};

private:
    using SteadyClock = std::chrono::steady_clock;

    static void OnWakeup(void* self);
    /// Queries take in queued events too; the device's state is not what callers see as const.
    void Pump() const { const_cast<MpvDevice*>(this)->DrainEvents(); }
    void HandleEvent(const mpv_event& event);
    /// Loads the open file again paused at `ms`, for a seek after the end unloaded it.
    void Reload(std::int64_t ms);
    /// The single place that turns mpv's time-pos into the position callers see.
    std::int64_t ReportedPosition() const;
    /// Freezes the reported position before the sound stops moving.
    void HoldPosition();
    void Reset();

    MpvHandlePtr m_handle;
    std::string m_startError;
    std::mutex m_wakeupMutex;
    std::function<void()> m_wakeup;

    std::filesystem::path m_file;
    long long m_entryId{-1}; ///< the playlist entry of the open file; -1 when closed
    long long m_startedEntry{-1}; ///< the entry that mpv's latest START_FILE named
    bool m_loaded{}; ///< mpv holds the file (false after it played to the end)
    bool m_ready{}; ///< the loaded file has been positioned and can play
    bool m_atEnd{};
    bool m_ended{}; ///< mpv has let go of the entry (end, or failure to load)
    int m_endError{}; ///< mpv's error code when the entry failed
    DeviceMode m_mode{DeviceMode::NotOpen};
    std::int64_t m_length{};
    std::int64_t m_seekTarget{-1}; ///< reported until mpv has finished seeking there
    // Where the sound was last known to be; while playing the position runs on from it
    // in real time. mpv's time-pos is taken only when it does not run ahead of this.
    mutable std::int64_t m_anchorPos{};
    mutable SteadyClock::time_point m_anchorAt{};
    mutable bool m_anchorValid{};
    mutable std::int64_t m_lastReported{};
};

} // namespace kalvotune::playback
