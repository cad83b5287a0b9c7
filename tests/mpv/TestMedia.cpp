#include "mpv/TestMedia.hpp"

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

namespace kalvotune::testing {
namespace {

std::string g_missing;

bool Run(const std::string& command, const std::filesystem::path& errors = "/dev/null")
{
    return std::system((command + " >/dev/null 2>'" + errors.string() + "'").c_str()) == 0;
}

bool Tone(const std::filesystem::path& out, int seconds, const std::string& codec)
{
    const std::filesystem::path errors = out.parent_path() / "ffmpeg-errors.txt";
    if (Run("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=" + std::to_string(seconds)
                + " -ac 2 " + codec + " '" + out.string() + "'",
            errors))
        return true;
    std::ifstream in{errors};
    std::string line;
    std::string last;
    while (std::getline(in, line))
        if (!line.empty())
            last = line;
    g_missing = "ffmpeg could not make the test track " + out.filename().string() + " ("
        + (codec.empty() ? std::string{"PCM WAV"} : codec) + "): " + (last.empty() ? "no message" : last);
    return false;
}

std::unique_ptr<TestMedia> Make()
{
    if (!Run("ffmpeg -version")) {
        g_missing = "ffmpeg is not installed (or not on PATH): the test tracks are made with it";
        return {};
    }
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

std::string TestMedia::Missing()
{
    Get();
    return g_missing;
}

} // namespace kalvotune::testing
