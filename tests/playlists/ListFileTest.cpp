#include "playlists/ListFile.hpp"

#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace kalvotune::playlists {
namespace {

using Lines = std::vector<std::string>;

std::string ReadRaw(const std::filesystem::path& file)
{
    const auto bytes = ReadFileBytes(file);
    return bytes ? std::string{bytes->begin(), bytes->end()} : std::string{"<missing>"};
}

TEST(ListFile, CodePageRoundTripsEveryByte)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
    EXPECT_EQ(Cp1251ToUtf8("\xC2\xE0\xEB\xFC\xF1 \xA8\xB8\xB9\x88\x96"), "Вальс Ёё№€–");
    EXPECT_EQ(Utf8ToCp1251("«№1» — ґ"),
        "\xAB\xB9"
        "1\xBB \x97 \xB4");
    for (const char* text : {"日本", "é", "\xFF\xFE", "\xC0\xAF"}) // foreign, not UTF-8, overlong
        EXPECT_EQ(Utf8ToCp1251(text), std::nullopt) << text;
}

TEST(ListFile, SplitsAtEveryKindOfLineBreak)
{
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"})); // LF CR is two breaks
}

TEST(ListFile, WritesCp1251WithCrLfAndReadsItBack)
{
    testing::TempDir dir;
    const auto file = dir.Path() / "Список";
    const Lines lines{"*/m/Вальс.mp3*0*", "", "*/m/Ёлка.mp3*0*"};
    ASSERT_TRUE(WriteListFile(file, lines).ok);
    EXPECT_EQ(ReadRaw(file), "*/m/\xC2\xE0\xEB\xFC\xF1.mp3*0*\r\n\r\n*/m/\xA8\xEB\xEA\xE0.mp3*0*\r\n");
    EXPECT_EQ(ReadListFile(file), lines);
    ASSERT_TRUE(WriteListFile(file, {}).ok);
    EXPECT_EQ(ReadRaw(file), "");
    EXPECT_EQ(ReadListFile(dir.Path() / "нет"), std::nullopt);
}

TEST(ListFile, TextOutsideCp1251IsWrittenAsMarkedUtf8)
{
    testing::TempDir dir;
    const auto file = dir.Path() / "Mixed";
    const Lines lines{"*/m/Вальс.mp3*0*", "*/m/日本 café.mp3*0*"};
    ASSERT_TRUE(WriteListFile(file, lines).ok);
    EXPECT_EQ(ReadRaw(file), "\xEF\xBB\xBF*/m/Вальс.mp3*0*\r\n*/m/日本 café.mp3*0*\r\n");
    EXPECT_EQ(ReadListFile(file), lines);
    // Names that are not UTF-8, and 1251 text that begins like the mark, survive too.
    for (const Lines& odd : {Lines{"*/m/\xFF\xFE.mp3*0*"}, Lines{"п»їname"}}) {
        ASSERT_TRUE(WriteListFile(file, odd).ok);
        EXPECT_EQ(ReadListFile(file), odd);
    }
}

} // namespace
} // namespace kalvotune::playlists
