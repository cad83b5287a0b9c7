#pragma once

#include <memory>
#include <string>

struct mpv_handle;

namespace kalvotune::playback {

/// Where an mpv core sends its sound.
enum class AudioOutput {
    SystemDefault, ///< the platform's default output, the null output when there is none
    Null, ///< no sound card: plays in real time into nothing (tests, tools)
};

/// Names of the mpv options, properties and commands we use, kept in one place.
namespace mpvname {
inline constexpr const char* kAo{"ao"};
inline constexpr const char* kNullAo{"null"};
inline constexpr const char* kCurrentAo{"current-ao"};
inline constexpr const char* kPause{"pause"};
inline constexpr const char* kTimePos{"time-pos"};
inline constexpr const char* kDuration{"duration"};
inline constexpr const char* kLoadFile{"loadfile"};
inline constexpr const char* kReplace{"replace"};
inline constexpr const char* kStop{"stop"};
inline constexpr const char* kSeek{"seek"};
inline constexpr const char* kSeekAbsoluteExact{"absolute+exact"};
inline constexpr const char* kPlaylistEntryId{"playlist_entry_id"};
inline constexpr const char* kStartOption{"start"};
} // namespace mpvname

struct MpvTerminate {
    void operator()(mpv_handle* handle) const;
};
using MpvHandlePtr = std::unique_ptr<mpv_handle, MpvTerminate>;

/// Creates and initialises an idle mpv core for audio only: no video, no user config,
/// no terminal or key bindings, starts paused. Sets LC_NUMERIC to "C" first, as mpv
/// requires. Returns null and fills `error` when mpv cannot start.
MpvHandlePtr CreateAudioHandle(AudioOutput output, std::string& error);

/// Switches `handle` to the null output when it is not on it already, for the case
/// where the default output could not be opened. Returns true when it switched.
bool FallBackToNullOutput(mpv_handle* handle);

/// Starts `file` in place of whatever is loaded; `options` are per-file options
/// ("start=1.5"), may be empty. Returns the playlist entry id that the file's events
/// carry, or a negative mpv error code.
long long LoadFile(mpv_handle* handle, const std::string& file, const std::string& options);

} // namespace kalvotune::playback
