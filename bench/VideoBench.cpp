// Video export of a demo track at 1920 x 1080, 30 frames a second, with the program
// folder's tables and the window's default look. Prints how many times faster than real
// time the whole export runs (sound counted, template loaded, picture drawn, scaled,
// encoded and written), and the machine's load while it ran.
#include "support/TempDir.hpp"
#include "video/VideoExport.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

int main()
{
    namespace fs = std::filesystem;
    using namespace kalvotune;
    const testing::TempDir dir;
    video::VideoRequest request;
    request.programDir = KALVOTUNE_PROGRAM_DIR;
    request.track = fs::path{KALVOTUNE_PROGRAM_DIR} / "Sound" / "Морской бриз.mp3";
    request.output = dir.Path() / "bench.mp4";
    request.format = {1920, 1080, 30};
    request.seed = 1;
    request.look.figureType = 3;

    double load[1]{};
    const auto start = std::chrono::steady_clock::now();
    const video::VideoResult result = video::ExportVideo(request);
    const double seconds{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    getloadavg(load, 1);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!result.ok) {
        std::printf("Video export: %s\n", result.message.c_str());
        return 1;
    }
    std::error_code error;
    const auto bytes = fs::file_size(request.output, error);
    std::printf("Video export: %.1f x real time at 1920x1080 30 fps (%.0f s of video, %lld frames, in %.1f s; "
                "%.1f MB; %.1f s of processor time; load %.1f)\n",
        result.seconds / seconds, result.seconds, static_cast<long long>(result.frames), seconds,
        static_cast<double>(bytes) / 1e6, cpu, load[0]);
    return 0;
}
