#include "ListCommandsFixture.hpp"

#include "core/FileIO.hpp"
#include "support/WriteFaults.hpp"

namespace kalvotune::playlists {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWriteNew{"Записать в новый?"};

TEST_F(ListCommands, OpeningOneTrackPlaysItAtOnceAndSeveralSelectOneAtRandom)
{
    form.CurrentListBox.sorted = true;
    form.CurrentListBox.visible = false;
    form.ListExhausted = true;
    const fs::path one = Track("Rock", "Один.mp3");
    dialogs.openedFiles = {{one}};
    currentList.OpenOtherMusic();
    EXPECT_EQ(Items(form.CurrentListBox), Lines{MakeListItem(Line(one))});
    EXPECT_EQ(SelectedIndices(form.CurrentListBox), std::vector<int>{0});
    EXPECT_EQ(player.calls, (Lines{"buttons", "list", "play"}));
    EXPECT_EQ(form.CurrentListName, "0");
    EXPECT_EQ(form.CaptionPrefix, "Rock");
    EXPECT_EQ(form.caption, "Rock");
    EXPECT_FALSE(form.SaveIntoListItem.enabled);
    EXPECT_FALSE(form.BuildButton.enabled);
    EXPECT_FALSE(form.CurrentListBox.sorted);
    EXPECT_FALSE(form.ListExhausted);

    // Several tracks keep the dialog's order; one is selected and nothing plays.
    PlayTrack(one);
    player.calls.clear();
    const Lines names{"c.mp3", "a.MP3", "b.wav"};
    std::vector<fs::path> files;
    for (const std::string& name : names)
        files.push_back(Track("Jazz", name));
    dialogs.openedFiles = {files};
    currentList.OpenOtherMusic();
    ASSERT_EQ(form.CurrentListBox.Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(LinePath(form.CurrentListBox.Item(i)), files[static_cast<std::size_t>(i)].string());
    EXPECT_EQ(SelectedIndices(form.CurrentListBox).size(), 1u);
    EXPECT_EQ(player.calls, Lines{"buttons"});
    EXPECT_EQ(form.caption, "Jazz      Один"); // six blanks while a track plays
    EXPECT_EQ(form.PathsBox.Count(), 3);
}

TEST_F(ListCommands, CancelledDialogOrMissingFileChangesNothing)
{
    Show({"*/m/a.mp3*0*"});
    form.CaptionPrefix = "Мой";
    dialogs.openedFiles = {{}, {Track("Rock", "x.mp3"), dir.Path() / "Rock" / "gone.mp3"}};
    currentList.OpenOtherMusic();
    currentList.AddMoreFiles();
    EXPECT_EQ(Items(form.CurrentListBox), Lines{MakeListItem("*/m/a.mp3*0*")});
    EXPECT_EQ(form.CaptionPrefix, "Мой");
    EXPECT_EQ(form.CurrentListName, "Калейдоскоп");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].starts_with("   Увы...   Возможно Вы зашли в папку"));
    EXPECT_TRUE(player.calls.empty());
}

TEST_F(ListCommands, AddingNamesEachNewFolderUntilTheCaptionIsLongThenPlusDotsOnce)
{
    Show({"*/m/a.mp3*0*"});
    form.CurrentListBox.sorted = true;
    form.CaptionPrefix = "Jazz";
    const fs::path rock = Track("Rock", "z.mp3");
    dialogs.openedFiles = {{rock}, {rock}};
    currentList.AddMoreFiles();
    currentList.AddMoreFiles();
    EXPECT_EQ(form.CaptionPrefix, "Jazz+Rock");
    EXPECT_EQ(form.caption, "Jazz+Rock"); // nothing plays
    // Appended in order, unsorted, the same track twice; the list keeps its name.
    EXPECT_EQ(Items(form.CurrentListBox),
        (Lines{MakeListItem("*/m/a.mp3*0*"), MakeListItem(Line(rock)), MakeListItem(Line(rock))}));
    EXPECT_FALSE(form.CurrentListBox.sorted);
    EXPECT_EQ(form.CurrentListName, "Калейдоскоп");
    EXPECT_EQ(form.PathsBox.Count(), 3);

    // 800 pixels outside: from 61 characters on, one "+..." and never more.
    form.CaptionPrefix = std::string(60, 'x');
    dialogs.openedFiles = {{Track("Pop", "p.mp3")}, {Track("Folk", "f.mp3")}, {Track("Blues", "b.mp3")}};
    currentList.AddMoreFiles();
    EXPECT_EQ(form.CaptionPrefix, std::string(60, 'x') + "+Pop");
    PlayTrack(rock);
    currentList.AddMoreFiles();
    currentList.AddMoreFiles();
    EXPECT_EQ(form.CaptionPrefix, std::string(60, 'x') + "+Pop+...");
    EXPECT_EQ(form.caption, form.CaptionPrefix + "     z");
    // Cyrillic names count in characters, not bytes: 31 letters are 62 bytes.
    std::string cyrillic;
    for (int i = 0; i < 31; ++i)
        cyrillic += "Ж";
    form.CaptionPrefix = cyrillic;
    dialogs.openedFiles = {{Track("Джаз", "d.mp3")}};
    currentList.AddMoreFiles();
    EXPECT_EQ(form.CaptionPrefix, cyrillic + "+Джаз");
}

TEST_F(ListCommands, DeletingSelectedEntriesTouchesNoFileAndReleasesAStoppedTrack)
{
    const Lines lines{"*/m/a.mp3*0*", "*/m/b.mp3*0*", "*/m/c.mp3*0*", "*/m/d.mp3*0*"};
    Put("Калейдоскоп", lines);
    Show(lines);
    currentList.DeleteSelectedLines();
    EXPECT_EQ(dialogs.messages, Lines{" Пожалуйста, выделите что-нибудь"});

    const fs::path track = Track("Rock", "r.mp3");
    PlayTrack(track);
    device.Stop();
    form.CaptionPrefix = "Мой";
    form.caption = "Мой     r";
    form.PathsItem.checked = true;
    form.CurrentListBox.SetSelected(0, true);
    form.CurrentListBox.SetSelected(2, true);
    form.CurrentListBox.SetSelected(3, true);
    currentList.DeleteSelectedLines();
    EXPECT_EQ(Items(form.CurrentListBox), Lines{MakeListItem("*/m/b.mp3*0*")});
    EXPECT_EQ(Items(form.PathsBox), Lines{"/m/b.mp3"});
    EXPECT_TRUE(form.PathsBox.visible);
    EXPECT_EQ(Read("Калейдоскоп"), lines);
    EXPECT_EQ(device.Mode(), DeviceMode::NotOpen);
    EXPECT_EQ(form.caption, "Мой");
}

class SelectionBox : public ListCommands {
protected:
    SelectionBox()
    {
        Put("MyLists", {"Kalvotune", "Калейдоскоп", "Мой"});
        Put("Мой", {"*/m/a.mp3*0*"});
        PlayTrack(Track("Rock", "r.mp3"));
        form.CurrentListBox.visible = true;
        form.PathsBox.visible = true;
        form.MyListsBox.visible = false;
    }
    void Choose(const std::string& entry)
    {
        for (int i = 0; i < form.ListChoiceBox.Count(); ++i)
            form.ListChoiceBox.SetSelected(i, form.ListChoiceBox.Item(i) == entry);
        currentList.WriteLineIntoChosenList();
    }
    bool Open() const
    {
        return form.ListChoiceBox.visible && form.WriteLineItem.checked && form.WindowWriteLineItem.checked
            && form.WriteLineItem.caption == "Отменить запись" && form.WindowWriteLineItem.caption == "Отменить запись";
    }
    bool ClosedAndRestored() const
    {
        return !form.ListChoiceBox.visible && !form.WriteLineItem.checked && !form.WindowWriteLineItem.checked
            && form.WriteLineItem.caption == "Записать текущую строку"
            && form.WindowWriteLineItem.caption == "Записать текущую строку" && form.CurrentListBox.visible
            && form.PathsBox.visible && !form.MyListsBox.visible;
    }
    std::string Pending() const { return Line(form.CurrentTrackName); }
};

TEST_F(SelectionBox, OpensOverTheListsAndClosesAgainRestoringThem)
{
    currentList.WriteCurrentLine();
    EXPECT_TRUE(Open());
    EXPECT_EQ(Items(form.ListChoiceBox), (Lines{"Калейдоскоп", "Мой", kWriteNew}));
    EXPECT_FALSE(form.CurrentListBox.visible || form.PathsBox.visible || form.MyListsBox.visible);
    currentList.WriteCurrentLine();
    EXPECT_TRUE(ClosedAndRestored());

    // While the box is open the items stay reachable, even once the track has stopped.
    currentList.WriteCurrentLine();
    form.WriteLineItem.enabled = false;
    form.WindowWriteLineItem.enabled = false;
    currentList.PrepareListMenu();
    currentList.PrepareWindowMenu();
    EXPECT_TRUE(form.WriteLineItem.enabled && form.WindowWriteLineItem.enabled);
}

TEST_F(SelectionBox, WritesTheLineIntoAListOnceOnly)
{
    const std::string first = Pending();
    currentList.WriteCurrentLine();
    PlayTrack(Track("Rock", "later.mp3")); // the line was fixed when the box opened
    Choose("Мой");
    EXPECT_TRUE(ClosedAndRestored());
    EXPECT_EQ(Read("Мой"), (Lines{"*/m/a.mp3*0*", first}));

    form.CurrentTrackName = LinePath(first);
    currentList.WriteCurrentLine();
    Choose("Мой");
    EXPECT_TRUE(ClosedAndRestored());
    EXPECT_EQ(Read("Мой"), (Lines{"*/m/a.mp3*0*", first}));
    EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(SelectionBox, NewListAsksUntilTheNameIsFreeAndEndsTheIndex)
{
    Put("MyLists", {"Kalvotune", "Мой", "Калейдоскоп"});
    currentList.WriteCurrentLine();
    dialogs.inputs = {std::nullopt};
    Choose(kWriteNew);
    EXPECT_TRUE(Open()); // a cancelled prompt keeps the box open
    EXPECT_FALSE(form.ListChoiceBox.Selected(form.ListChoiceBox.Count() - 1)); // and clickable again

    // A forbidden character, an existing list and the program's own files are refused and
    // the typed name proposed again.
    dialogs.inputs = {"a:b", "Мой", "", ".", "..", "MyLists", "Kalvotune", "TempFile", "Новый"};
    Choose(kWriteNew);
    EXPECT_EQ(dialogs.proposals,
        (Lines{"Список 06.12.2026 18'41'01", "Список 06.12.2026 18'41'01", "a:b", "Мой", "", ".", "..", "MyLists",
            "Kalvotune", "TempFile"}));
    EXPECT_EQ(dialogs.titles.front(),
        "Сохранение нового списка|Назовите (не обязательно), не используя знаков,запрещенных Windows в имени файлов   "
        "\\ / : * ? < > | и двойные кавычки.");
    ASSERT_EQ(dialogs.messages.size(), 8u);
    EXPECT_EQ(dialogs.messages[1], "Список <Мой> у нас есть.  Пожалуйста, измените имя.");
    EXPECT_EQ(dialogs.messages[5], "Список <MyLists> у нас есть.  Пожалуйста, измените имя.");
    EXPECT_TRUE(ClosedAndRestored());
    EXPECT_EQ(Read("Новый"), Lines{Pending()});
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Мой", "Калейдоскоп", "Новый"}));
    EXPECT_EQ(Read("Kalvotune"), Lines{});
    EXPECT_FALSE(fs::exists(File("TempFile")));
}

TEST_F(SelectionBox, FileErrorsAreShownAndKeepTheBoxOpen)
{
    // The index cannot be read: the box does not open.
    FailReadsOf(File("MyLists"));
    currentList.WriteCurrentLine();
    EXPECT_FALSE(form.ListChoiceBox.visible || form.WriteLineItem.checked);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_NE(dialogs.errors[0].find("MyLists"), std::string::npos);
    FailReadsOf(std::nullopt);

    currentList.WriteCurrentLine();
    // A list named in the index without its file.
    fs::remove(File("Мой"));
    Choose("Мой");
    EXPECT_TRUE(Open());
    EXPECT_EQ(dialogs.errors.size(), 2u);
    EXPECT_FALSE(fs::exists(File("Мой")));
    // An unreadable list is never written back as if it were empty.
    Put("Мой", {"*/m/a.mp3*0*"});
    FailReadsOf(File("Мой"));
    Choose("Мой");
    FailReadsOf(std::nullopt);
    EXPECT_TRUE(Open());
    EXPECT_EQ(Read("Мой"), Lines{"*/m/a.mp3*0*"});
    // A failed write of a new list leaves the index alone.
    dialogs.inputs = {"Новый"};
    FailNextWriteAfter(0);
    Choose(kWriteNew);
    EXPECT_TRUE(Open());
    EXPECT_FALSE(fs::exists(File("Новый")));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Мой"}));
    EXPECT_EQ(dialogs.errors.size(), 4u);
    EXPECT_TRUE(dialogs.messages.empty());
}

} // namespace
} // namespace kalvotune::playlists
