#pragma once

#include "core/SoundCapture.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;

namespace kalvotune::playback {

/// How long a listing of the sources waits for the sound server at most.
inline constexpr std::chrono::milliseconds kSourceListTimeout{2000};
/// How long a lost or missing server (or source) waits before the next attempt.
inline constexpr std::chrono::milliseconds kReconnectDelay{2000};

/// The program's words when no sound server answers.
inline constexpr const char* kNoSoundServerMessage{
    "Нет звукового сервера (PulseAudio или PipeWire): звук компьютера не слышен"};

/// Lists the sound server's sources (`SoundSourceList` says in which order), waiting for
/// the server at most `timeout`. Safe on any thread; never starts a server.
SoundSourceList ListSoundSources(std::chrono::milliseconds timeout = kSourceListTimeout);

/// Records from PulseAudio (or PipeWire through pipewire-pulse) with libpulse's threaded
/// main loop, whose thread does all the work: it connects, records fragments of about
/// 15 ms, converted by the server to the rate and channels asked for, checks them
/// (`SanitiseSamples`) and keeps them in a ring of about 4 s for `Take`. When the server
/// is missing or goes away, or the source does not exist or disappears, `Status` says so
/// in the program's words and a new attempt follows every `kReconnectDelay`. Samples
/// nobody takes in time are dropped and counted, the newest first.
///
/// Typical use: `Start` with the source chosen, then on every tick `Take` the samples
/// and feed them to the analysis; `Status` tells what to show. `Stop` or the destructor
/// ends it at once, whatever the server is doing.
class PulseCapture : public SoundCapture {
public:
    PulseCapture();
    ~PulseCapture() override;
    PulseCapture(const PulseCapture&) = delete;
    PulseCapture& operator=(const PulseCapture&) = delete;

    void Start(const CaptureSettings& settings) override;
    void Stop() override;
    /// Lock-free: the capture thread never waits for it, nor it for the capture thread.
    void Take(std::vector<float>& samples) override;
    CaptureStatus Status() const override;

private:
    /// Everything below runs on the main loop's thread, with its lock held.
    void Connect();
    void Disconnect();
    void Retry();
    void OpenStream();
    void OnContextState();
    void OnStreamState();
    void OnRead(std::size_t bytes);
    void SetState(CaptureState state, std::string message);
    /// Puts recorded samples into the ring; drops what does not fit.
    void Push(const float* samples, std::size_t count);

    CaptureSettings m_settings;
    pa_threaded_mainloop* m_loop{};
    pa_context* m_context{};
    pa_stream* m_stream{};
    pa_time_event* m_retry{};

    /// The ring between the capture thread (writes `m_written`) and the owner (writes
    /// `m_read`); its size is a power of two.
    std::vector<float> m_ring;
    std::atomic<std::uint64_t> m_written{};
    std::atomic<std::uint64_t> m_read{};
    std::atomic<long long> m_dropped{};
    std::vector<float> m_scratch; ///< one fragment being checked

    mutable std::mutex m_statusMutex;
    CaptureStatus m_status;
};

} // namespace kalvotune::playback
