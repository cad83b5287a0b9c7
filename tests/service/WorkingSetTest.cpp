#include "service/WorkingSet.hpp"

#include "playlists/ListFile.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

namespace kalvotune::service {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

/// A `Lists` and a `Data` folder with the same content in each program folder made.
struct Folder {
    explicit Folder(const std::map<std::string, Lines>& lists)
    {
        fs::create_directories(ListsDir());
        for (const char* name : {"fa", "fd", "0"}) {
            fs::create_directories(DataDir() / name);
            std::ofstream{DataDir() / name / "Blu.kvt"} << name;
        }
        for (const auto& [name, lines] : lists)
            EXPECT_TRUE(playlists::WriteListFile(ListsDir() / name, lines).ok);
    }
    fs::path ListsDir() const { return dir.Path() / "Lists"; }
    fs::path DataDir() const { return dir.Path() / "Data"; }
    Lines Read(const std::string& name) const { return playlists::ReadListFile(ListsDir() / name).value_or(Lines{}); }
    /// Every file below the program folder with its content.
    std::map<std::string, std::string> Tree() const
    {
        std::map<std::string, std::string> tree;
        for (const auto& entry : fs::recursive_directory_iterator{dir.Path()}) {
            if (entry.is_directory()) {
                tree[fs::relative(entry.path(), dir.Path()).string()] = "<folder>";
                continue;
            }
            std::ifstream in{entry.path(), std::ios::binary};
            tree[fs::relative(entry.path(), dir.Path()).string()] = std::string{std::istreambuf_iterator<char>{in}, {}};
        }
        return tree;
    }
    testing::TempDir dir;
};

TEST(WorkingSet, GivesTheFilesOfTheWalkThatHandlesOneTrackAtATime)
{
    const std::map<std::string, Lines> lists{
        {"Kalvotune", {"*/m/a.mp3*fa*", "*/m/d.mp3*fd*", "*/m/x.mp3*fx"}},
        {"L1", {"*/m/a.mp3*0*", "*/m/b.mp3*0*", "tag*/m/d.mp3*0*", "*/m/d.mp3*0*", "", "*/m/x.mp3*0*"}},
        {"L2", {"*/m/keep.mp3*0*"}},
    };
    const Lines names{"Kalvotune", "L1", "L2", "L1"};
    // a is renamed to b and b on to c; d is deleted; x moves although its line lacks a '*'.
    const std::vector<TrackChange> changes{
        {"/m/a.mp3", "/m/b.mp3"}, {"/m/b.mp3", "/m/c.mp3"}, {"/m/d.mp3", std::nullopt}, {"/m/x.mp3", "/n/x.mp3"}};

    Folder batch{lists};
    WorkingSet set{batch.ListsDir(), batch.DataDir()};
    ASSERT_FALSE(set.Load(names));
    set.Apply(ChangeChain{changes});
    EXPECT_TRUE(set.Write().empty());

    Folder walk{lists};
    for (const TrackChange& change : changes)
        EXPECT_TRUE(
            UpdateListsForTrack(walk.ListsDir(), walk.DataDir(), names, change.oldPath, change.newPath).empty());

    EXPECT_EQ(batch.Tree(), walk.Tree());
    EXPECT_EQ(batch.Read("Kalvotune"), (Lines{"*/m/c.mp3*fa*", "*/n/x.mp3*fx*"}));
    EXPECT_EQ(batch.Read("L1"), (Lines{"*/m/c.mp3*0*", "*/m/c.mp3*0*", "", "*/n/x.mp3*0*"}));
    EXPECT_FALSE(fs::exists(batch.DataDir() / "fd"));
    EXPECT_TRUE(fs::exists(batch.DataDir() / "fa"));
    EXPECT_TRUE(fs::exists(batch.DataDir() / "0")); // "0" means no template, never a folder
}

TEST(WorkingSet, PruningDropsVanishedListsButNeverTheRegistry)
{
    Folder folder{{{"MyLists", {"Kalvotune", "Есть", "Нет", "", "../Есть"}}, {"Есть", {}}}};
    const PruneResult pruned = PruneMyLists(folder.ListsDir());
    EXPECT_TRUE(pruned.error.empty());
    EXPECT_EQ(pruned.names, (Lines{"Kalvotune", "Есть"}));
    EXPECT_EQ(folder.Read("MyLists"), (Lines{"Kalvotune", "Есть"}));

    // The registry stays named although its file is missing; reading it then stops the command.
    WorkingSet set{folder.ListsDir(), folder.DataDir()};
    const std::optional<std::string> error = set.Load(pruned.names);
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("Kalvotune"), std::string::npos);
}

TEST(WorkingSet, AFolderStaysWhileTheLineNamingItCouldNotBeWritten)
{
    Folder folder{{{"Kalvotune", {"*/m/d.mp3*fd*"}}}};
    WorkingSet set{folder.ListsDir(), folder.DataDir()};
    ASSERT_FALSE(set.Load({"Kalvotune"}));
    set.Apply(ChangeChain{{{"/m/d.mp3", std::nullopt}}});
    FailNextWriteAfter(0);
    EXPECT_EQ(set.Write().size(), 1u);
    EXPECT_TRUE(fs::exists(folder.DataDir() / "fd"));
    EXPECT_EQ(folder.Read("Kalvotune"), Lines{"*/m/d.mp3*fd*"});
}

} // namespace
} // namespace kalvotune::service
