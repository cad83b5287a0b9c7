#include "mpv/TestMedia.hpp"

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

namespace kalvotune::testing {
namespace {

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool Tone(const std::filesystem::path& out, int seconds, const std::string& codec)
{
    return Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=" + std::to_string(seconds)
        + " -ac 2 " + codec + " '" + out.string() + "'");
}

std::unique_ptr<TestMedia> Make()
{
    if (!Run("ffmpeg -version"))
        return {};
    auto media = std::make_unique<TestMedia>();
    const auto& dir = media->dir.Path();
    media->wav = dir / "tone.wav";
    media->mp3 = dir / "tone.mp3";
    media->wma = dir / "tone.wma";
    media->shortWav = dir / "short.wav";
    media->corrupt = dir / "noise.mp3";
    media->missing = dir / "gone.mp3";
    if (!Tone(media->wav, 3, "") || !Tone(media->mp3, 3, "-c:a libmp3lame") || !Tone(media->wma, 3, "-c:a wmav2")
        || !Tone(media->shortWav, 2, ""))
        return {};
    std::mt19937 bits{7};
    std::ofstream noise{media->corrupt, std::ios::binary};
    for (int i = 0; i < 20000; ++i)
        noise.put(static_cast<char>(bits()));
    return media;
}

} // namespace

const TestMedia* TestMedia::Get()
{
    static const std::unique_ptr<TestMedia> media = Make();
    return media.get();
}

} // namespace kalvotune::testing
