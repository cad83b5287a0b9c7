// The registry look-up at track start and the template folder it leads to.
// Sections: the track's path; the registry `Kalvotune`; entries of `Data`, one a line:
// "name" makes a folder, "name>target" a symbolic link; a planted entry (first byte: put it
// first or last; the rest: its template field). "$P" stands for the program folder.
#include "core/FileIO.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/Lists.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"
#include "templates/TemplateLoader.hpp"

using namespace kalvotune;
namespace fs = std::filesystem;

namespace {

void MakeDataEntries(const fs::path& data, std::string_view text, const fs::path& programDir)
{
    int made = 0;
    for (const std::string& line : playlists::SplitLines(text)) {
        if (++made > 8)
            break;
        const std::size_t arrow = line.find('>');
        const std::string name = line.substr(0, arrow);
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos
            || name.find('\0') != std::string::npos || name.size() > 200)
            continue;
        std::error_code ec;
        if (arrow == std::string::npos)
            fs::create_directory(data / name, ec);
        else
            fs::create_directory_symlink(fuzz::WithProgramDir(line.substr(arrow + 1), programDir), data / name, ec);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const testing::TempDir dir;
    const fs::path programDir = dir.Path() / "Kalvotune";
    const fs::path dataDir = programDir / "Data";
    std::error_code ec;
    fs::remove_all(programDir, ec);
    fs::create_directories(dataDir, ec);
    fs::create_directories(programDir / "Lists", ec);

    const std::vector<std::string_view> sections = fuzz::SplitSections(data, size, 4);
    // A line the harness plants for a track of its own, with a field of printable Latin
    // letters: whatever the other lines hold, the look-up gives that field for that track,
    // and "0" for a track no line names.
    const fs::path planted = programDir / "Sound" / "planted.mp3";
    const fs::path unnamed = programDir / "Sound" / "unnamed.mp3";
    std::string field;
    for (const char c : sections[3].substr(std::min<std::size_t>(1, sections[3].size())))
        if (c > ' ' && c < 0x7F && c != '*')
            field += c;
    if (field.empty())
        field = "T";
    const std::string plantedLine = "*" + planted.string() + "*" + field + "*\r\n";
    const std::string others = fuzz::WithProgramDir(sections[1], programDir);
    const bool first = !sections[3].empty() && sections[3][0] % 2 == 0;
    fuzz::PutFile(programDir / "Lists" / "Kalvotune", first ? plantedLine + others : others + "\r\n" + plantedLine);
    MakeDataEntries(dataDir, sections[2], programDir);

    static testing::FakeServices fakes;
    fakes.dialogs.ForgetRecords();
    static Form form; // a form is large; the look-up and the loader set what they use
    form.ProgramDir = programDir;
    form.TrackSeconds = 3;
    form.TrackTitle = "t";
    playlists::Lists lists{form, fakes.services};
    const std::string track = fuzz::WithProgramDir(sections[0], programDir);
    const std::string name = lists.LookUpTemplateName(track);

    if (others.find("planted.mp3") == std::string::npos)
        fuzz::Require(lists.LookUpTemplateName(planted) == field, "the planted line's field is not found");
    if (others.find("unnamed.mp3") == std::string::npos)
        fuzz::Require(lists.LookUpTemplateName(unnamed) == "0", "a track no line names has a template");

    // Whatever the field says, the template folder stays inside Data.
    const fs::path folder = templates::TemplateFolderOf(form.ProgramDir, name);
    fuzz::Require(folder.empty() || IsWithin(dataDir, folder), "a template folder outside Data");
    const templates::TrackTemplate loaded = templates::LoadTrackTemplate(
        form.ProgramDir, name, form.TrackSeconds, form.PictureRateSlider.position, fakes.random);
    fuzz::Require(loaded.dir.empty() || IsWithin(dataDir, loaded.dir), "TemplateDir outside Data");
    fuzz::Require(loaded.channels.Length() <= 3 * 20 + 50, "channels longer than the track needs");
    return 0;
}
