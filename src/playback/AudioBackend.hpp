#pragma once

#include "core/AudioDevice.hpp"
#include "core/Services.hpp"

#include <functional>

namespace kalvotune::playback {

/// The audio back end as its loadable module hands it out: the playback device, the
/// program's own sounds and the device's wake-up hook. Everything but the wake-up
/// handler runs on the user-interface thread.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual AudioDevice& Device() = 0;
    virtual SoundEffects& Sounds() = 0;
    /// `postToUiThread` is called from a back-end thread whenever device events wait; it
    /// must only arrange for `DrainEvents` to run on the user-interface thread.
    virtual void SetWakeupHandler(std::function<void()> postToUiThread) = 0;
    /// Takes in the device's queued events without waiting.
    virtual void DrainEvents() = 0;
};

/// The module's one exported function: a new back end, owned by the caller. Never null;
/// a back end whose sound library failed to start reports it on every `Open`.
using CreateAudioBackendFunction = AudioBackend* (*)();
inline constexpr const char* kCreateAudioBackendSymbol{"KalvotuneCreateAudioBackend"};

} // namespace kalvotune::playback
