// Music analysis of a four-minute MP3: the demo track "Морской бриз" looped to 240 s and
// encoded at 160 kbit/s with the ffmpeg tool, then analysed on one core. Prints how many
// times faster than real time the analysis runs; then the same for the live analysis alone,
// fed the decoded sound in blocks of 20 ms as the capture hands it on.
#include "analysis/AudioDecoder.hpp"
#include "analysis/LiveAnalysis.hpp"
#include "analysis/MusicAnalysis.hpp"
#include "support/TempDir.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

int LiveAnalysisBench(const std::filesystem::path& track)
{
    using namespace kalvotune::analysis;
    AudioDecoder decoder;
    std::vector<float> sound, block;
    if (!decoder.Open(track, kAnalysisRate)) {
        std::printf("Live analysis: %s\n", decoder.Error().c_str());
        return 1;
    }
    while (decoder.Read(block))
        sound.insert(sound.end(), block.begin(), block.end());

    LiveAnalysis live{{.lookAheadSeconds = 0.1, .pictureChangeTicks = 20, .keepHeard = false}};
    constexpr std::size_t kBlock{kAnalysisRate / 50};
    std::size_t markers{};
    const std::clock_t cpuStart{std::clock()};
    for (std::size_t i = 0; i < sound.size(); i += kBlock) {
        live.Add(std::span<const float>{sound}.subspan(i, std::min(kBlock, sound.size() - i)));
        for (const LiveTick& tick : live.TakeTicks())
            markers += tick.speed >= kPictureChangeMarker ? 1 : 0;
    }
    const double cpu{static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC};
    const double seconds{static_cast<double>(sound.size()) / kAnalysisRate};
    std::printf("Live analysis: %.0f x real time (%.0f s of sound in %.2f s of processor time, 20-ms blocks; %zu "
                "markers, %.0f BPM)\n",
        seconds / cpu, seconds, cpu, markers, live.BeatPeriod() > 0 ? 60.0 / live.BeatPeriod() : 0.0);
    return 0;
}

} // namespace

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
    return LiveAnalysisBench(track);
}
