#include "video/VideoModule.hpp"

// The entry point of kalvotune-video.so, looked up by `VideoModule`.
extern "C" void KalvotuneExportVideo(const kalvotune::video::VideoRequest& request, std::stop_token stop,
    const kalvotune::video::VideoProgress& progress, kalvotune::video::VideoResult& result)
{
    result = kalvotune::video::ExportVideo(request, std::move(stop), progress);
}
