#include "AppFixture.hpp"

#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace kalvotune::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class ListCommandsInWindow : public ::testing::Test, public AppFixture {
protected:
    void SetUp() override { MakeProgramFolder(); }

    fs::path Track(const std::string& name)
    {
        const fs::path path = Dir() / "music" / "Rock" / name;
        fs::create_directories(path.parent_path());
        std::ofstream{path} << "audio";
        device.AddFile(path, 60'000);
        return path;
    }
    Lines Read(const std::string& name) const
    {
        return playlists::ReadListFile(Dir() / "Lists" / name).value_or(Lines{"<missing>"});
    }
    void SelectOnly(ListBox& box, const std::string& text)
    {
        for (int i = 0; i < box.Count(); ++i)
            box.SetSelected(i, box.Item(i) == text);
    }
};

TEST_F(ListCommandsInWindow, OpenSaveReopenAndDeleteThroughTheWindowsEvents)
{
    Start();
    Form& f = Window();
    const fs::path first = Track("a.mp3");

    // "Open" while the panel shows opens the selected lists: nothing is selected.
    dialogs.openedFiles = {{first}};
    App().Click("OpenButton");
    EXPECT_EQ(dialogs.messages.back(), " Пожалуйста, выделите один или несколько Ваших списков.");
    EXPECT_EQ(dialogs.openedFiles.size(), 1u);

    App().Click("SpeedButton11");
    App().Click("N1");
    EXPECT_EQ(device.openFile, first); // a single track plays at once
    EXPECT_EQ(f.CurrentListName, "0");
    EXPECT_EQ(f.CaptionPrefix, "Rock");
    App().MenuPopup("PopupMenu2");
    EXPECT_FALSE(f.SaveIntoListItem.enabled);
    // "My" twice enables the item; the list still has no file to write into.
    App().Click("SpeedButton11");
    App().Click("SpeedButton11");
    App().MenuPopup("PopupMenu2");
    EXPECT_FALSE(f.SaveIntoListItem.enabled);

    dialogs.inputs = {"Мой"};
    App().Click("SaveNewList");
    EXPECT_EQ(Read("Мой"), Lines{"*" + first.string() + "*0*"});

    App().Click("SpeedButton11");
    ASSERT_TRUE(f.MyListsBox.visible);
    SelectOnly(f.MyListsBox, "Мой");
    App().DoubleClick("ListBox3");
    EXPECT_FALSE(f.MyListsBox.visible);
    EXPECT_EQ(f.CurrentListName, "Мой");
    EXPECT_EQ(f.CurrentListBox.Count(), 1);

    App().Click("SpeedButton11");
    SelectOnly(f.MyListsBox, "Мой");
    App().Click("DeleteList");
    EXPECT_FALSE(fs::exists(Dir() / "Lists" / "Мой"));
    EXPECT_EQ(std::count(f.MyListsBox.Items().begin(), f.MyListsBox.Items().end(), "Мой"), 0);
    EXPECT_TRUE(dialogs.errors.empty());
}

} // namespace
} // namespace kalvotune::testing
