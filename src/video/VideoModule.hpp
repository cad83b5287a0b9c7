#pragma once

#include "core/LoadableModule.hpp"
#include "video/VideoExport.hpp"

#include <filesystem>
#include <functional>
#include <stop_token>

namespace kalvotune::video {

/// The file name of the video module, kept beside the program like the audio module.
inline constexpr const char* kVideoModuleFile{"kalvotune-video.so"};
/// The module's one function: `ExportVideo`, its result written to `result`.
using ExportVideoFunction
    = void (*)(const VideoRequest& request, std::stop_token stop, const VideoProgress& progress, VideoResult& result);
inline constexpr const char* kExportVideoSymbol{"KalvotuneExportVideo"};

/// `ExportVideo` as the window and the command line reach it.
using VideoExporter
    = std::function<VideoResult(const VideoRequest& request, std::stop_token stop, const VideoProgress& progress)>;

/// `ExportVideo` behind its module: the encoders and FFmpeg's libraries load on the first
/// video, not at every start. When the module cannot be loaded, the export fails with the
/// reason.
class VideoModule {
public:
    explicit VideoModule(std::filesystem::path file);

    VideoResult Export(const VideoRequest& request, std::stop_token stop, const VideoProgress& progress);
    /// `Export` as a function object; the module must outlive it.
    VideoExporter AsExporter();

private:
    ModuleFunction<ExportVideoFunction> m_export;
};

} // namespace kalvotune::video
