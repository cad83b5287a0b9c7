// The relink planner: list lines and a registry from anywhere (Windows paths, lines cut
// short, doubled tracks) matched against an index of music files, then the plan applied.
// Sections: the current list, the registry, the index (one path per line). "$P" names a
// music folder whose files exist, so lines reach present tracks too.
#include "fuzz/FuzzSupport.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "service/Relink.hpp"
#include "service/WorkingSet.hpp"
#include "support/TempDir.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>

using namespace kalvotune;
using namespace kalvotune::service;
namespace fs = std::filesystem;

namespace {

struct Folders {
    testing::TempDir dir;
    fs::path music{dir.Path() / "music"};
    fs::path lists{dir.Path() / "Lists"};
    fs::path data{dir.Path() / "Data"};

    Folders()
    {
        for (const fs::path& folder : {music / "Артист", lists, data / "Старый", data / "Новый"})
            fs::create_directories(folder);
        for (const char* name : {"a.mp3", "Артист/Вальс.mp3", "Артист/B.WAV"})
            std::ofstream{music / name} << "audio";
        const auto now = fs::file_time_type::clock::now();
        fs::last_write_time(data / "Старый", now - std::chrono::hours{2});
        fs::last_write_time(data / "Новый", now - std::chrono::hours{1});
    }
};

std::vector<std::string> Lines(std::string_view text, const fs::path& music)
{
    return playlists::SplitLines(fuzz::WithProgramDir(text, music));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const Folders folders;
    const std::vector<std::string_view> sections = fuzz::SplitSections(data, size, 3);

    fuzz::PutFile(
        folders.lists / playlists::kRegistryName, playlists::EncodeListFile(Lines(sections[1], folders.music)));
    WorkingSet lists{folders.lists, folders.data};
    lists.Hold(playlists::kTempFileName, Lines(sections[0], folders.music));
    if (lists.Load({std::string{playlists::kRegistryName}}))
        return 0; // a registry the list reader refuses (too long) is never planned on
    MusicIndex index;
    // As the walk builds it: absolute paths a list line can carry.
    for (std::string& path : Lines(sections[2], folders.music))
        if (path.starts_with('/') && playlists::FitsListLine(path))
            index.Add(std::move(path));

    const RelinkPlan plan = PlanRelink(lists, index);
    std::set<std::string> planned;
    for (const TrackChange& change : plan.changes) {
        fuzz::Require(change.newPath.has_value(), "a relink that deletes a track");
        fuzz::Require(planned.insert(change.oldPath).second, "a missing path planned twice");
    }
    for (const std::vector<std::string>* kind : {&plan.ambiguous, &plan.unfound})
        for (const std::string& path : *kind)
            fuzz::Require(planned.insert(path).second, "a missing path planned twice");
    for (const std::string& path : planned)
        fuzz::Require(IsMissingTrack(path), "a present track planned");
    (void)RelinkSummary(plan);
    (void)RelinkLeftMessage(plan);

    // Applied, the plan leaves one registry line for a track a relinked line reached, and
    // drops what it said; lines that were doubled before and no change reached stay.
    const ChangeChain chain{plan.changes};
    const std::vector<std::string> before = *lists.Lines(playlists::kRegistryName);
    lists.Apply(chain);
    fuzz::Require(lists.Dropped().size() == plan.dropped.size(), "the plan and the relink drop different lines");
    const std::vector<std::string>& after = *lists.Lines(playlists::kRegistryName);
    const auto linesOf = [](const std::vector<std::string>& registry, const std::string& path) {
        return std::count_if(registry.begin(), registry.end(),
            [&](const std::string& line) { return playlists::LinePathView(line) == path; });
    };
    for (const TrackChange& change : plan.changes) {
        const std::string final = chain.Follow(change.oldPath).path;
        const bool reached = std::any_of(before.begin(), before.end(), [&](const std::string& line) {
            const ChangeChain::Fate fate = chain.Follow(playlists::LinePathView(line));
            return fate.matched && fate.path == final;
        });
        if (reached)
            fuzz::Require(linesOf(after, final) == 1, "a relinked track has two registry lines");
        else
            fuzz::Require(linesOf(after, final) == linesOf(before, final), "a relink touched lines it did not reach");
    }
    return 0;
}
