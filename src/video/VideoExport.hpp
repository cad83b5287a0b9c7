#pragma once

#include "video/KaleidoscopeFilm.hpp"
#include "video/Mp4Writer.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace kalvotune::video {

inline constexpr int kMinSide{16};
inline constexpr int kMaxWidth{7680};
inline constexpr int kMaxHeight{4320};
inline constexpr int kMaxFps{120};

/// How the 675 x 524 picture fills a frame of another shape: stretched to the frame (as
/// full screen shows it), cropped so that it fills the frame keeping its shape, or whole
/// with its shape, the rest of the frame black.
enum class VideoFit { Stretch, Crop, Pad };

/// "stretch", "crop" or "pad"; none for any other word.
std::optional<VideoFit> ParseVideoFit(std::string_view text);

/// A rectangle of pixels: its top left corner and its sides.
struct PixelRect {
    int x{};
    int y{};
    int width{};
    int height{};
    bool operator==(const PixelRect&) const = default;
};

/// Where the picture goes in a frame: the part of the surface shown (`source`) and the
/// part of the frame it is scaled into (`target`); the frame outside `target` is black.
struct PicturePlacement {
    PixelRect source;
    PixelRect target;
};

/// The placement of the picture in a `width` x `height` frame (even sides) for `fit`.
/// A padded picture's corner and sides are even, so the halved colour planes of the frame
/// line up with its brightness.
PicturePlacement PlacePicture(VideoFit fit, int width, int height);

/// One track to save as a video.
struct VideoRequest {
    std::filesystem::path programDir; ///< tables, templates and the registry
    std::filesystem::path track;
    std::filesystem::path output;
    VideoFormat format;
    VideoFit fit{VideoFit::Stretch};
    std::uint32_t seed{};
    VideoLook look;
};

struct VideoResult {
    bool ok{};
    bool cancelled{};
    std::string message; ///< the program's words when not ok
    std::int64_t frames{};
    double seconds{}; ///< the track's length
};

/// Called now and then on a worker thread with the share of the video written, 0..1.
using VideoProgress = std::function<void(double)>;

/// "WxH" as two whole numbers; none when the text is no such size.
std::optional<std::pair<int, int>> ParseVideoSize(std::string_view text);
/// The program's message when `format` cannot be encoded (sides even, 16..7680 x 4320,
/// 1..120 frames a second); empty when it can.
std::string CheckVideoFormat(const VideoFormat& format);

/// `output` with ".mp4" added when its name has no extension at all.
std::filesystem::path WithVideoExtension(std::filesystem::path output);
/// The program's message when writing a video to `output` would replace `track` itself,
/// whatever path leads to it (a symbolic or hard link, another spelling); empty otherwise.
/// Every way of saving a video asks this before it writes.
std::string CheckVideoTarget(const std::filesystem::path& track, const std::filesystem::path& output);
/// True when something (a file, a folder, even a dangling link) already has the name `output`.
bool VideoTargetExists(const std::filesystem::path& output);

/// Renders the track's kaleidoscope frame by frame as the window would show it full
/// screen at `format`'s size, and writes it with the track's sound as an MP4 file,
/// exactly as long as the sound. The picture is drawn on one thread and encoded on
/// another, a few frames apart, so memory stays flat whatever the length. The file
/// appears under `output` only once complete; a failure or a stop request leaves no file.
/// An `output` that is the track itself is refused (`CheckVideoTarget`) and both stay as they were.
VideoResult ExportVideo(const VideoRequest& request, std::stop_token stop = {}, const VideoProgress& progress = {});

} // namespace kalvotune::video
