#include "app/Options.hpp"

#include "AppFixture.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"

#include <gtest/gtest.h>

namespace kalvotune::app {
namespace {

namespace fs = std::filesystem;

std::string Text(const fs::path& file)
{
    const Bytes bytes = ReadFileBytes(file).value_or(Bytes{});
    return {bytes.begin(), bytes.end()};
}

TEST(Options, BadOrMissingValuesKeepTheDefault)
{
    testing::TempDir dir;
    const fs::path file = dir.Path() / kOptionsFileName;
    EXPECT_EQ(ReadOptions(file).pictureDelayMs, 0);
    for (const char* text : {"PictureDelayMs=abc\n", "PictureDelayMs=1001\n", "PictureDelayMs=-1001\n",
             "PictureDelayMs=12ms\n", "PictureDelayMs=\n", "PictureDelayMs=99999999999\n", "Other=5\n"}) {
        ASSERT_TRUE(WriteFileAtomically(file, std::string_view{text}).ok);
        EXPECT_EQ(ReadOptions(file).pictureDelayMs, 0) << text;
    }
    ASSERT_TRUE(WriteFileAtomically(file, std::string_view{"# note\r\n PictureDelayMs = -250 \r\n"}).ok);
    EXPECT_EQ(ReadOptions(file).pictureDelayMs, -250);
}

TEST(Options, WritingKeepsOptionsOfLaterVersions)
{
    testing::TempDir dir;
    const fs::path file = dir.Path() / kOptionsFileName;
    ASSERT_TRUE(WriteFileAtomically(file, std::string_view{"Future=on\nPictureDelayMs=5\n"}).ok);
    ASSERT_TRUE(WriteOptions(file, Options{300, 0, {}}).ok);
    EXPECT_EQ(Text(file), "PictureDelayMs=300\nAutoMusicTemplates=0\nFuture=on\n");
    EXPECT_EQ(ReadOptions(file).pictureDelayMs, 300);
}

class PictureDelayTest : public testing::AppFixture, public ::testing::Test {
protected:
    PictureDelayTest()
    {
        MakeProgramFolder();
        EXPECT_TRUE(WriteFileAtomically(Dir() / kOptionsFileName, std::string_view{"PictureDelayMs=120\n"}).ok);
        Start();
        dialogs.messages.clear(); // the missing pattern tables
    }
};

TEST_F(PictureDelayTest, MenuItemAsksStoresAndRefusesBadInput)
{
    EXPECT_EQ(Window().PictureDelayMs, 120); // read at start
    ASSERT_EQ(Window().SettingsMenu.caption, "Настройки");
    EXPECT_EQ(Window().PictureDelayItem.caption, "Задержка картинки…");

    dialogs.inputs = {" 250 "};
    App().Click("PictureDelay");
    EXPECT_EQ(Window().PictureDelayMs, 250);
    EXPECT_EQ(ReadOptions(Dir() / kOptionsFileName).pictureDelayMs, 250);

    dialogs.inputs = {"2000", "x", std::nullopt};
    App().Click("PictureDelay");
    App().Click("PictureDelay");
    App().Click("PictureDelay");
    EXPECT_EQ(Window().PictureDelayMs, 250);
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages.back().find("-1000 до 1000"), std::string::npos);

    // A failed write is reported; the delay still applies to this run.
    dialogs.inputs = {"-40"};
    FailWritesOf(Dir() / kOptionsFileName);
    App().Click("PictureDelay");
    FailWritesOf(std::nullopt);
    EXPECT_EQ(Window().PictureDelayMs, -40);
    EXPECT_NE(dialogs.messages.back().find(kOptionsFileName), std::string::npos);
    EXPECT_EQ(ReadOptions(Dir() / kOptionsFileName).pictureDelayMs, 250);

    // The settings file keeps its own record.
    Close();
    EXPECT_EQ(ReadFileBytes(Dir() / "SetGet.kvt")->size(), 400u);
}

TEST_F(PictureDelayTest, MakingTemplatesByItselfIsStoredAndRestored)
{
    EXPECT_FALSE(Window().AutoMusicTemplatesItem.checked);
    EXPECT_EQ(Window().AutoMusicTemplatesItem.caption, "Сам создавать ЦМШ");
    App().Click("AutoMusicTemplate");
    EXPECT_TRUE(Window().AutoMusicTemplatesItem.checked);
    const Options options = ReadOptions(Dir() / kOptionsFileName);
    EXPECT_EQ(options.autoMusicTemplates, 1);
    EXPECT_EQ(options.pictureDelayMs, 120);
    Close();
    Start();
    EXPECT_TRUE(Window().AutoMusicTemplatesItem.checked);
}

} // namespace
} // namespace kalvotune::app
