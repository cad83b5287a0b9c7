#include "ListCommandsFixture.hpp"

#include "core/FileIO.hpp"
#include "playlists/ExternalFiles.hpp"
#include "playlists/M3u.hpp"
#include "playlists/M3uExport.hpp"
#include "support/WriteFaults.hpp"

namespace kalvotune::playlists {
namespace {

namespace fs = std::filesystem;

class ExternalTracks : public ListCommands {
protected:
    void PutFile(const fs::path& path, std::string_view bytes)
    {
        fs::create_directories(path.parent_path());
        ASSERT_TRUE(WriteFileAtomically(path, bytes).ok);
    }
    ExternalFiles external{currentList, dialogs};
};

TEST(M3u, ReadsUtf8AndCp1251EntriesRelativeToThePlaylistAndKeepsMissingOnes)
{
    testing::TempDir dir;
    const fs::path music = dir.Path() / "Музыка";
    fs::create_directories(music / "sub");
    for (const char* name : {"Ночь.mp3", "sub/b c.wav", "abs.wma"})
        ASSERT_TRUE(WriteFileAtomically(music / name, std::string_view{"x"}).ok);
    const std::string absolute = (music / "abs.wma").string();

    const std::string utf8 = "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:12,Artist - Title\r\nНочь.mp3\r\n  sub/b c.wav  \n\n"
                             "http://radio.example/stream\nmissing.mp3\nfile://"
        + absolute + "\nfile://localhost/no/such.mp3\n";
    const M3uEntries read = ParseM3u(utf8, music);
    EXPECT_TRUE(read.error.empty());
    // A missing file keeps its place, so that relinking can find it later; a web address does not.
    EXPECT_EQ(read.tracks,
        (std::vector<fs::path>{
            music / "Ночь.mp3", music / "sub/b c.wav", music / "missing.mp3", music / "abs.wma", "/no/such.mp3"}));
    EXPECT_EQ(read.skipped, 1);
    EXPECT_EQ(read.missing, 2);
    // A NUL byte (the fuzzer's find) would cut the path short at another file: left out.
    const M3uEntries cut = ParseM3u("file://" + absolute + "%00x\n" + absolute + std::string{"\0x\n", 3}, music);
    EXPECT_TRUE(cut.tracks.empty());
    EXPECT_EQ(cut.skipped, 2);

    // The same name in Windows-1251 bytes, which are not UTF-8; a %-escaped URL.
    const std::string cp1251 = *Utf8ToCp1251("Ночь.mp3\nsub/b c.wav\n");
    EXPECT_EQ(ParseM3u(cp1251, music).tracks, (std::vector<fs::path>{music / "Ночь.mp3", music / "sub/b c.wav"}));
    const std::string escaped = "file://" + (music / "sub").string() + "/b%20c.wav";
    EXPECT_EQ(ParseM3u(escaped, dir.Path()).tracks, (std::vector<fs::path>{music / "sub/b c.wav"}));

    // Written back: absolute paths after the header, and read again to the same tracks.
    const std::vector<fs::path> existing{music / "Ночь.mp3", music / "sub/b c.wav", music / "abs.wma"};
    const std::string written = EncodeM3u8(existing);
    EXPECT_TRUE(written.starts_with("#EXTM3U\n" + (music / "Ночь.mp3").string() + "\n"));
    EXPECT_EQ(ParseM3u(written, dir.Path()).tracks, existing);
}

TEST(M3u, PlaylistsFromWindowsAndOtherPlayersOpen)
{
    testing::TempDir dir;
    const fs::path music = dir.Path() / "Music";
    fs::create_directories(music / "Артист");
    fs::create_directories(dir.Path() / "Lists");
    for (const char* name : {"Артист/01 Вальс.mp3", "Артист/a&b.wav"})
        ASSERT_TRUE(WriteFileAtomically(music / name, std::string_view{"x"}).ok);
    const fs::path waltz = music / "Артист" / "01 Вальс.mp3";
    const fs::path ab = music / "Артист" / "a&b.wav";

    // An M3U8 written on Windows: relative backslash paths, CR LF; a drive path is
    // missing here and kept as written.
    const M3uEntries windows = ParseM3u(
        "#EXTM3U\r\n..\\Music\\Артист\\01 Вальс.mp3\r\nC:\\Music\\Артист\\a&b.wav\r\n", dir.Path() / "Lists");
    EXPECT_EQ(windows.tracks, (std::vector<fs::path>{waltz, "C:\\Music\\Артист\\a&b.wav"}));
    EXPECT_EQ(windows.skipped, 0);
    EXPECT_EQ(windows.missing, 1);
    // Written out again, the missing entry keeps its Windows path.
    EXPECT_EQ(ParseM3u(EncodeM3u8(windows.tracks), dir.Path()).tracks, windows.tracks);

    const std::string pls = "[playlist]\r\nFile1=../Music/Артист/01 Вальс.mp3\r\nTitle1=Вальс\r\nFile2=" + ab.string()
        + "\r\nFile3=http://radio.example/x\r\nFile=" + waltz.string() + "\r\nNumberOfEntries=3\r\nVersion=2\r\n";
    const M3uEntries fromPls = ParsePls(pls, dir.Path() / "Lists");
    EXPECT_EQ(fromPls.tracks, (std::vector<fs::path>{waltz, ab}));
    EXPECT_EQ(fromPls.skipped, 1);

    const std::string xspf = "<?xml version=\"1.0\"?><playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">"
                             "<trackList><track><location>file://"
        + music.string() + "/%D0%90%D1%80%D1%82%D0%B8%D1%81%D1%82/01%20%D0%92%D0%B0%D0%BB%D1%8C%D1%81.mp3"
        + "</location><title>x</title></track><track><location> ../Music/&#x410;ртист/a&amp;b.wav </location>"
          "</track><track><location>gone.mp3</location></track><track><location>../Music/&#1040;ртист/a&amp;b.wav"
          "</location></track></trackList></playlist>";
    const M3uEntries fromXspf = ParseXspf(xspf, dir.Path() / "Lists");
    const fs::path gone = dir.Path() / "Lists" / "gone.mp3";
    EXPECT_EQ(fromXspf.tracks, (std::vector<fs::path>{waltz, ab, gone, ab}));
    EXPECT_EQ(fromXspf.skipped, 0);
    EXPECT_EQ(fromXspf.missing, 1);

    // "Open" and the command line read them by their extension.
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "Lists" / "a.PLS", pls).ok);
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "Lists" / "b.xspf", xspf).ok);
    std::vector<std::string> messages;
    EXPECT_EQ(ExpandPlaylists({dir.Path() / "Lists" / "a.PLS", dir.Path() / "Lists" / "b.xspf"}, messages).size(), 6u);
    EXPECT_EQ(messages,
        (std::vector<std::string>{
            "Из списка a.PLS не открыто записей: 1 (адреса в сети и записи, которые не могут быть именем файла)",
            "В списке b.xspf записей, файлов которых здесь нет: 1. Они оставлены в списке: \"Найти перемещённые "
            "треки…\" найдёт их, если они переехали."}));
    EXPECT_EQ(
        GatherTracks({dir.Path() / "Lists" / "b.xspf"}, false).tracks, (std::vector<fs::path>{waltz, ab, gone, ab}));
}

TEST_F(ExternalTracks, OpeningFromOutsideRunsOpenAndPlaysASingleTrack)
{
    const fs::path one = Track("Rock", "Один.mp3");
    external.OpenFiles({one});
    EXPECT_EQ(Items(form.CurrentListBox), Lines{MakeListItem(Line(one))});
    EXPECT_EQ(player.calls, (Lines{"buttons", "play"}));
    EXPECT_EQ(form.CurrentListName, "0");
    EXPECT_EQ(form.CaptionPrefix, "Rock");

    // A playlist opens its entries, a missing one kept for relinking; it and a missing
    // argument are reported, and the list is not touched when nothing is left.
    const fs::path two = Track("Jazz", "b.wav");
    const fs::path playlist = dir.Path() / "Jazz" / "list.m3u8";
    PutFile(playlist, "#EXTM3U\nb.wav\n../Rock/Один.mp3\ngone.mp3\n");
    player.calls.clear();
    external.OpenFiles({playlist, dir.Path() / "nothing.mp3"});
    EXPECT_EQ(Items(form.CurrentListBox),
        (Lines{
            MakeListItem(Line(two)), MakeListItem(Line(one)), MakeListItem(Line(dir.Path() / "Jazz" / "gone.mp3"))}));
    EXPECT_EQ(player.calls, (Lines{"buttons"}));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[0].find("list.m3u8"), std::string::npos);
    EXPECT_NE(dialogs.messages[0].find(": 1."), std::string::npos);
    EXPECT_NE(dialogs.messages[1].find("nothing.mp3"), std::string::npos);

    external.OpenFiles({dir.Path() / "nothing.mp3"});
    EXPECT_EQ(form.CurrentListBox.Count(), 3);
}

TEST_F(ExternalTracks, DroppedFoldersAddTheirTracksByNameAndOtherFilesAreNamed)
{
    form.CaptionPrefix = "Jazz";
    const fs::path first = Track("Jazz", "a.mp3");
    Show({Line(first)});
    const fs::path c = Track("Rock", "c.WAV");
    const fs::path b = Track("Rock", "b.mp3");
    Track("Rock/deeper", "d.mp3");
    PutFile(dir.Path() / "Rock" / "cover.jpg", "jpg");
    PutFile(dir.Path() / "notes.txt", "txt");

    external.DropFiles({dir.Path() / "Rock", dir.Path() / "notes.txt", first});
    EXPECT_EQ(Items(form.CurrentListBox),
        (Lines{MakeListItem(Line(first)), MakeListItem(Line(b)), MakeListItem(Line(c)), MakeListItem(Line(first))}));
    EXPECT_EQ(form.CaptionPrefix, "Jazz+Rock");
    EXPECT_EQ(dialogs.messages, Lines{"Это не музыка, не добавлено: notes.txt"});
    EXPECT_TRUE(player.calls.empty());
}

TEST_F(ExternalTracks, OpenDialogAcceptsPlaylists)
{
    const fs::path one = Track("Rock", "a.mp3");
    const fs::path playlist = dir.Path() / "Rock" / "list.m3u";
    PutFile(playlist, "a.mp3\r\n");
    dialogs.openedFiles = {{playlist}};
    currentList.OpenOtherMusic();
    EXPECT_EQ(Items(form.CurrentListBox), Lines{MakeListItem(Line(one))});
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ExternalTracks, CurrentListSavedAsM3u8ReadsBackAndFailuresKeepTheOldFile)
{
    M3uExport exporter{form, dialogs};
    exporter.SaveAsM3u();
    EXPECT_EQ(dialogs.messages, Lines{" Список пуст, сохранять нечего"});
    EXPECT_TRUE(dialogs.savePrompts.empty());

    const fs::path a = Track("Rock", "Ночь.mp3");
    const fs::path b = Track("Jazz", "b c.wav");
    Show({Line(a), Line(b)});
    form.CurrentListName = "Вечер";
    const fs::path out = dir.Path() / "out";
    dialogs.savedFiles = {out};
    exporter.SaveAsM3u();
    EXPECT_EQ(dialogs.savePrompts, Lines{"Вечер.m3u8"});
    const auto bytes = ReadFileBytes(dir.Path() / "out.m3u8");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string{BytesView(*bytes)}, "#EXTM3U\n" + a.string() + "\n" + b.string() + "\n");
    EXPECT_EQ(ReadM3u(dir.Path() / "out.m3u8").tracks, (std::vector<fs::path>{a, b}));

    // Cancelled: nothing written; a failed write keeps the earlier file and says why.
    Show({Line(a)});
    exporter.SaveAsM3u();
    dialogs.savedFiles = {dir.Path() / "out.m3u8"};
    FailNextWriteAfter(3);
    exporter.SaveAsM3u();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(ReadM3u(dir.Path() / "out.m3u8").tracks, (std::vector<fs::path>{a, b}));
}

} // namespace
} // namespace kalvotune::playlists
