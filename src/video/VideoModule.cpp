#include "video/VideoModule.hpp"

namespace kalvotune::video {

VideoModule::VideoModule(std::filesystem::path file)
    : m_export{std::move(file), kExportVideoSymbol, "модуль записи видео"}
{
}

VideoResult VideoModule::Export(const VideoRequest& request, std::stop_token stop, const VideoProgress& progress)
{
    VideoResult result;
    const ExportVideoFunction exportVideo = m_export.Get();
    if (exportVideo == nullptr) {
        result.message = m_export.Error();
        return result;
    }
    exportVideo(request, std::move(stop), progress, result);
    return result;
}

VideoExporter VideoModule::AsExporter()
{
    return [this](const VideoRequest& request, std::stop_token stop, const VideoProgress& progress) {
        return Export(request, std::move(stop), progress);
    };
}

} // namespace kalvotune::video
