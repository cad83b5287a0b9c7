// The registry look-up at track start and the template folder it leads to.
// Sections: the track's path; the registry `Kalvotune`; entries of `Data`, one a line:
// "name" makes a folder, "name>target" a symbolic link. "$P" stands for the program folder.
#include "core/FileIO.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
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

    const std::vector<std::string_view> sections = fuzz::SplitSections(data, size, 3);
    fuzz::PutFile(programDir / "Lists" / "Kalvotune", fuzz::WithProgramDir(sections[1], programDir));
    MakeDataEntries(dataDir, sections[2], programDir);

    static testing::FakeServices fakes;
    static Form form; // a form is large; the look-up and the loader set what they use
    form.ProgramDir = programDir;
    form.TrackSeconds = 3;
    form.TrackTitle = "t";
    playlists::Lists lists{form, fakes.services};
    const std::string track = fuzz::WithProgramDir(sections[0], programDir);
    const std::string name = lists.LookUpTemplateName(track);

    // The name is the template field of the first line naming the track, or "0".
    const std::optional<std::vector<std::string>> registry
        = playlists::ReadListFile(programDir / "Lists" / "Kalvotune");
    std::string expected = "0";
    for (const std::string& line : registry.value_or(std::vector<std::string>{}))
        if (playlists::LinePath(line) == track) {
            expected = playlists::LineTemplate(line);
            break;
        }
    fuzz::Require(name == expected, "the look-up gives another template field");

    // Whatever the field says, the template folder stays inside Data.
    const fs::path folder = templates::TemplateFolderOf(form, name);
    fuzz::Require(folder.empty() || IsWithin(dataDir, folder), "a template folder outside Data");
    templates::LoadTrackTemplate(form, fakes.services, name);
    fuzz::Require(form.TemplateDir.empty() || IsWithin(dataDir, form.TemplateDir), "TemplateDir outside Data");
    fuzz::Require(form.channels.Length() <= 3 * 20 + 50, "channels longer than the track needs");
    return 0;
}
