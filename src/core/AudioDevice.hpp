#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kalvotune {

/// Device modes as the player knows them. A closed device reports `NotOpen`, which is
/// none of stopped, playing and paused.
enum class DeviceMode { NotOpen, Stopped, Playing, Paused };

struct OpenResult {
    bool ok{};
    std::string error; ///< the back end's own text when `ok` is false
};

/// The playback device: one file open at a time, positions in milliseconds.
/// Every call returns promptly except `Open`, which returns once the file is ready to
/// play or has failed (bounded by the back end's time-out).
class AudioDevice {
public:
    virtual ~AudioDevice() = default;

    /// Closes any open file first. On failure the device stays closed.
    virtual OpenResult Open(const std::filesystem::path& file) = 0;
    /// No effect when nothing is open.
    virtual void Close() = 0;
    /// Plays from the current position.
    virtual void Play() = 0;
    /// Pauses when playing, resumes when paused. Returns false when no file is open.
    virtual bool Pause() = 0;
    /// Stops without closing; the position stays where it stopped.
    virtual void Stop() = 0;
    /// Moves to `ms`; the device is stopped there until the next `Play`.
    virtual void Seek(std::int64_t ms) = 0;

    virtual DeviceMode Mode() const = 0;
    virtual std::int64_t LengthMs() const = 0;
    /// The play position as heard, within 0..LengthMs().
    virtual std::int64_t PositionMs() const = 0;
};

} // namespace kalvotune
