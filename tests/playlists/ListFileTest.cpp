#include "playlists/ListFile.hpp"

#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace kalvotune::playlists {
namespace {

std::string ReadRaw(const std::filesystem::path& file)
{
    const auto bytes = ReadFileBytes(file);
    return bytes ? std::string{bytes->begin(), bytes->end()} : std::string{"<missing>"};
}

TEST(ListFile, EveryCp1251ByteRoundTrips)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string text = Cp1251ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1251(text), all);
}

TEST(ListFile, KnownCharactersOfTheCodePage)
{
    EXPECT_EQ(Cp1251ToUtf8("\xC2\xE0\xEB\xFC\xF1"), "Вальс");
    EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8\xB9\x88\x96\x98"), "Ёё№€–\u0098");
    EXPECT_EQ(Utf8ToCp1251("Ёлка «№1» — ґ"), "\xA8\xEB\xEA\xE0 \xAB\xB9" "1\xBB \x97 \xB4");
}

TEST(ListFile, TextOutsideTheCodePageIsRefused)
{
    EXPECT_EQ(Utf8ToCp1251("日本"), std::nullopt);
    EXPECT_EQ(Utf8ToCp1251("é"), std::nullopt);
    EXPECT_EQ(Utf8ToCp1251("\xFF\xFE"), std::nullopt); // not UTF-8 at all
    EXPECT_EQ(Utf8ToCp1251("\xC0\xAF"), std::nullopt); // overlong '/'
}

TEST(ListFile, SplitsAtEveryKindOfLineBreak)
{
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\r\n"), Lines{""});
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"})); // LF CR is two breaks
}

TEST(ListFile, WritesCp1251WithCrLfAndReadsItBack)
{
    testing::TempDir dir;
    const auto file = dir.Path() / "Список";
    const std::vector<std::string> lines{"*/m/Вальс.mp3*0*", "", "*/m/Ёлка.mp3*0*"};
    ASSERT_TRUE(WriteListFile(file, lines).ok);
    EXPECT_EQ(ReadRaw(file), "*/m/\xC2\xE0\xEB\xFC\xF1.mp3*0*\r\n\r\n*/m/\xA8\xEB\xEA\xE0.mp3*0*\r\n");
    EXPECT_EQ(ReadListFile(file), lines);

    ASSERT_TRUE(WriteListFile(file, {}).ok);
    EXPECT_EQ(ReadRaw(file), "");
    EXPECT_EQ(ReadListFile(file), std::vector<std::string>{});
    EXPECT_EQ(ReadListFile(dir.Path() / "нет"), std::nullopt);
}

TEST(ListFile, PathOutsideCp1251IsWrittenAsMarkedUtf8)
{
    testing::TempDir dir;
    const auto file = dir.Path() / "Mixed";
    const std::vector<std::string> lines{"*/m/Вальс.mp3*0*", "*/m/日本 café.mp3*0*"};
    ASSERT_TRUE(WriteListFile(file, lines).ok);
    EXPECT_EQ(ReadRaw(file), "\xEF\xBB\xBF*/m/Вальс.mp3*0*\r\n*/m/日本 café.mp3*0*\r\n");
    EXPECT_EQ(ReadListFile(file), lines);

    // Bytes that are not UTF-8 (a Linux name in another encoding) survive as they are.
    const std::vector<std::string> raw{"*/m/\xFF\xFE.mp3*0*"};
    ASSERT_TRUE(WriteListFile(file, raw).ok);
    EXPECT_EQ(ReadListFile(file), raw);
}

TEST(ListFile, Cp1251TextThatLooksLikeTheMarkStillRoundTrips)
{
    testing::TempDir dir;
    const auto file = dir.Path() / "Odd";
    const std::vector<std::string> lines{"п»їname"};
    ASSERT_TRUE(WriteListFile(file, lines).ok);
    EXPECT_EQ(ReadListFile(file), lines);
}

TEST(ListFile, FailedWriteKeepsTheOldFile)
{
    testing::TempDir dir;
    const auto file = dir.Path() / "Былое";
    ASSERT_TRUE(WriteListFile(file, {"*/m/old.mp3*0*"}).ok);
    FailNextWriteAfter(5);
    const WriteResult result = WriteListFile(file, {"*/m/new.mp3*0*", "*/m/more.mp3*0*"});
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(ReadListFile(file), std::vector<std::string>{"*/m/old.mp3*0*"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator{dir.Path()}, {}), 1); // no leftovers
}

} // namespace
} // namespace kalvotune::playlists
