#include "video/VideoExport.hpp"

#include "core/Surface.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace kalvotune::video {

std::optional<std::pair<int, int>> ParseVideoSize(std::string_view text)
{
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos)
        return std::nullopt;
    int width{};
    int height{};
    const std::string_view w = text.substr(0, x);
    const std::string_view h = text.substr(x + 1);
    const auto [wEnd, wError] = std::from_chars(w.data(), w.data() + w.size(), width);
    const auto [hEnd, hError] = std::from_chars(h.data(), h.data() + h.size(), height);
    if (w.empty() || h.empty() || wError != std::errc{} || hError != std::errc{} || wEnd != w.data() + w.size()
        || hEnd != h.data() + h.size())
        return std::nullopt;
    return std::pair{width, height};
}

std::optional<VideoFit> ParseVideoFit(std::string_view text)
{
    if (text == "stretch")
        return VideoFit::Stretch;
    if (text == "crop")
        return VideoFit::Crop;
    if (text == "pad")
        return VideoFit::Pad;
    return std::nullopt;
}

PicturePlacement PlacePicture(VideoFit fit, int width, int height)
{
    constexpr int kW{Surface::kWidth};
    constexpr int kH{Surface::kHeight};
    const PixelRect picture{0, 0, kW, kH};
    const PixelRect frame{0, 0, width, height};
    // Which way the shapes differ: a frame wider than the picture crops its top and
    // bottom or pads its sides.
    const bool wider = static_cast<std::int64_t>(width) * kH > static_cast<std::int64_t>(height) * kW;
    if (fit == VideoFit::Crop) {
        if (wider) {
            const int shown = std::clamp(static_cast<int>(std::lround(double{kW} * height / width)), 1, kH);
            return {{0, (kH - shown) / 2, kW, shown}, frame};
        }
        const int shown = std::clamp(static_cast<int>(std::lround(double{kH} * width / height)), 1, kW);
        return {{(kW - shown) / 2, 0, shown, kH}, frame};
    }
    if (fit == VideoFit::Pad) {
        const auto even
            = [](double side, int most) { return std::clamp(static_cast<int>(std::lround(side / 2)) * 2, 2, most); };
        if (wider) {
            const int shown = even(double{kW} * height / kH, width);
            return {picture, {(width - shown) / 4 * 2, 0, shown, height}};
        }
        const int shown = even(double{kH} * width / kW, height);
        return {picture, {0, (height - shown) / 4 * 2, width, shown}};
    }
    return {picture, frame};
}

std::string CheckVideoFormat(const VideoFormat& format)
{
    if (format.width < kMinSide || format.height < kMinSide || format.width > kMaxWidth || format.height > kMaxHeight
        || format.width % 2 != 0 || format.height % 2 != 0)
        return "Такой размер видео не годится: " + std::to_string(format.width) + "x" + std::to_string(format.height)
            + ". Ширина и высота — чётные числа от 16 до 7680x4320.";
    if (format.fps < 1 || format.fps > kMaxFps)
        return "Такая частота кадров не годится: " + std::to_string(format.fps)
            + ". Можно от 1 до 120 кадров в секунду.";
    return {};
}

std::filesystem::path WithVideoExtension(std::filesystem::path output)
{
    if (!output.filename().empty() && !output.has_extension())
        output += ".mp4";
    return output;
}

std::string CheckVideoTarget(const std::filesystem::path& track, const std::filesystem::path& output)
{
    namespace fs = std::filesystem;
    // `equivalent` compares the files themselves (device and inode), so a link or another
    // spelling of the track's path is caught; the resolved paths cover names whose files
    // cannot be asked about.
    std::error_code sameError;
    std::error_code trackError;
    std::error_code outputError;
    const bool same = fs::equivalent(track, output, sameError)
        || (fs::weakly_canonical(track, trackError) == fs::weakly_canonical(output, outputError) && !trackError
            && !outputError);
    if (!same)
        return {};
    return "Видео не записывается поверх трека, из которого оно делается: " + output.string()
        + ". Укажите другой файл.";
}

bool VideoTargetExists(const std::filesystem::path& output)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::symlink_status(output, error);
    return std::filesystem::exists(status) || (error && error != std::errc::no_such_file_or_directory);
}

} // namespace kalvotune::video
