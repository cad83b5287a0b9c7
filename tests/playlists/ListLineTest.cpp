#include "playlists/ListLine.hpp"

#include "support/Fakes.hpp"

#include <gtest/gtest.h>

namespace kalvotune::playlists {
namespace {

const std::string kPad(kItemPadWidth, ' ');

TEST(ListLine, ItemOfPlainLineIsTitlePadAndTail)
{
    EXPECT_EQ(MakeListItem("*D:\\Музыка\\Вальс.mp3*0*"), "Вальс" + kPad + "*D:\\Музыка\\Вальс.mp3*0*");
    EXPECT_EQ(MakeListItem("*/home/u/Музыка/Вальс.mp3*0*"), "Вальс" + kPad + "*/home/u/Музыка/Вальс.mp3*0*");
}

TEST(ListLine, TagIsShownAfterTitleAndDroppedFromLine)
{
    const std::string item = MakeListItem("5*D:\\a\\b.mp3*0*");
    EXPECT_EQ(item, "b       5" + kPad + "*D:\\a\\b.mp3*0*");
    EXPECT_EQ(ItemToLine(item), "*D:\\a\\b.mp3*0*");
    // A tag "0" counts as none.
    EXPECT_EQ(MakeListItem("0*/m/b.mp3*0*"), "b" + kPad + "*/m/b.mp3*0*");
}

TEST(ListLine, TemplateFieldIsAlwaysZeroInItems)
{
    const std::string item = MakeListItem("*/m/Вальс.mp3*Вальс123*");
    EXPECT_EQ(ItemToLine(item), "*/m/Вальс.mp3*0*");
}

TEST(ListLine, LinesWithoutPathGiveEmptyTitleAndPath)
{
    const std::string empty = kPad + "**0*";
    EXPECT_EQ(MakeListItem(""), empty);
    EXPECT_EQ(MakeListItem("no stars"), empty);
    EXPECT_EQ(MakeListItem("tail*"), empty); // a '*' only as the last character opens nothing
    EXPECT_EQ(MakeListItem("*unclosed"), empty);
    EXPECT_EQ(ItemToLine(empty), "**0*");
    EXPECT_EQ(LinePath(empty), "");
}

TEST(ListLine, ItemToLineCountsCharactersNotBytes)
{
    // A long Cyrillic title: 300 characters but 600 bytes; the tail must still be found
    // from character 400 and the title's bytes must not be mistaken for the pad.
    std::string title;
    for (int i = 0; i < 300; ++i)
        title += "ж";
    const std::string item = MakeListItem("*/m/" + title + ".mp3*0*");
    EXPECT_EQ(ItemToLine(item), "*/m/" + title + ".mp3*0*");
    EXPECT_EQ(ItemToLine("short*x*0*"), "");
}

TEST(ListLine, PathAndTemplateFields)
{
    EXPECT_EQ(LinePath("*/a/b.mp3*Tpl7*"), "/a/b.mp3");
    EXPECT_EQ(LineTemplate("*/a/b.mp3*Tpl7*"), "Tpl7");
    EXPECT_EQ(LinePath("tag*/a/b.mp3*0*"), "/a/b.mp3");
    EXPECT_EQ(LinePath("*only one"), "");
    EXPECT_EQ(LineTemplate("*/a*b"), "");
    EXPECT_EQ(LinePath("Title" + kPad + "*/a/b.mp3*0*"), "/a/b.mp3");
}

TEST(ListLine, TrackTitleRemovesFourCharacters)
{
    EXPECT_EQ(TrackTitleOf("D:\\x\\ab.mp3"), "ab");
    EXPECT_EQ(TrackTitleOf("D:\\x\\a.ra"), "");
    EXPECT_EQ(TrackTitleOf("D:\\x\\Song.flac"), "Song.");
    EXPECT_EQ(TrackTitleOf("D:Вальс.mp3"), "Вальс");
    EXPECT_EQ(TrackTitleOf("\\\\server\\share\\Вальс.wma"), "Вальс");
    EXPECT_EQ(TrackTitleOf("/music/Ёлка.mp3"), "Ёлка");
    EXPECT_EQ(TrackTitleOf("Вальс.mp3"), "Вальс");
    EXPECT_EQ(TrackTitleOf("ж.mp"), "");
    EXPECT_EQ(TrackTitleOf(""), "");
}

TEST(ListLine, LinuxNamesKeepColonAndBackslash)
{
    EXPECT_EQ(TrackTitleOf("/music/Artist: Song.mp3"), "Artist: Song");
    EXPECT_EQ(TrackTitleOf("/music/a\\b.mp3"), "a\\b");
    EXPECT_EQ(TrackTitleOf("Artist: Song.mp3"), "Artist: Song");
    EXPECT_EQ(MakeListItem("*/m/C:D.mp3*0*").substr(0, 3), "C:D");
}

TEST(ListLine, DatedListNameUsesApostrophes)
{
    EXPECT_EQ(DatedListName("Список ", {2026, 12, 6, 18, 41, 1}), "Список 06.12.2026 18'41'01");
    EXPECT_EQ(DatedListName("", {2027, 1, 2, 3, 4, 5}), "02.01.2027 03'04'05");
}

TEST(ListLine, ForbiddenCharactersShowOneMessage)
{
    testing::FakeDialogs dialogs;
    EXPECT_FALSE(HasForbiddenChars("a\\b", dialogs));
    EXPECT_FALSE(HasForbiddenChars("", dialogs));
    EXPECT_FALSE(HasForbiddenChars("Мой список", dialogs));
    EXPECT_TRUE(dialogs.messages.empty());
    for (const char* name : {"a/b", "a>b", "a<b", "a:b", "a*b", "a|b", "a?b", "a\"b", "a:b*c"})
        EXPECT_TRUE(HasForbiddenChars(name, dialogs)) << name;
    ASSERT_EQ(dialogs.messages.size(), 9u);
    EXPECT_EQ(dialogs.messages[0],
              "Увы, закорючки   /><:*|?\"  в имени файла(трека) запрещены \"Windows\".");
}

TEST(ListLine, PathsWithStarsOrBreaksDoNotFitALine)
{
    EXPECT_TRUE(FitsListLine("/m/a: b\\c.mp3"));
    EXPECT_FALSE(FitsListLine("/m/a*b.mp3"));
    EXPECT_FALSE(FitsListLine("/m/a\nb.mp3"));
    EXPECT_FALSE(FitsListLine("/m/a\rb.mp3"));
}

} // namespace
} // namespace kalvotune::playlists
