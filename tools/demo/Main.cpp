// Writes the demo tracks, their colour-music templates and the program's own sounds into
// a program folder. Tracks that ship as MP3 or WMA are written as WAV into the scratch
// folder; the build encodes them from there.

#include "Catalogue.hpp"
#include "Synth.hpp"
#include "TemplateMaker.hpp"
#include "Wav.hpp"

#include "core/FileIO.hpp"

#include <cstdio>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using namespace kalvotune;
using namespace kalvotune::demo;

namespace {

bool Write(const fs::path& file, const std::string& bytes)
{
    const WriteResult result = WriteFileAtomically(file, bytes);
    if (!result.ok)
        std::fprintf(stderr, "%s\n", result.message.c_str());
    return result.ok;
}

bool Write(const fs::path& file, const std::vector<std::uint8_t>& bytes)
{
    return Write(file, std::string{bytes.begin(), bytes.end()});
}

fs::path Utf8(const std::string& name)
{
    return fs::path{std::u8string{name.begin(), name.end()}};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <program folder> <scratch folder>\n", argv[0]);
        return 2;
    }
    const fs::path program{argv[1]};
    const fs::path scratch{argv[2]};
    for (const char* folder : {"Sound", "Data", "jokes"})
        fs::create_directories(program / folder);
    fs::create_directories(scratch);

    bool ok = true;
    for (const ShippedTrack& track : ShippedTracks()) {
        const Piece piece = Compose(track.sketch);
        const Pcm pcm = Render(piece);
        const fs::path folder = track.extension == ".wav" ? program / "Sound" : scratch;
        ok &= Write(folder / Utf8(track.title + ".wav"), EncodeWav(pcm));

        const fs::path templateFolder = program / "Data" / Utf8(track.title);
        const std::vector<float> loudness = TickLoudness(pcm);
        if (track.templateKind == TemplateKind::Full) {
            fs::create_directories(templateFolder);
            const TemplateChannels channels = MakeFullTemplate(piece, loudness);
            ok &= Write(templateFolder / "Blu.kvt", channels.blue);
            ok &= Write(templateFolder / "Green.kvt", channels.green);
            ok &= Write(templateFolder / "Red.kvt", channels.red);
            ok &= Write(templateFolder / "Speed.kvt", channels.speed);
        } else if (track.templateKind == TemplateKind::StillPicture) {
            fs::create_directories(templateFolder);
            ok &= Write(templateFolder / "Speed.kvt", MakeStillTemplate(piece, loudness));
        }
        std::printf("%s%s: %.1f s, %d ticks\n", track.title.c_str(), track.extension.c_str(),
            static_cast<double>(piece.length) / kSampleRate, TickCount(piece.length));
    }

    ok &= Write(program / "jokes" / Utf8("Выход.wav"), EncodeWav(Render(ExitJingle())));
    ok &= Write(scratch / "About.wav", EncodeWav(Render(AboutJingle())));
    return ok ? 0 : 1;
}
