#include "ListCommandsFixture.hpp"

#include "core/FileIO.hpp"
#include "support/WriteFaults.hpp"

namespace kalvotune::playlists {
namespace {

namespace fs = std::filesystem;

class MyListsPanel : public ListCommands {
protected:
    MyListsPanel()
    {
        Put("MyLists", {"Kalvotune", "Калейдоскоп", "Былое", "A", "Пусто", "B"});
        Put("A", {"*/m/a2.mp3*0*", "*/m/a1.mp3*0*"});
        Put("B", {"*/m/B3.mp3*0*", "5*/m/b1.mp3*0*"});
        Put("Пусто", {});
        Put("Былое", {"*/m/h.mp3*0*"});
        Show({"*/m/old.mp3*0*"});
        form.CurrentListName = "Старый";
        form.CaptionPrefix = "Старый";
        lists.ToggleMyLists(); // the panel shows, the current list hides
    }
};

TEST_F(MyListsPanel, TwoListsOpenInPanelOrderAndSaveIntoTheLast)
{
    form.SaveIntoListItem.enabled = false;
    SelectInPanel({"B", "A"});
    myLists.OpenSelectedLists();
    EXPECT_EQ(Items(form.CurrentListBox),
        (Lines{MakeListItem("*/m/a2.mp3*0*"), MakeListItem("*/m/a1.mp3*0*"), MakeListItem("*/m/B3.mp3*0*"),
            MakeListItem("5*/m/b1.mp3*0*")}));
    EXPECT_EQ(SelectedIndices(form.CurrentListBox).size(), 1u);
    EXPECT_EQ(form.MyListsBox.SelectedCount(), 0);
    EXPECT_EQ(form.CurrentListName, "B");
    EXPECT_EQ(form.CaptionPrefix, " ....+ B");
    EXPECT_EQ(form.caption, " ....+ B");
    EXPECT_FALSE(form.MyListsBox.visible);
    EXPECT_TRUE(form.CurrentListBox.visible);
    EXPECT_TRUE(form.SaveIntoListItem.enabled);
    EXPECT_FALSE(form.BuildButton.enabled);
    EXPECT_EQ(form.TrackIndex, 0);
    EXPECT_EQ(player.calls, (Lines{"list", "buttons"}));

    // "В текущий список" writes everything into B, sorted by path; reopening B shows that order.
    lists.SaveIntoCurrentList();
    const Lines sorted{"*/m/a1.mp3*0*", "*/m/a2.mp3*0*", "*/m/b1.mp3*0*", "*/m/B3.mp3*0*"};
    EXPECT_EQ(Read("B"), sorted);
    EXPECT_EQ(Read("A"), (Lines{"*/m/a2.mp3*0*", "*/m/a1.mp3*0*"}));
    lists.ToggleMyLists();
    SelectInPanel({"B"});
    PlayTrack(Track("Rock", "r.mp3"));
    myLists.OpenSelectedLists();
    ASSERT_EQ(form.CurrentListBox.Count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(ItemToLine(form.CurrentListBox.Item(i)), sorted[static_cast<std::size_t>(i)]);
    EXPECT_EQ(form.caption, "B     r");
}

TEST_F(MyListsPanel, EmptyAndMissingListsAndAnEmptySelection)
{
    myLists.OpenSelectedLists();
    EXPECT_EQ(dialogs.messages, Lines{" Пожалуйста, выделите один или несколько Ваших списков."});
    EXPECT_TRUE(form.MyListsBox.visible);

    // An empty list file opens as an empty list, without a selection or a message.
    SelectInPanel({"Пусто"});
    myLists.OpenSelectedLists();
    EXPECT_EQ(form.CurrentListBox.Count(), 0);
    EXPECT_EQ(form.CurrentListName, "Пусто");
    EXPECT_EQ(dialogs.messages.size(), 1u);

    // A missing list is named; the others still open.
    lists.ToggleMyLists();
    fs::remove(File("A"));
    SelectInPanel({"A", "B"});
    myLists.OpenSelectedLists();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1],
        "Не могу найти список < A >. Пожалуйста, не давайте спискам имена, запрещенные Windows. Позднее удалите "
        "неверную запись используя команду /Удалить список/ в этом же меню.");
    EXPECT_EQ(form.CurrentListBox.Count(), 2);
    EXPECT_EQ(form.CaptionPrefix, "B");
}

TEST_F(MyListsPanel, WhenNothingOpensTheCurrentListAndItsFileStay)
{
    Put("Старый", {"*/m/old.mp3*0*"});
    fs::remove(File("A"));
    Put("B", {"*/m/b.mp3*0*"});
    FailReadsOf(File("B"));
    SelectInPanel({"A", "B"});
    myLists.OpenSelectedLists();
    EXPECT_EQ(dialogs.messages.size(), 1u); // A is missing
    ASSERT_EQ(dialogs.errors.size(), 1u); // B cannot be read
    EXPECT_NE(dialogs.errors[0].find("B"), std::string::npos);
    EXPECT_EQ(Items(form.CurrentListBox), Lines{MakeListItem("*/m/old.mp3*0*")});
    EXPECT_EQ(form.CurrentListName, "Старый");
    lists.SaveIntoCurrentList();
    EXPECT_EQ(Read("Старый"), Lines{"*/m/old.mp3*0*"});
}

TEST_F(MyListsPanel, SavingAsNewListProposesTheCaptionUntilTheNameIsFree)
{
    form.caption = " Калейдоскоп";
    form.SaveIntoListItem.enabled = false;
    Show({"*/m/b.mp3*0*", "*/m/a.mp3*0*"});
    dialogs.inputs = {"B", "x|y", " Калейдоскоп"};
    myLists.SaveAsNewList();
    EXPECT_EQ(dialogs.proposals, (Lines{" Калейдоскоп", " Калейдоскоп", " Калейдоскоп"}));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(
        dialogs.messages[0], "Список <B> у нас есть.  Пожалуйста, измените имя или предварительно удалите старый.");
    // The leading blank makes a list of its own, in the order of the box.
    EXPECT_EQ(Read(" Калейдоскоп"), (Lines{"*/m/b.mp3*0*", "*/m/a.mp3*0*"}));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Былое", "A", "Пусто", "B", " Калейдоскоп"}));
    EXPECT_EQ(Items(form.MyListsBox), Read("MyLists"));
    EXPECT_EQ(form.CurrentListName, " Калейдоскоп");
    EXPECT_EQ(form.CaptionPrefix, " Калейдоскоп");
    EXPECT_EQ(form.caption, " Калейдоскоп");
    EXPECT_TRUE(form.SaveIntoListItem.enabled);

    // Cancelling changes nothing.
    form.caption = "Старый     r";
    myLists.SaveAsNewList();
    EXPECT_EQ(form.CurrentListName, " Калейдоскоп");
    EXPECT_EQ(form.caption, "Старый     r");
    EXPECT_EQ(Read("MyLists").size(), 7u);
}

TEST_F(MyListsPanel, ProgramFilesAndFailedWritesNeverBecomeTheCurrentList)
{
    const Lines index = Read("MyLists");
    dialogs.inputs = {"", ".", "..", "MyLists", "Kalvotune", "TempFile", "Новый"};
    FailNextWriteAfter(0);
    myLists.SaveAsNewList();
    EXPECT_EQ(dialogs.messages.size(), 6u);
    EXPECT_EQ(dialogs.messages[3],
        "Список <MyLists> у нас есть.  Пожалуйста, измените имя или предварительно удалите старый.");
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_TRUE(dialogs.errors[0].starts_with("Не удалось записать файл"));
    EXPECT_FALSE(fs::exists(File("Новый")));
    EXPECT_FALSE(fs::exists(File("TempFile")));
    EXPECT_EQ(Read("MyLists"), index);
    EXPECT_EQ(Read("Kalvotune"), Lines{});
    EXPECT_EQ(form.CurrentListName, "Старый");
    EXPECT_EQ(form.CaptionPrefix, "Старый");
}

TEST_F(MyListsPanel, DeletingSkipsTheRegistryAndAsksOnlyForTheHistory)
{
    myLists.DeleteSelectedLists();
    EXPECT_EQ(dialogs.messages, Lines{" Что удалить? Пожалуйста, выделите один или несколько Ваших списков."});

    SelectInPanel({"Kalvotune", "Былое", "A"});
    dialogs.answers = {false};
    myLists.DeleteSelectedLists();
    EXPECT_EQ(dialogs.questions, Lines{"Удаление Ваших списков| Вы хотите забыть былое ?!"});
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Былое", "Пусто", "B"}));
    EXPECT_EQ(Items(form.MyListsBox), Read("MyLists"));
    EXPECT_FALSE(fs::exists(File("A")));
    EXPECT_TRUE(fs::exists(File("Былое")));
    EXPECT_TRUE(fs::exists(File("Kalvotune")));

    dialogs.answers = {true};
    SelectInPanel({"Kalvotune", "Былое"});
    myLists.DeleteSelectedLists();
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Пусто", "B"}));
    EXPECT_FALSE(fs::exists(File("Былое")));
    EXPECT_TRUE(fs::exists(File("Kalvotune")));
}

TEST_F(MyListsPanel, HandWrittenIndexNamesNeverReachOutsideTheListsFolder)
{
    std::ofstream{dir.Path() / "outside"} << "keep";
    Put("MyLists", {"Kalvotune", "../outside", (dir.Path() / "outside").string()});
    lists.ToggleMyLists();
    lists.ToggleMyLists();
    SelectInPanel({"../outside", (dir.Path() / "outside").string()});
    myLists.OpenSelectedLists();
    EXPECT_EQ(dialogs.messages.size(), 2u); // both are no lists
    EXPECT_EQ(form.CurrentListName, "Старый");
    SelectInPanel({"../outside", (dir.Path() / "outside").string()});
    myLists.DeleteSelectedLists();
    EXPECT_TRUE(fs::exists(dir.Path() / "outside"));
    EXPECT_EQ(Read("MyLists"), Lines{"Kalvotune"});
}

} // namespace
} // namespace kalvotune::playlists
