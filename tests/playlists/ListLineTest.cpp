#include "playlists/ListLine.hpp"

#include "support/Fakes.hpp"

#include <gtest/gtest.h>

namespace kalvotune::playlists {
namespace {

const std::string kPad(kItemPadWidth, ' ');

TEST(ListLine, ItemCarriesTitleTagAndTailWithZeroTemplate)
{
    EXPECT_EQ(MakeListItem("*D:\\Музыка\\Вальс.mp3*0*"), "Вальс" + kPad + "*D:\\Музыка\\Вальс.mp3*0*");
    const std::string tagged = MakeListItem("5*D:\\a\\b.mp3*0*");
    EXPECT_EQ(tagged, "b       5" + kPad + "*D:\\a\\b.mp3*0*");
    EXPECT_EQ(ItemToLine(tagged), "*D:\\a\\b.mp3*0*");
    EXPECT_EQ(MakeListItem("0*/m/b.mp3*0*"), "b" + kPad + "*/m/b.mp3*0*"); // tag "0" is none
    EXPECT_EQ(ItemToLine(MakeListItem("*/m/Вальс.mp3*Вальс123*")), "*/m/Вальс.mp3*0*");
}

TEST(ListLine, LinesWithoutPathGiveEmptyTitleAndPath)
{
    const std::string empty = kPad + "**0*";
    for (const char* line : {"", "no stars", "tail*", "*unclosed"})
        EXPECT_EQ(MakeListItem(line), empty) << line;
    EXPECT_EQ(ItemToLine(empty), "**0*");
    EXPECT_EQ(ItemToLine("short*x*0*"), "");
}

TEST(ListLine, ItemToLineCountsCharactersNotBytes)
{
    // 300 Cyrillic characters are 600 bytes; the tail is still found from character 400.
    std::string title;
    for (int i = 0; i < 300; ++i)
        title += "ж";
    EXPECT_EQ(ItemToLine(MakeListItem("*/m/" + title + ".mp3*0*")), "*/m/" + title + ".mp3*0*");
}

TEST(ListLine, PathAndTemplateFields)
{
    EXPECT_EQ(LinePath("tag*/a/b.mp3*Tpl7*"), "/a/b.mp3");
    EXPECT_EQ(LineTemplate("*/a/b.mp3*Tpl7*"), "Tpl7");
    EXPECT_EQ(LinePath("*only one"), "");
    EXPECT_EQ(LineTemplate("*/a*b"), "");
}

TEST(ListLine, TrackTitleRemovesFourCharacters)
{
    EXPECT_EQ(TrackTitleOf("D:\\x\\ab.mp3"), "ab");
    EXPECT_EQ(TrackTitleOf("D:\\x\\a.ra"), "");
    EXPECT_EQ(TrackTitleOf("D:\\x\\Song.flac"), "Song.");
    EXPECT_EQ(TrackTitleOf("D:Вальс.mp3"), "Вальс");
    EXPECT_EQ(TrackTitleOf("\\\\server\\share\\Вальс.wma"), "Вальс");
    EXPECT_EQ(TrackTitleOf("/music/Ёлка.mp3"), "Ёлка");
    EXPECT_EQ(TrackTitleOf("ж.mp"), "");
    // Paths from Windows: their folder for the missing-track message.
    EXPECT_TRUE(IsWindowsPath("c:/x.mp3") && IsWindowsPath("\\\\server\\share\\a.mp3"));
    EXPECT_FALSE(IsWindowsPath("/m/C:\\a.mp3") || IsWindowsPath("Музыка\\a.mp3") || IsWindowsPath(""));
    EXPECT_EQ(TrackFolderOf("C:\\Музыка\\Артист\\01.mp3"), "C:\\Музыка\\Артист");
    EXPECT_EQ(TrackFolderOf("/m/a\\b.mp3"), "/m");
    EXPECT_EQ(TrackFolderOf("a.mp3"), "");
}

TEST(ListLine, LinuxNamesKeepColonAndBackslash)
{
    EXPECT_EQ(TrackTitleOf("/music/Artist: Song.mp3"), "Artist: Song");
    EXPECT_EQ(TrackTitleOf("/music/a\\b.mp3"), "a\\b");
    EXPECT_EQ(TrackTitleOf("Artist: Song.mp3"), "Artist: Song");
}

TEST(ListLine, DatedListNameUsesApostrophes)
{
    EXPECT_EQ(DatedListName("Список ", {2026, 12, 6, 18, 41, 1}), "Список 06.12.2026 18'41'01");
}

TEST(ListLine, ForbiddenCharactersShowTheMessage)
{
    testing::FakeDialogs dialogs;
    for (const char* name : {"a\\b", "", "Мой список"})
        EXPECT_FALSE(HasForbiddenChars(name, dialogs)) << name;
    EXPECT_TRUE(dialogs.messages.empty());
    for (const char* name : {"a/b", "a>b", "a<b", "a:b", "a*b", "a|b", "a?b", "a\"b"})
        EXPECT_TRUE(HasForbiddenChars(name, dialogs)) << name;
    ASSERT_EQ(dialogs.messages.size(), 8u);
    EXPECT_EQ(dialogs.messages[0], "Увы, закорючки   /><:*|?\"  в имени файла(трека) запрещены \"Windows\".");
}

} // namespace
} // namespace kalvotune::playlists
