#include "service/WorkingSet.hpp"

#include "service/Relink.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/Registry.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"

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

TEST(WorkingSet, TheRegistryKeepsWhatAnotherStartRegisteredMeanwhile)
{
    // The window moves a track while `kalvotune --analyse` registers a template and drops
    // another line: the move's write keeps both of the other writer's changes.
    Folder folder{{{"Kalvotune", {"*/m/a.mp3*fa*", "*/m/d.mp3*fd*"}}}};
    WorkingSet set{folder.ListsDir(), folder.DataDir()};
    ASSERT_FALSE(set.Load({"Kalvotune"}));
    ASSERT_TRUE(playlists::WriteListFile(folder.ListsDir() / "Kalvotune", {"*/m/a.mp3*fa*", "*/m/n.mp3*fn*"}).ok);
    set.Apply(ChangeChain{{{"/m/a.mp3", "/m/b.mp3"}}});
    EXPECT_TRUE(set.Write().empty());
    EXPECT_EQ(folder.Read("Kalvotune"), (Lines{"*/m/b.mp3*fa*", "*/m/n.mp3*fn*"}));

    // Two writers that read the registry before either wrote: the second keeps the first's line.
    const std::filesystem::path programDir{folder.dir.Path()};
    const Lines read{playlists::ReadRegistryWorkList(playlists::RegistryFile(programDir)).lines};
    Lines recording{read}, analysis{read};
    playlists::AddRegistryLine(analysis, "*/m/x.mp3*fx*");
    ASSERT_TRUE(playlists::WriteRegistry(programDir, read, analysis).ok);
    std::erase(recording, "*/m/n.mp3*fn*");
    playlists::AddRegistryLine(recording, "*/m/c.mp3*fc*");
    ASSERT_TRUE(playlists::WriteRegistry(programDir, read, recording).ok);
    const Lines expected{"*/m/b.mp3*fa*", "*/m/c.mp3*fc*", "*/m/x.mp3*fx*"};
    EXPECT_EQ(folder.Read("Kalvotune"), expected);
    EXPECT_EQ(recording, expected) << "the writer is given what it wrote";

    // Two writers that both register the same line leave it once, and a line an older
    // version left twice goes whole when a writer removes it.
    const std::string twice{"*/m/z.mp3*fz*"};
    Lines first{expected}, second{expected};
    playlists::AddRegistryLine(first, twice);
    playlists::AddRegistryLine(second, twice);
    ASSERT_TRUE(playlists::WriteRegistry(programDir, expected, first).ok);
    ASSERT_TRUE(playlists::WriteRegistry(programDir, expected, second).ok);
    EXPECT_EQ(folder.Read("Kalvotune"), first);
    ASSERT_TRUE(playlists::WriteListFile(folder.ListsDir() / "Kalvotune", {twice, twice, expected[0]}).ok);
    Lines dropped{expected[0]};
    ASSERT_TRUE(playlists::WriteRegistry(programDir, {expected[0], twice}, dropped).ok);
    EXPECT_EQ(folder.Read("Kalvotune"), Lines{expected[0]});
    ASSERT_TRUE(playlists::WriteListFile(folder.ListsDir() / "Kalvotune", expected).ok);

    // A registry that cannot be read when the edit is written is left as it is.
    FailReadsOf(folder.ListsDir() / "Kalvotune");
    Lines more{expected};
    playlists::AddRegistryLine(more, "*/m/y.mp3*fy*");
    EXPECT_FALSE(playlists::WriteRegistry(programDir, expected, more).ok);
    FailReadsOf(std::nullopt);
    EXPECT_EQ(folder.Read("Kalvotune"), expected);
}

TEST(Relink, NamesCompareWithoutLatinOrCyrillicCase)
{
    EXPECT_EQ(FoldCase("ЁЛКА Ёж ÀÉ Song-01.MP3"), "ёлка ёж àé song-01.mp3");
    EXPECT_EQ(FoldCase("ЀЄЇІЎЏҐӁ ЩЪЫЬЭЮЯ"), "ѐєїіўџґӂ щъыьэюя");
    // Small letters, signs, other scripts and broken bytes stay as they are.
    EXPECT_EQ(FoldCase("ёж × ß 日本 \xD0"), "ёж × ß 日本 \xD0");

    MusicIndex index;
    index.Add("/m/Артист/Альбом/01 Вальс.mp3");
    index.Add("/m/Другой/Альбом/01 Вальс.mp3");
    index.Add("/m/Сборник/Разное/01 Вальс.mp3");
    index.Add("/m/Песни/Ёлочка.WAV");
    const auto match = [&](std::string_view old) { return MatchMovedTrack(index, old); };
    using Kind = TrackMatch::Kind;

    // One file of that name wins whatever its folders, its case aside.
    EXPECT_EQ(match("C:\\Музыка\\ЁЛОЧКА.wav").path, "/m/Песни/Ёлочка.WAV");
    EXPECT_EQ(match("\\\\server\\share\\ёлочка.wav").kind, Kind::Found);
    // A relative path with backslashes only is split at them too.
    EXPECT_EQ(match("Песни\\ЁЛОЧКА.wav").path, "/m/Песни/Ёлочка.WAV");
    // Among several, the one whose folders agree with most of the old path's last folders.
    EXPECT_EQ(match("C:\\Музыка\\АРТИСТ\\альбом\\01 вальс.mp3").path, "/m/Артист/Альбом/01 Вальс.mp3");
    EXPECT_EQ(match("/media/old/Сборник/Разное/01 Вальс.mp3").path, "/m/Сборник/Разное/01 Вальс.mp3");
    // Agreement counts from the innermost folder: "Артист" alone does not pick the first.
    EXPECT_EQ(match("D:\\Артист\\Синглы\\01 Вальс.mp3").kind, Kind::Ambiguous);
    // Two agree equally: a tie is left alone.
    EXPECT_EQ(match("D:\\Альбом\\01 Вальс.mp3").kind, Kind::Ambiguous);
    EXPECT_EQ(match("D:\\01 Вальс.mp3").kind, Kind::Ambiguous);
    // The name must be the same, extension included.
    EXPECT_EQ(match("D:\\Артист\\Альбом\\01 Вальс.wma").kind, Kind::NotFound);
    EXPECT_EQ(match("").kind, Kind::NotFound);
}

TEST(Relink, IndexesAudioFilesEveryLevelDeepAndPlansEachMissingPathOnce)
{
    Folder folder{{{"Мой", {}}}};
    const fs::path music = folder.dir.Path() / "music";
    fs::create_directories(music / "А" / "Б");
    for (const fs::path& file :
        {music / "x.MP3", music / "А" / "Б" / "y.wav", music / "А" / "cover.jpg", music / "А" / "Б" / "z*.mp3"})
        std::ofstream{file} << "x";
    fs::create_directory_symlink(music, music / "А" / "loop"); // never followed
    std::vector<std::size_t> heard;
    const MusicIndexResult built = BuildMusicIndex(music, [&](std::size_t n) { heard.push_back(n); });
    EXPECT_TRUE(built.error.empty());
    // Not the picture, nor a name a list line cannot carry.
    EXPECT_EQ(built.index.Size(), 2u);
    EXPECT_EQ(heard.back(), 2u);
    EXPECT_FALSE(BuildMusicIndex(music / "нет").error.empty());
    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(BuildMusicIndex(music, {}, stop.get_token()).cancelled);

    // A folder that fails part way (a broken disk) is named and the walk goes on; one
    // without permission is passed over quietly.
    const auto failing = [&](const fs::path& at, std::vector<fs::directory_entry>& entries) {
        for (const fs::directory_entry& entry : fs::directory_iterator{at})
            entries.push_back(entry);
        if (at == music / "А")
            return std::make_error_code(std::errc::io_error);
        return at == music / "А" / "Б" ? std::make_error_code(std::errc::permission_denied) : std::error_code{};
    };
    const MusicIndexResult broken = BuildMusicIndex(music, {}, {}, failing);
    EXPECT_TRUE(broken.error.empty());
    EXPECT_EQ(broken.index.Size(), 2u);
    EXPECT_EQ(broken.unreadable, std::vector<std::string>{(music / "А").string() + ": Input/output error"});
    EXPECT_EQ(UnreadableFoldersMessage(broken),
        "Эти папки прочитать не удалось, треки в них не искались:\n" + (music / "А").string() + ": Input/output error");
    EXPECT_TRUE(UnreadableFoldersMessage(built).empty());

    const std::string present = (music / "x.MP3").string();
    const std::string moved = (music / "А" / "Б" / "y.wav").string();
    Folder lists{{{"Мой", {"*" + present + "*0*", "*C:\\Б\\Y.WAV*0*", "*/gone/q.mp3*0*", "", "*C:\\Б\\Y.WAV*0*"}},
        {"Kalvotune", {"*/old/x.mp3*x1*", "*C:\\Б\\Y.WAV*y7*"}}}};
    WorkingSet set{lists.ListsDir(), lists.DataDir()};
    ASSERT_FALSE(set.Load({"Мой", "Kalvotune"}));
    const RelinkPlan plan = PlanRelink(set, built.index);
    // Each missing path once, in list order; the line naming an existing file is no
    // candidate although its name is in the index; "x.mp3" finds "x.MP3".
    ASSERT_EQ(plan.changes.size(), 2u);
    EXPECT_EQ(plan.changes[0].oldPath, "C:\\Б\\Y.WAV");
    EXPECT_EQ(plan.changes[0].newPath, moved);
    EXPECT_EQ(plan.changes[1].oldPath, "/old/x.mp3");
    EXPECT_EQ(plan.changes[1].newPath, present);
    EXPECT_EQ(plan.unfound, Lines{"/gone/q.mp3"});
    EXPECT_EQ(plan.Missing(), 3u);
    EXPECT_EQ(RelinkSummary(plan), "Найдено 2 из 3 треков; 0 неоднозначных.");
}

} // namespace
} // namespace kalvotune::service
