// The track service on a large library: 100 tracks moved and then deleted over 200 lists
// of 1000 lines, each track standing in many lists. The commands (each list read once and
// written at most once) are timed next to the straightforward walk that rewrites every
// list once per track, on the same starting files, and both must leave the same files.
// Then lists brought from Windows are relinked against a music folder of 20,000 files.
#include "core/Form.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Lists.hpp"
#include "service/Relink.hpp"
#include "service/TrackFiles.hpp"
#include "service/TrackService.hpp"
#include "service/WorkingSet.hpp"
#include "support/FakeServices.hpp"
#include "support/FormTrackWindow.hpp"
#include "support/TempDir.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace kalvotune::bench {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr int kTracks{100};
constexpr int kLists{200};
constexpr int kLinesPerList{1000};
/// Paths the lists draw from; the first `kTracks` are the tracks handled.
constexpr int kPool{2000};

std::string Padded(int n, int width)
{
    std::string text = std::to_string(n);
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(text.size()))), '0') + text;
}

/// The program folder every run starts from.
struct Library {
    explicit Library(fs::path root)
        : root{std::move(root)}
    {
    }

    fs::path Lists() const { return root / "Lists"; }
    fs::path Data() const { return root / "Data"; }
    fs::path Music() const { return root / "music"; }
    fs::path Moved() const { return root / "moved"; }
    std::string Path(int i) const { return (Music() / ("Трек " + Padded(i, 4) + ".mp3")).string(); }
    std::string ListName(int j) const { return "Список " + Padded(j, 3); }

    void Make() const
    {
        fs::remove_all(root);
        for (const fs::path& folder : {Lists(), Data(), Music(), Moved()})
            fs::create_directories(folder);
        Lines index{"Kalvotune", "Былое"};
        for (int j = 0; j < kLists; ++j) {
            Lines lines;
            for (int i = 0; i < kLinesPerList; ++i)
                lines.push_back("*" + Path((j * 7919 + i * 31) % kPool) + "*0*");
            playlists::WriteListFile(Lists() / ListName(j), lines);
            index.push_back(ListName(j));
        }
        Lines registry;
        for (int t = 0; t < kPool; t += 4)
            registry.push_back("*" + Path(t) + "*" + Padded(t, 4) + "77*");
        playlists::WriteListFile(Lists() / "Kalvotune", registry);
        Lines history;
        for (int i = 0; i <= 1000; ++i)
            history.push_back("*" + Path((i * 13) % kPool) + "*0*");
        playlists::WriteListFile(Lists() / "Былое", history);
        playlists::WriteListFile(Lists() / "MyLists", index);
        for (int t = 0; t < kTracks; ++t) {
            std::ofstream{Path(t)} << "track " << t;
            if (t % 4 == 0) {
                fs::create_directory(Data() / (Padded(t, 4) + "77"));
                std::ofstream{Data() / (Padded(t, 4) + "77") / "Speed.kvt"} << t;
            }
        }
    }

    /// The current list: the first saved list.
    void Show(Form& form) const
    {
        form.ProgramDir = root;
        form.CurrentListBox.sorted = false;
        form.CurrentListBox.Clear();
        const Lines lines = playlists::ReadListFile(Lists() / ListName(0)).value_or(Lines{});
        for (const std::string& line : lines)
            form.CurrentListBox.Add(playlists::MakeListItem(line));
    }

    std::vector<fs::path> Tracks(const fs::path& folder) const
    {
        std::vector<fs::path> tracks;
        for (int t = 0; t < kTracks; ++t)
            tracks.push_back(folder / fs::path{Path(t)}.filename());
        return tracks;
    }

    /// Every entry below the program folder with its content.
    std::map<std::string, std::string> Tree() const
    {
        std::map<std::string, std::string> tree;
        for (const auto& entry : fs::recursive_directory_iterator{root}) {
            std::string& content = tree[entry.path().string()];
            if (entry.is_directory())
                content = "<folder>";
            else if (std::ifstream in{entry.path(), std::ios::binary})
                content.assign(std::istreambuf_iterator<char>{in}, {});
        }
        return tree;
    }

    fs::path root;
};

double Milliseconds(const std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

/// The commands as the user runs them: move all tracks, then delete them.
double RunCommands(const Library& library)
{
    testing::FakeServices fakes;
    Form form;
    library.Show(form);
    playlists::Lists lists{form, fakes.services};
    service::SystemTrackFiles files;
    service::TrackService commands{
        testing::FormTrackWindow(form, fakes.services), form.ProgramDir, fakes.services, lists, files};
    fakes.dialogs.openedFiles = {library.Tracks(library.Music()), library.Tracks(library.Moved())};
    fakes.dialogs.folders = {library.Moved()};

    const auto start = std::chrono::steady_clock::now();
    commands.MoveSelectedTracks();
    commands.DeleteSelectedTracks();
    return Milliseconds(start);
}

/// The walk that handles one track at a time: every list read, and written when it holds
/// the track, once per track.
double RunPerTrackWalk(const Library& library)
{
    Form form;
    library.Show(form);
    const auto start = std::chrono::steady_clock::now();
    const auto workingSet = [&] {
        Lines names = service::PruneMyLists(library.Lists()).names;
        Lines current;
        for (const std::string& item : form.CurrentListBox.Items())
            current.push_back(playlists::ItemToLine(item));
        playlists::WriteListFile(library.Lists() / playlists::kTempFileName, current);
        names.emplace_back(playlists::kTempFileName);
        return names;
    };
    const auto rebuild = [&] {
        form.CurrentListBox.Clear();
        const Lines lines = playlists::ReadListFile(library.Lists() / playlists::kTempFileName).value_or(Lines{});
        for (const std::string& line : lines)
            form.CurrentListBox.Add(playlists::MakeListItem(line));
    };

    Lines names = workingSet();
    for (const fs::path& track : library.Tracks(library.Music())) {
        const fs::path target = library.Moved() / track.filename();
        fs::copy_file(track, target);
        fs::remove(track);
        service::UpdateListsForTrack(library.Lists(), library.Data(), names, track.string(), target.string());
    }
    rebuild();

    names = workingSet();
    for (const fs::path& track : library.Tracks(library.Moved())) {
        service::UpdateListsForTrack(library.Lists(), library.Data(), names, track.string(), std::nullopt);
        fs::remove(track);
    }
    rebuild();
    return Milliseconds(start);
}

constexpr int kMusicFiles{20000};
/// Every tenth track also lies in a compilation folder under the same name, so the
/// folders decide between the two.
constexpr int kCompilationEvery{10};
constexpr int kRelinkRuns{3};

/// A music folder of `kMusicFiles` files (artists, albums, tracks) and a program folder
/// whose lists and registry name them by their old Windows paths. Gives the relink time
/// (lists read, matched, rewritten and written) and the index time, in ms, each the best
/// of `kRelinkRuns`; negative when a line was not relinked as it should be.
std::pair<double, double> RunRelink(const fs::path& root)
{
    fs::remove_all(root);
    const fs::path music = root / "music";
    const fs::path lists = root / "Lists";
    fs::create_directories(lists);
    std::vector<std::string> oldPaths;
    std::vector<std::string> newPaths;
    int files = 0;
    for (int i = 0; files < kMusicFiles; ++i) {
        const std::string artist = "Артист " + Padded(i / 10, 4);
        const std::string album = "Альбом " + Padded(i % 10, 2);
        const std::string name = Padded(i % 10, 2) + " Песня " + Padded(i, 5) + ".mp3";
        fs::create_directories(music / artist / album);
        std::ofstream{music / artist / album / name};
        oldPaths.push_back("C:\\Музыка\\" + artist + "\\" + album + "\\" + name);
        newPaths.push_back((music / artist / album / name).string());
        ++files;
        if (i % kCompilationEvery == 0 && files < kMusicFiles) {
            fs::create_directories(music / "Сборник" / album);
            std::ofstream{music / "Сборник" / album / name};
            ++files;
        }
    }
    Lines index{"Kalvotune", "Былое"};
    for (int j = 0; j < kLists; ++j) {
        Lines lines;
        for (int i = 0; i < kLinesPerList; ++i)
            lines.push_back("*" + oldPaths[static_cast<std::size_t>(j * 7919 + i * 31) % oldPaths.size()] + "*0*");
        playlists::WriteListFile(lists / ("Список " + Padded(j, 3)), lines);
        index.push_back("Список " + Padded(j, 3));
    }
    Lines registry;
    for (std::size_t t = 0; t < oldPaths.size(); t += 4)
        registry.push_back("*" + oldPaths[t] + "*" + Padded(static_cast<int>(t), 5) + "77*");
    playlists::WriteListFile(lists / "Kalvotune", registry);
    playlists::WriteListFile(lists / "Былое", Lines{"*" + oldPaths[1] + "*0*"});
    playlists::WriteListFile(lists / "MyLists", index);

    // The best of a few runs, each on the lists as they came, so that a busy machine
    // disturbs the figure less.
    const fs::path original = root / "Lists.original";
    fs::copy(lists, original);
    double indexMs = 0;
    double relinkMs = 0;
    for (int run = 0; run < kRelinkRuns; ++run) {
        fs::remove_all(lists);
        fs::copy(original, lists);
        const auto indexStart = std::chrono::steady_clock::now();
        const service::MusicIndexResult built = service::BuildMusicIndex(music);
        const double index = Milliseconds(indexStart);

        const auto start = std::chrono::steady_clock::now();
        service::WorkingSet set{lists, root / "Data"};
        if (service::LoadRelinkSet(set, lists))
            return {-1, index};
        service::RelinkPlan plan = service::PlanRelink(set, built.index);
        const bool allFound = plan.changes.size() == plan.Missing();
        set.Apply(service::ChangeChain{std::move(plan.changes)});
        if (!set.Write().empty())
            return {-1, index};
        const double relink = Milliseconds(start);

        const Lines written = playlists::ReadListFile(lists / "Kalvotune").value_or(Lines{});
        if (!allFound || written.size() < 2 || written[1] != "*" + newPaths[4] + "*0000477*")
            return {-1, index};
        indexMs = run == 0 ? index : std::min(indexMs, index);
        relinkMs = run == 0 ? relink : std::min(relinkMs, relink);
    }
    return {relinkMs, indexMs};
}

} // namespace
} // namespace kalvotune::bench

int main()
{
    using namespace kalvotune::bench;
    kalvotune::testing::TempDir dir;
    const Library library{dir.Path() / "Kalvotune"};

    library.Make();
    const double commands = RunCommands(library);
    const auto afterCommands = library.Tree();

    library.Make();
    const double walk = RunPerTrackWalk(library);
    const auto afterWalk = library.Tree();

    std::printf("Track service: %.0f ms for %d tracks over %d lists of %d lines (per-track walk: %.0f ms)\n", commands,
        kTracks, kLists, kLinesPerList, walk);
    if (afterCommands != afterWalk) {
        std::printf("Track service: the commands and the per-track walk left different files\n");
        return 1;
    }
    std::printf("Track service: both left the same %zu files and folders\n", afterCommands.size());

    const auto [relink, index] = RunRelink(dir.Path() / "Relink");
    if (relink < 0) {
        std::printf("Relink: the lists were not relinked as expected\n");
        return 1;
    }
    std::printf("Relink: %.0f ms for %d lists of %d lines against %d files (index: %.0f ms)\n", relink, kLists,
        kLinesPerList, kMusicFiles, index);
    return 0;
}
