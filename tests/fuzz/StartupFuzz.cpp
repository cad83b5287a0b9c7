// The whole start of the player over a program folder whose files come from the input,
// then a few commands and the close. Sections ("$P" stands for the program folder):
//  0 SetGet.kvt, 1 MyLists, 2 Kalvotune, 3 Былое, 4 Калейдоскоп, 5 ScreenShot.BMP (in the
//  expanded form of `fuzz::ExpandPicture`, so loadable pictures come from short inputs),
//  6 names of the tracks in Sound, one a line, 7 template folders in Data, one a line
//  ("name>target" makes a symbolic link), 8-11 Blu.kvt, Green.kvt, Red.kvt, Speed.kvt
//  put into every template folder, 12 commands, one byte each.
#include "app/AppFixture.hpp"
#include "core/FileIO.hpp"
#include "fuzz/FuzzSupport.hpp"
#include "playlists/ListFile.hpp"

#include "PatternTables.hpp"

using namespace kalvotune;
namespace fs = std::filesystem;

namespace {

bool UsableName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".."
        && name.find_first_of(std::string_view{"/\0", 2}) == std::string::npos && name.size() < 200;
}

// The shipped tables, written once and hard-linked into every program folder.
const fs::path& TablesFolder()
{
    static const testing::TempDir dir;
    static bool written = false;
    if (!written) {
        const kaleidoscope::TableData shipped = tables::BuildTables();
        for (const auto& [name, words] : {std::pair{kaleidoscope::Engine::kFadeFile, &shipped.fadePixels},
                 std::pair{kaleidoscope::Engine::kWedgeFile, &shipped.wedgeMap},
                 std::pair{kaleidoscope::Engine::kFigureFile, &shipped.figures}}) {
            fuzz::PutFile(dir.Path() / name, tables::ToFileBytes(*words));
        }
        written = true;
    }
    return dir.Path();
}

void Run(testing::AppFixture& app, std::string_view commands)
{
    Form& f = app.Window();
    for (std::size_t i = 0; i < commands.size() && i < 16; ++i) {
        const auto c = static_cast<std::uint8_t>(commands[i]);
        switch (c % 12) {
        case 0:
            app.App().Click("PlayButton");
            break;
        case 1:
            if (f.CurrentListBox.Count() > 0) {
                f.CurrentListBox.SelectAll(false);
                f.CurrentListBox.SetSelected((c / 12) % f.CurrentListBox.Count(), true);
                app.App().DoubleClick("ListBox1");
            }
            break;
        case 2:
            app.App().Click("PauseButton");
            break;
        case 3:
            app.App().Click("StopButton");
            break;
        case 4:
            app.Advance(300);
            break;
        case 5:
            app.Advance(1100);
            break;
        case 6:
            app.App().Click("SpeedButton11");
            break;
        case 7:
            app.App().Click("SaveChangeList");
            break;
        case 8:
            app.App().MouseUp("Panel2", c, 3);
            break;
        case 9:
            app.App().Click("SpeedButton2");
            break;
        case 10:
            app.App().Click("ScreenShot1");
            break;
        default:
            app.App().Click("SpeedButton5");
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string_view> s = fuzz::SplitSections(data, size, 13);
    testing::AppFixture app;
    const fs::path dir = app.Dir();
    for (const char* folder : {"Lists", "Sound", "Data", "ScreenShot", "jokes"})
        fs::create_directories(dir / folder);
    for (const char* table : {"MassP1.kvt", "Lumbra12.kvt", "MassMF2.kvt"}) {
        std::error_code ec;
        fs::create_hard_link(TablesFolder() / table, dir / table, ec);
    }
    fuzz::PutFile(dir / "SetGet.kvt", s[0]);
    const char* lists[]{"MyLists", "Kalvotune", "Былое", "Калейдоскоп"};
    for (std::size_t k = 0; k < 4; ++k)
        if (!s[k + 1].empty())
            fuzz::PutFile(dir / "Lists" / lists[k], fuzz::WithProgramDir(s[k + 1], dir));
    if (!s[5].empty())
        fuzz::PutFile(dir / "ScreenShot" / "ScreenShot.BMP", fuzz::ExpandPicture(s[5]));

    int tracks = 0;
    for (const std::string& name : playlists::SplitLines(s[6])) {
        if (!UsableName(name) || ++tracks > 12)
            continue;
        fuzz::PutFile(dir / "Sound" / name, "audio");
        // Virtual time is what an input costs (a frame every 20 ms of it): tracks of a
        // little over a second end within two of the long steps.
        app.device.AddFile(dir / "Sound" / name, 1000 + 100 * tracks);
    }
    std::vector<fs::path> folders;
    for (const std::string& line : playlists::SplitLines(s[7])) {
        const std::size_t arrow = line.find('>');
        const std::string name = line.substr(0, arrow);
        if (!UsableName(name) || folders.size() >= 6)
            continue;
        std::error_code ec;
        if (arrow == std::string::npos) {
            fs::create_directory(dir / "Data" / name, ec);
            folders.push_back(dir / "Data" / name);
        } else {
            fs::create_directory_symlink(fuzz::WithProgramDir(line.substr(arrow + 1), dir), dir / "Data" / name, ec);
        }
    }
    const char* channels[]{"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"};
    for (const fs::path& folder : folders)
        for (std::size_t k = 0; k < 4; ++k)
            if (s[k + 8] != "!")
                fuzz::PutFile(folder / channels[k], s[k + 8]);

    app.Start();
    Run(app, s[12]);
    app.Close();

    // Whatever the files held, the history stays bounded and every write was whole.
    if (const auto history = playlists::ReadListFile(dir / "Lists" / "Былое"))
        fuzz::Require(history->size() <= 1001 || history->size() == playlists::DecodeListFile(s[3]).size(),
            "the history list grew past 1001 lines");
    std::error_code ec;
    for (const char* folder : {"", "Lists", "ScreenShot"})
        for (fs::directory_iterator it{dir / folder, ec}, end; !ec && it != end; it.increment(ec))
            fuzz::Require(it->path().filename().string().find(".tmp-") == std::string::npos, "a temporary file left");
    return 0;
}
