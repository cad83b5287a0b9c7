// Music analysis of a four-minute MP3: the demo track "Морской бриз" looped to 240 s and
// encoded at 160 kbit/s with the ffmpeg tool, then analysed on one core. Prints how many
// times faster than real time the analysis runs.
#include "analysis/MusicAnalysis.hpp"
#include "support/TempDir.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

int main()
{
    namespace fs = std::filesystem;
    const kalvotune::testing::TempDir dir;
    const fs::path source{fs::path{KALVOTUNE_PROGRAM_DIR} / "Sound" / "Морской бриз.mp3"};
    const fs::path track{dir.Path() / "four-minutes.mp3"};
    const std::string command{std::string{"\""} + KALVOTUNE_FFMPEG
        + "\" -hide_banner -loglevel error -y -stream_loop -1 -i \"" + source.string()
        + "\" -t 240 -c:a libmp3lame -b:a 160k \"" + track.string() + "\""};
    if (std::system(command.c_str()) != 0) {
        std::printf("Music analysis: could not make the four-minute MP3 from %s\n", source.c_str());
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart{std::clock()};
    const kalvotune::analysis::AnalysisResult result{kalvotune::analysis::AnalyseTrack(track, 20)};
    const double seconds{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    // The processor time too: on a busy machine it still tells what one core needs.
    const double cpu{static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC};
    if (!result.ok) {
        std::printf("Music analysis: %s\n", result.message.c_str());
        return 1;
    }
    std::printf(
        "Music analysis: %.0f x real time (%.0f s of MP3 in %.2f s, %.2f s of processor time: %.0f x; %zu markers)\n",
        result.seconds / seconds, result.seconds, seconds, cpu, result.seconds / cpu, result.plan.markerTicks.size());
    return 0;
}
