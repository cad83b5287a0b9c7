#include "playlists/Lists.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "support/FakeAudioDevice.hpp"
#include "support/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace kalvotune::playlists {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class ListsTest : public ::testing::Test {
protected:
    ListsTest()
    {
        form.ProgramDir = dir.Path();
        for (const char* folder : {"Lists", "Sound", "Data"})
            fs::create_directory(dir.Path() / folder);
    }

    fs::path Sound(const std::string& name) const { return dir.Path() / "Sound" / name; }
    fs::path ListFile(std::string_view name) const { return dir.Path() / "Lists" / name; }
    Lines Read(std::string_view name) const { return ReadListFile(ListFile(name)).value_or(Lines{"<missing>"}); }
    void Put(std::string_view name, const Lines& lines) { ASSERT_TRUE(WriteListFile(ListFile(name), lines).ok); }
    static void Touch(const fs::path& file) { std::ofstream{file} << "x"; }
    std::string Line(const fs::path& track, const std::string& field = "0") const
    {
        return "*" + track.string() + "*" + field + "*";
    }
    void MakeTemplate(const std::string& folder)
    {
        fs::create_directory(dir.Path() / "Data" / folder);
        for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
            Touch(dir.Path() / "Data" / folder / file);
    }

    testing::TempDir dir;
    testing::FakeDialogs dialogs;
    testing::FakeClock clock;
    Random random{clock};
    testing::FakeAudioDevice device;
    testing::FakeScreen screen;
    testing::FakeSounds sounds;
    testing::FakeUserActivity activity;
    Services services{dialogs, clock, random, device, screen, sounds, activity};
    Form form;
    Lines patternSwitches;
    Lists lists{form, services, [this](bool on) { patternSwitches.push_back(on ? "on" : "off"); }};
};

TEST_F(ListsTest, FirstStartBuildsDefaultListIndexAndRegistry)
{
    Touch(Sound("Вальс.mp3"));
    Touch(Sound("Анданте.mp3"));
    Put("MyLists", {"Мой"});
    MakeTemplate("Вальс");

    lists.LoadStartLists();

    // The default list keeps the folder's order; the box shows it sorted by title.
    Lines expected;
    for (const auto& entry : fs::directory_iterator{dir.Path() / "Sound"})
        expected.push_back(Line(entry.path()));
    EXPECT_EQ(Read("Калейдоскоп"), expected);
    ASSERT_EQ(form.ListBox1.Count(), 2);
    EXPECT_EQ(form.ListBox1.Item(0), MakeListItem(Line(Sound("Анданте.mp3"))));
    EXPECT_EQ(form.ListBox1.Item(1), MakeListItem(Line(Sound("Вальс.mp3"))));

    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Мой"}));

    // The shipped template moved to a numbered folder and was registered.
    const Lines registry = Read("Kalvotune");
    ASSERT_EQ(registry.size(), 1u);
    EXPECT_EQ(LinePath(registry[0]), Sound("Вальс.mp3").string());
    const std::string folder = LineTemplate(registry[0]);
    EXPECT_TRUE(folder.starts_with("Вальс") && folder.size() > std::string{"Вальс"}.size());
    EXPECT_FALSE(fs::exists(dir.Path() / "Data" / "Вальс"));
    EXPECT_TRUE(fs::exists(dir.Path() / "Data" / folder / "Speed.kvt"));

    EXPECT_EQ(form.CurrentListName, "Калейдоскоп");
    EXPECT_EQ(form.caption, " Калейдоскоп");
    // The panel of the user's lists is open.
    EXPECT_TRUE(form.ListBox3.visible);
    EXPECT_FALSE(form.ListBox1.visible);
    EXPECT_EQ(form.ListBox3.Items(), Read("MyLists"));
    EXPECT_EQ(patternSwitches, Lines{"off"});
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ListsTest, SecondStartLeavesRegistryUntouched)
{
    Touch(Sound("Вальс.mp3"));
    Put("MyLists", {});
    MakeTemplate("Вальс");
    lists.LoadStartLists();
    const auto stamp = fs::last_write_time(ListFile("Kalvotune"));
    const Lines registry = Read("Kalvotune");

    Form second;
    second.ProgramDir = dir.Path();
    Lists again{second, services};
    fs::last_write_time(ListFile("Kalvotune"), stamp - std::chrono::hours{1});
    again.LoadStartLists();
    EXPECT_EQ(Read("Kalvotune"), registry);
    EXPECT_EQ(fs::last_write_time(ListFile("Kalvotune")), stamp - std::chrono::hours{1});
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп"}));
}

TEST_F(ListsTest, NewRegistrationsAreSortedWithTheOldLines)
{
    Touch(Sound("b.mp3"));
    Put("MyLists", {"Kalvotune"});
    Put("Kalvotune", {"*/z/c.mp3*c1*", "*/A/a.mp3*a1*"});
    MakeTemplate("b");
    lists.LoadStartLists();
    const Lines registry = Read("Kalvotune");
    ASSERT_EQ(registry.size(), 3u);
    EXPECT_EQ(registry[0], "*/A/a.mp3*a1*");
    EXPECT_EQ(LinePath(registry[1]), Sound("b.mp3").string()); // a temp path under /tmp
    EXPECT_EQ(registry[2], "*/z/c.mp3*c1*");
}

TEST_F(ListsTest, EmptySoundFolderGivesEmptyDefaultList)
{
    Put("MyLists", {"Kalvotune", "Калейдоскоп"});
    lists.LoadStartLists();
    EXPECT_EQ(Read("Калейдоскоп"), Lines{});
    EXPECT_EQ(form.ListBox1.Count(), 0);
    EXPECT_EQ(Read("Kalvotune"), Lines{}); // created empty
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
    EXPECT_EQ(form.ListBox1.Count(), 1);
    EXPECT_TRUE(form.ListBox3.visible);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ListsTest, SoundEntriesALineCannotCarryAreLeftOutWithOneMessage)
{
    Touch(Sound("good.mp3"));
    Touch(Sound("a*b.mp3"));
    Touch(Sound("c*d.mp3"));
    Put("MyLists", {});
    lists.LoadStartLists();
    EXPECT_EQ(Read("Калейдоскоп"), Lines{Line(Sound("good.mp3"))});
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("a*b.mp3"), std::string::npos);
    EXPECT_NE(dialogs.messages[0].find("c*d.mp3"), std::string::npos);
}

TEST_F(ListsTest, TrackNamedLikeParentFolderNeverReachesOutsideData)
{
    // "...mp3" has the title "..": Data/.. is the program folder itself.
    Touch(Sound("...mp3"));
    Touch(Sound("..mp3"));
    Put("MyLists", {});
    lists.LoadStartLists();
    EXPECT_EQ(Read("Kalvotune"), Lines{});
    EXPECT_TRUE(fs::exists(dir.Path() / "Lists" / "MyLists"));
    EXPECT_TRUE(fs::is_empty(dir.Path() / "Data"));
}

TEST_F(ListsTest, HistoryCreatedOnceNewestFirstWithoutDuplicates)
{
    Put("MyLists", {"Kalvotune", "Калейдоскоп"});
    form.CurrentListName = "Мой";
    form.CurrentTrackName = "/m/a.mp3";
    lists.AddToHistory();
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Былое", "Калейдоскоп"}));
    form.CurrentTrackName = "/m/b.mp3";
    lists.AddToHistory();
    form.CurrentTrackName = "/m/a.mp3";
    lists.AddToHistory();
    EXPECT_EQ(Read("Былое"), (Lines{"*/m/a.mp3*0*", "*/m/b.mp3*0*"}));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Былое", "Калейдоскоп"}));

    // Playing from the history list does not reorder it.
    form.CurrentListName = "Былое";
    form.CurrentTrackName = "/m/b.mp3";
    lists.AddToHistory();
    EXPECT_EQ(Read("Былое"), (Lines{"*/m/a.mp3*0*", "*/m/b.mp3*0*"}));
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

    // A repeat beyond the bound goes with the bound; one inside it moves to the top.
    form.CurrentTrackName = "/m/500.mp3";
    lists.AddToHistory();
    history = Read("Былое");
    ASSERT_EQ(history.size(), 1001u);
    EXPECT_EQ(history[0], "*/m/500.mp3*0*");
    EXPECT_EQ(history[1], "*/m/new.mp3*0*");
    EXPECT_EQ(std::count(history.begin(), history.end(), "*/m/500.mp3*0*"), 1);
    EXPECT_EQ(history.back(), "*/m/999.mp3*0*");
}

TEST_F(ListsTest, HistoryWriteFailureIsReportedAndKeepsTheFile)
{
    Put("MyLists", {"Kalvotune", "Былое"});
    Put("Былое", {"*/m/a.mp3*0*"});
    form.CurrentTrackName = "/m/b.mp3";
    FailNextWriteAfter(1); // the only write here is "Былое"
    lists.AddToHistory();
    EXPECT_EQ(Read("Былое"), Lines{"*/m/a.mp3*0*"});
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find("Не удалось записать"), std::string::npos);
}

TEST_F(ListsTest, HistoryRefusesTrackWithStar)
{
    Put("MyLists", {"Kalvotune"});
    form.CurrentTrackName = "/m/a*b.mp3";
    lists.AddToHistory();
    EXPECT_FALSE(fs::exists(ListFile("Былое")));
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(ListsTest, LookUpTakesFirstExactMatch)
{
    Put("Kalvotune", {"*/m/A.mp3*A1*", "*/m/a.mp3*a1*", "*/m/a.mp3*a2*"});
    EXPECT_EQ(lists.LookUpTemplateName("/m/a.mp3"), "a1");
    EXPECT_EQ(lists.LookUpTemplateName("/m/A.mp3"), "A1");
    EXPECT_EQ(lists.LookUpTemplateName("/m/b.mp3"), "0");
    EXPECT_EQ(lists.LookUpTemplateName("/m/a.mp"), "0");
    EXPECT_TRUE(dialogs.errors.empty());

    fs::remove(ListFile("Kalvotune"));
    EXPECT_EQ(lists.LookUpTemplateName("/m/a.mp3"), "0");
    EXPECT_EQ(dialogs.errors.size(), 1u);
}

TEST_F(ListsTest, SaveChangeListWritesSortedLinesAndAppendsNewName)
{
    Put("MyLists", {"Kalvotune", "Калейдоскоп"});
    form.ListBox1.sorted = false;
    form.ListBox1.Add(MakeListItem("*/m/b.mp3*0*"));
    form.ListBox1.Add(MakeListItem("5*/m/A.mp3*0*"));
    form.ListBox1.Add(MakeListItem("*/m/c.mp3*0*"));
    form.CurrentListName = "Мой";
    const std::string caption = form.caption;

    lists.SaveChangeListClick();
    EXPECT_EQ(Read("Мой"), (Lines{"*/m/A.mp3*0*", "*/m/b.mp3*0*", "*/m/c.mp3*0*"}));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Мой"}));
    EXPECT_EQ(form.caption, caption);

    // The file now exists: a second save does not add the name again.
    form.ListBox1.Delete(0);
    lists.SaveChangeListClick();
    EXPECT_EQ(Read("Мой"), (Lines{"*/m/A.mp3*0*", "*/m/c.mp3*0*"}));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Мой"}));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ListsTest, SaveChangeListFailureKeepsFileAndIndex)
{
    Put("MyLists", {"Kalvotune"});
    form.ListBox1.Add(MakeListItem("*/m/b.mp3*0*"));
    form.CurrentListName = "Новый";
    FailNextWriteAfter(0);
    lists.SaveChangeListClick();
    EXPECT_FALSE(fs::exists(ListFile("Новый")));
    EXPECT_EQ(Read("MyLists"), Lines{"Kalvotune"});
    EXPECT_EQ(dialogs.messages.size(), 1u);

    form.CurrentListName = "";
    lists.SaveChangeListClick();
    EXPECT_EQ(Read("MyLists"), Lines{"Kalvotune"});
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST_F(ListsTest, SaveChangeListLeavesRegistryAndFilelessListAlone)
{
    Put("MyLists", {"Kalvotune"});
    Put("Kalvotune", {"*/m/a.mp3*a1*"});
    form.ListBox1.Add(MakeListItem("*/m/a.mp3*a1*"));
    form.CurrentListName = "Kalvotune";
    lists.SaveChangeListClick();
    EXPECT_EQ(Read("Kalvotune"), Lines{"*/m/a.mp3*a1*"});

    form.CurrentListName = "0";
    lists.SaveChangeListClick();
    EXPECT_FALSE(fs::exists(ListFile("0")));
    EXPECT_EQ(Read("MyLists"), Lines{"Kalvotune"});
}

TEST_F(ListsTest, PanelOpensAndCloses)
{
    form.SaveChangeList.enabled = false;
    lists.SpeedButton11Click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0], "Кто-то стащил наш список <MyLists>");
    EXPECT_FALSE(form.ListBox3.visible);
    EXPECT_TRUE(form.ListBox1.visible);
    EXPECT_FALSE(form.SaveChangeList.enabled);

    Put("MyLists", {"Kalvotune", "Мой"});
    lists.SpeedButton11Click();
    EXPECT_TRUE(form.ListBox3.visible);
    EXPECT_FALSE(form.ListBox1.visible);
    EXPECT_TRUE(form.SaveChangeList.enabled);
    EXPECT_EQ(form.ListBox3.Items(), (Lines{"Kalvotune", "Мой"}));
    EXPECT_EQ(patternSwitches, Lines{"off"});

    lists.SpeedButton11Click();
    EXPECT_FALSE(form.ListBox3.visible);
    EXPECT_TRUE(form.ListBox1.visible);
    EXPECT_EQ(patternSwitches, Lines{"off"});
}

} // namespace
} // namespace kalvotune::playlists
