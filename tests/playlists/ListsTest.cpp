#include "playlists/Lists.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace kalvotune::playlists {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class ListsTest : public ::testing::Test, public testing::FakeServices {
protected:
    ListsTest()
    {
        form.ProgramDir = dir.Path();
        for (const char* folder : {"Lists", "Sound", "Data"})
            fs::create_directory(dir.Path() / folder);
    }

    fs::path Sound(const std::string& name) const { return dir.Path() / "Sound" / name; }
    fs::path File(std::string_view name) const { return dir.Path() / "Lists" / name; }
    Lines Read(std::string_view name) const { return ReadListFile(File(name)).value_or(Lines{"<missing>"}); }
    void Put(std::string_view name, const Lines& lines) { ASSERT_TRUE(WriteListFile(File(name), lines).ok); }
    static void Touch(const fs::path& file) { std::ofstream{file} << "x"; }
    static std::string Line(const fs::path& track) { return "*" + track.string() + "*0*"; }
    void MakeTemplate(const std::string& folder)
    {
        fs::create_directory(dir.Path() / "Data" / folder);
        Touch(dir.Path() / "Data" / folder / "Speed.kvt");
    }

    testing::TempDir dir;
    Form form;
    Lines patternSwitches;
    Lists lists{form, services, [this](bool on) { patternSwitches.push_back(on ? "on" : "off"); }};
};

TEST_F(ListsTest, FirstStartBuildsDefaultListIndexAndRegistry)
{
    Touch(Sound("Вальс.mp3"));
    Touch(Sound("Анданте.mp3"));
    Put("MyLists", {"Мой"});
    Put("Kalvotune", {"*/z/c.mp3*c1*", "*/A/a.mp3*a1*"});
    MakeTemplate("Вальс");

    lists.LoadStartLists();

    // The file keeps the folder's order; the box shows it sorted by title.
    Lines expected;
    for (const auto& entry : fs::directory_iterator{dir.Path() / "Sound"})
        expected.push_back(Line(entry.path()));
    EXPECT_EQ(Read("Калейдоскоп"), expected);
    EXPECT_EQ(form.CurrentListBox.Items(),
        (Lines{MakeListItem(Line(Sound("Анданте.mp3"))), MakeListItem(Line(Sound("Вальс.mp3")))}));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Мой"}));

    // The shipped template moved to a numbered folder; its line is sorted in with the old ones.
    const Lines registry = Read("Kalvotune");
    ASSERT_EQ(registry.size(), 3u);
    EXPECT_EQ(registry[0], "*/A/a.mp3*a1*");
    EXPECT_EQ(LinePath(registry[1]), Sound("Вальс.mp3").string());
    EXPECT_EQ(registry[2], "*/z/c.mp3*c1*");
    const std::string folder = LineTemplate(registry[1]);
    EXPECT_TRUE(folder.starts_with("Вальс") && folder != "Вальс");
    EXPECT_FALSE(fs::exists(dir.Path() / "Data" / "Вальс"));
    EXPECT_TRUE(fs::exists(dir.Path() / "Data" / folder / "Speed.kvt"));

    EXPECT_EQ(form.CurrentListName, "Калейдоскоп");
    EXPECT_EQ(form.caption, " Калейдоскоп");
    EXPECT_TRUE(form.MyListsBox.visible); // the panel of the user's lists is open
    EXPECT_FALSE(form.CurrentListBox.visible);
    EXPECT_EQ(form.MyListsBox.Items(), Read("MyLists"));
    EXPECT_EQ(patternSwitches, Lines{"off"});
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ListsTest, SecondStartRegistersNothingAndLeavesRegistryUntouched)
{
    Touch(Sound("Вальс.mp3"));
    Put("MyLists", {});
    MakeTemplate("Вальс");
    lists.LoadStartLists();
    const Lines registry = Read("Kalvotune");
    ASSERT_EQ(registry.size(), 1u);
    const auto stamp = fs::last_write_time(File("Kalvotune")) - std::chrono::hours{1};
    // The default list and the index hold Cyrillic names: as they are, they are not
    // written (and flushed to disk) again either.
    for (const char* name : {"Kalvotune", "Калейдоскоп", "MyLists"})
        fs::last_write_time(File(name), stamp);

    Form second;
    second.ProgramDir = dir.Path();
    Lists{second, services}.LoadStartLists();
    EXPECT_EQ(Read("Kalvotune"), registry);
    for (const char* name : {"Kalvotune", "Калейдоскоп", "MyLists"})
        EXPECT_EQ(fs::last_write_time(File(name)), stamp) << name;
}

TEST_F(ListsTest, EmptySoundFolderGivesEmptyListsAndRegistry)
{
    Put("MyLists", {"Kalvotune", "Калейдоскоп"});
    lists.LoadStartLists();
    EXPECT_EQ(Read("Калейдоскоп"), Lines{});
    EXPECT_EQ(Read("Kalvotune"), Lines{});
    EXPECT_EQ(form.CurrentListBox.Count(), 0);

    // A program folder without its lists folder gets one back, with the lists in it.
    fs::remove_all(dir.Path() / "Lists");
    lists.LoadStartLists();
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп"}));
    EXPECT_EQ(Read("Kalvotune"), Lines{});
    EXPECT_EQ(Read("Калейдоскоп"), Lines{});
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ListsTest, IndexRepairKeepsExistingOrder)
{
    Put("MyLists", {"A", "Калейдоскоп", "B"});
    lists.LoadStartLists();
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "A", "Калейдоскоп", "B"}));
    Put("MyLists", {"A", "Kalvotune"});
    lists.LoadStartLists();
    EXPECT_EQ(Read("MyLists"), (Lines{"A", "Калейдоскоп", "Kalvotune"}));
}

TEST_F(ListsTest, MissingIndexIsMadeAnewKeepingTheHistory)
{
    Touch(Sound("Вальс.mp3"));
    Put("Былое", {Line("/m/x.mp3")});
    lists.LoadStartLists();
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Былое"}));
    EXPECT_EQ(form.CurrentListBox.Count(), 1);
    EXPECT_TRUE(form.MyListsBox.visible);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ListsTest, UnreadableIndexIsNeverRebuiltOverTheUsersLists)
{
    Touch(Sound("Вальс.mp3"));
    Put("MyLists", {"Мой", "Другой"});
    FailReadsOf(File("MyLists"));
    lists.LoadStartLists();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_NE(dialogs.errors[0].find("MyLists"), std::string::npos);
    // The panel would only repeat the error: the default list shows instead.
    EXPECT_FALSE(form.MyListsBox.visible);
    EXPECT_TRUE(form.CurrentListBox.visible);
    EXPECT_EQ(form.CurrentListBox.Count(), 1);
    EXPECT_EQ(form.CurrentListName, "Калейдоскоп");

    // "My" shows the error box, not the messages for a missing index.
    lists.ToggleMyLists();
    EXPECT_EQ(dialogs.errors.size(), 2u);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(form.MyListsBox.visible);
    FailReadsOf(std::nullopt);
    EXPECT_EQ(Read("MyLists"), (Lines{"Мой", "Другой"}));
}

TEST_F(ListsTest, UnsafeSoundNamesAreLeftOut)
{
    Touch(Sound("good.mp3"));
    Touch(Sound("a*b.mp3"));
    Touch(Sound("c\nd.mp3"));
    // "...mp3" has the title "..": Data/.. is the program folder, which must survive.
    Touch(Sound("...mp3"));
    Put("MyLists", {});
    lists.LoadStartLists();
    Lines kept = Read("Калейдоскоп");
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (Lines{Line(Sound("...mp3")), Line(Sound("good.mp3"))}));
    ASSERT_EQ(dialogs.messages.size(), 1u); // one message names both refused entries
    EXPECT_NE(dialogs.messages[0].find("a*b.mp3"), std::string::npos);
    EXPECT_NE(dialogs.messages[0].find("c\nd.mp3"), std::string::npos);
    EXPECT_EQ(Read("Kalvotune"), Lines{});
    EXPECT_TRUE(fs::is_empty(dir.Path() / "Data"));
}

TEST_F(ListsTest, HistoryNewestFirstWithoutDuplicates)
{
    Put("MyLists", {"Kalvotune", "Калейдоскоп"});
    form.CurrentListName = "Мой";
    for (const char* track : {"/m/a.mp3", "/m/b.mp3", "/m/a.mp3"}) {
        form.CurrentTrackName = track;
        lists.AddToHistory();
    }
    EXPECT_EQ(Read("Былое"), (Lines{"*/m/a.mp3*0*", "*/m/b.mp3*0*"}));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Былое", "Калейдоскоп"})); // inserted once

    form.CurrentListName = "Былое"; // playing from the history list does not reorder it
    form.CurrentTrackName = "/m/b.mp3";
    lists.AddToHistory();
    form.CurrentListName = "Мой";
    form.CurrentTrackName = "/m/a*b.mp3"; // cannot be stored: refused with a message
    lists.AddToHistory();
    EXPECT_EQ(Read("Былое"), (Lines{"*/m/a.mp3*0*", "*/m/b.mp3*0*"}));
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(ListsTest, HistoryIsBoundedAt1001Lines)
{
    Put("MyLists", {"Kalvotune", "Былое"});
    Lines old;
    for (int i = 0; i < 1005; ++i)
        old.push_back("*/m/" + std::to_string(i) + ".mp3*0*");
    Put("Былое", old);
    form.CurrentTrackName = "/m/new.mp3";
    lists.AddToHistory();
    Lines history = Read("Былое");
    ASSERT_EQ(history.size(), 1001u);
    EXPECT_EQ(history.front(), "*/m/new.mp3*0*");
    EXPECT_EQ(history.back(), "*/m/999.mp3*0*");

    form.CurrentTrackName = "/m/500.mp3";
    lists.AddToHistory();
    history = Read("Былое");
    ASSERT_EQ(history.size(), 1001u);
    EXPECT_EQ(history[0], "*/m/500.mp3*0*");
    EXPECT_EQ(std::count(history.begin(), history.end(), "*/m/500.mp3*0*"), 1);
    EXPECT_EQ(history.back(), "*/m/999.mp3*0*");
}

TEST_F(ListsTest, FailedHistoryWriteIsReportedAndKeepsTheFile)
{
    Put("MyLists", {"Kalvotune", "Былое"});
    Put("Былое", {"*/m/a.mp3*0*"});
    form.CurrentTrackName = "/m/b.mp3";
    FailNextWriteAfter(1); // the only write here is "Былое"
    lists.AddToHistory();
    EXPECT_EQ(Read("Былое"), Lines{"*/m/a.mp3*0*"});
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].starts_with("Не удалось записать"));
}

TEST_F(ListsTest, LookUpTakesFirstExactMatch)
{
    Put("Kalvotune", {"*/m/A.mp3*A1*", "*/m/a.mp3*a1*", "*/m/a.mp3*a2*"});
    EXPECT_EQ(lists.LookUpTemplateName("/m/a.mp3"), "a1");
    EXPECT_EQ(lists.LookUpTemplateName("/m/A.mp3"), "A1");
    EXPECT_EQ(lists.LookUpTemplateName("/m/a.mp"), "0");
    EXPECT_TRUE(dialogs.errors.empty());
    fs::remove(File("Kalvotune"));
    EXPECT_EQ(lists.LookUpTemplateName("/m/a.mp3"), "0");
    EXPECT_EQ(dialogs.errors.size(), 1u);
}

TEST_F(ListsTest, SaveChangeListWritesSortedLinesAndIndexesNewListOnce)
{
    Put("MyLists", {"Kalvotune"});
    form.CurrentListBox.sorted = false;
    for (const char* line : {"*/m/b.mp3*0*", "5*/m/A.mp3*0*", "*/m/c.mp3*0*"})
        form.CurrentListBox.Add(MakeListItem(line));
    form.CurrentListName = "Мой";
    lists.SaveIntoCurrentList();
    EXPECT_EQ(Read("Мой"), (Lines{"*/m/A.mp3*0*", "*/m/b.mp3*0*", "*/m/c.mp3*0*"}));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Мой"}));

    form.CurrentListBox.Delete(0);
    lists.SaveIntoCurrentList();
    EXPECT_EQ(Read("Мой"), (Lines{"*/m/A.mp3*0*", "*/m/c.mp3*0*"}));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Мой"}));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ListsTest, SaveChangeListWritesNothingWrong)
{
    Put("MyLists", {"Kalvotune"});
    Put("Kalvotune", {"*/m/a.mp3*a1*"});
    form.CurrentListBox.Add(MakeListItem("*/m/a.mp3*a1*"));
    // The registry's template fields, the index, a list without a file and names that are
    // no plain file names are never written.
    for (const char* name : {"Kalvotune", "MyLists", "0", "", "..", "../escaped"}) {
        form.CurrentListName = name;
        lists.SaveIntoCurrentList();
    }
    EXPECT_EQ(Read("Kalvotune"), Lines{"*/m/a.mp3*a1*"});
    EXPECT_EQ(Read("MyLists"), Lines{"Kalvotune"});
    EXPECT_FALSE(fs::exists(File("0")));
    EXPECT_FALSE(fs::exists(dir.Path() / "escaped"));
    // The refused names are said so; the registry and "0" are silently not lists to write.
    EXPECT_EQ(dialogs.messages.size(), 4u);
    dialogs.messages.clear();
    // A failed write is reported in an error box and the name does not enter the index.
    form.CurrentListName = "Новый";
    FailNextWriteAfter(0);
    lists.SaveIntoCurrentList();
    EXPECT_FALSE(fs::exists(File("Новый")));
    EXPECT_EQ(Read("MyLists"), Lines{"Kalvotune"});
    EXPECT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ListsTest, PanelOpensAndCloses)
{
    form.SaveIntoListItem.enabled = false;
    lists.ToggleMyLists();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0], "Кто-то стащил наш список <MyLists>");
    EXPECT_FALSE(form.MyListsBox.visible);
    EXPECT_FALSE(form.SaveIntoListItem.enabled);

    Put("MyLists", {"Kalvotune", "Мой"});
    lists.ToggleMyLists();
    EXPECT_TRUE(form.MyListsBox.visible);
    EXPECT_FALSE(form.CurrentListBox.visible);
    EXPECT_TRUE(form.SaveIntoListItem.enabled);
    EXPECT_EQ(form.MyListsBox.Items(), (Lines{"Kalvotune", "Мой"}));
    lists.ToggleMyLists();
    EXPECT_FALSE(form.MyListsBox.visible);
    EXPECT_TRUE(form.CurrentListBox.visible);
    EXPECT_EQ(patternSwitches, Lines{"off"});
}

} // namespace
} // namespace kalvotune::playlists
