#pragma once

#include <algorithm>
#include <cmath>
#include <span>
#include <string>
#include <vector>

namespace kalvotune {

/// One place the sound server can record from: an output's monitor (what the computer
/// plays), a microphone or a line input.
struct SoundSource {
    std::string name; ///< the server's name for it, the one `CaptureSettings::source` takes
    std::string description; ///< what the user sees ("Monitor of Built-in Audio", "Микрофон")
    bool monitor{}; ///< records what an output plays
};

/// What listing the sources gave: the sources, the default output's monitor first, then
/// microphones and line inputs, then the monitors of other outputs; or the program's
/// message when there is no sound server.
struct SoundSourceList {
    bool ok{};
    std::string message;
    std::vector<SoundSource> sources;
};

/// What to record: `source` by its server name, empty for the monitor of the default
/// output; samples as 32-bit floats at `sampleRate`, `channels` (1 or 2) side by side.
struct CaptureSettings {
    std::string source;
    int sampleRate{22050};
    int channels{1};
};

/// Where a capture stands. `Connecting` covers the wait for the first fragment too: a
/// server may hold a monitor's first read back for about 2 s while nothing plays.
enum class CaptureState { Stopped, Connecting, Capturing, NoServer, NoSource };

struct CaptureStatus {
    CaptureState state{CaptureState::Stopped};
    std::string message; ///< the program's words for `NoServer` and `NoSource`; else empty
    std::string source; ///< the source recorded (its server name), once known
    double latencySeconds{}; ///< the server's capture latency: a sample's age when it is handed on
    long long framesDropped{}; ///< frames lost because nobody drained them in time
};

/// The program's ear: records one source of the sound server on a thread of its own and
/// keeps the samples until the window's thread takes them. A back end hides its sound
/// server behind this; tests and the analysis take a fake. Every method may be called
/// from the one owning thread; none of them waits for the server.
class SoundCapture {
public:
    virtual ~SoundCapture() = default;

    /// Starts recording (stopping any earlier recording first). Returns at once; the
    /// connection, and every new attempt after a failure or a lost server, happens on the
    /// capture's own thread.
    virtual void Start(const CaptureSettings& settings) = 0;
    /// Stops recording and forgets the samples not yet taken. Returns promptly whatever
    /// the server does.
    virtual void Stop() = 0;
    /// Appends every sample recorded since the last call to `samples`, without waiting.
    virtual void Take(std::vector<float>& samples) = 0;
    /// A snapshot of the capture's state.
    virtual CaptureStatus Status() const = 0;
};

/// Samples as they may reach the picture: a value that is not finite becomes silence and
/// anything beyond full scale is clipped to it, so a broken source or a bad driver can
/// neither poison the analysis with NaN nor drive it with absurd levels.
inline void SanitiseSamples(std::span<float> samples)
{
    for (float& s : samples)
        s = std::isfinite(s) ? std::clamp(s, -1.0f, 1.0f) : 0.0f;
}

} // namespace kalvotune
