#pragma once

#include "playback/AudioBackend.hpp"

#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>

namespace kalvotune::playback {

/// The file name of the audio module, kept beside the program.
inline constexpr const char* kAudioModuleFile{"kalvotune-audio.so"};

/// The audio back end, loaded from its module on a worker thread so that the window shows
/// without waiting for the sound libraries. `Device()` and `Sounds()` stand in for the
/// back end's own from the start: until the back end is ready the device reads as closed
/// and does nothing; opening a file or playing a sound waits for the load (starting it
/// when nobody has). If the module cannot be loaded, every `Open` fails with that reason
/// and sounds are skipped. Apart from the loading itself, everything runs on the
/// user-interface thread. The module stays loaded until the process ends.
class DeferredAudio {
public:
    explicit DeferredAudio(std::filesystem::path module);
    /// Waits for a load in progress, then ends the back end (its sounds stop).
    ~DeferredAudio();
    DeferredAudio(const DeferredAudio&) = delete;
    DeferredAudio& operator=(const DeferredAudio&) = delete;

    /// Starts loading on a worker thread and returns at once; later calls do nothing.
    void StartLoading();
    AudioDevice& Device() { return *m_device; }
    SoundEffects& Sounds() { return *m_sounds; }
    /// The back end's wake-up handler (see `AudioBackend`); it is handed on once the back
    /// end is ready. An empty function clears it.
    void SetWakeupHandler(std::function<void()> postToUiThread);
    /// Takes in the device's queued events; nothing before the back end is ready.
    void DrainEvents();

    /// The back end, waiting for the load; null when it failed (see `LoadError`).
    AudioBackend* Backend();
    /// The back end when it is ready now, without waiting; null otherwise.
    AudioBackend* ReadyBackend();
    /// Why the back end could not be loaded; empty while it loads or when it loaded.
    const std::string& LoadError() const { return m_error; }

private:
    /// Takes the loaded back end (or the reason it failed) from the worker, once.
    void Take();

    std::filesystem::path m_module;
    std::future<std::unique_ptr<AudioBackend>> m_loading;
    std::unique_ptr<AudioBackend> m_backend;
    bool m_taken{};
    std::string m_error;
    std::function<void()> m_wakeup;
    std::unique_ptr<AudioDevice> m_device;
    std::unique_ptr<SoundEffects> m_sounds;
};

} // namespace kalvotune::playback
