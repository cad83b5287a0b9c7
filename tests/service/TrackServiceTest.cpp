#include "ServiceFixture.hpp"

#include "core/FileIO.hpp"
#include "playlists/M3u.hpp"
#include "support/WriteFaults.hpp"

namespace kalvotune::service {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDeleteDone{"Выбранные треки и соответствующие ЦМШ удалены, а Ваши списки отредактированны. "};

class NoPatterns : public playback::PatternControl {
public:
    void RunPatterns(bool) override { }
    void SelectFigures() override { }
};

TEST_F(ServiceTest, DeletingATrackRemovesEveryLineItsTemplateAndPrunesVanishedLists)
{
    const fs::path waltz = Track("Вальс.mp3");
    const fs::path tango = Track("Танго.mp3");
    TemplateFolder("Вальс123");
    TemplateFolder("0"); // a folder that happens to be named like the "no template" field
    Put("Kalvotune", {Line(tango, "Танго7"), Line(waltz, "Вальс123")});
    Put("Мой", {Line(waltz), Line(tango), "5" + Line(waltz)}); // twice, once with a tag
    Put("MyLists", {"Kalvotune", "Калейдоскоп", "Исчезнувший", "Мой"});
    Put("Калейдоскоп", {Line(tango)});
    const ino_t untouched = Inode("Калейдоскоп");
    Show({waltz, tango}, true);
    dialogs.openedFiles.push_back({waltz});

    service.DeleteSelectedTracks();

    EXPECT_EQ(dialogs.questions.at(0),
        "ВНИМАНИЕ! УДАЛЕНИЕ | Tреки, которые Вы выберите в следующем диалоге, а также соответствующие ЦМШ, будут "
        "удалены мимо 'Корзины'. Продолжить?");
    EXPECT_FALSE(fs::exists(waltz));
    EXPECT_FALSE(fs::exists(DataDir() / "Вальс123"));
    EXPECT_TRUE(fs::exists(DataDir() / "0"));
    EXPECT_EQ(Read("Kalvotune"), Lines{Line(tango, "Танго7")});
    EXPECT_EQ(Read("Мой"), Lines{Line(tango)});
    EXPECT_EQ(Inode("Калейдоскоп"), untouched); // held no line of the track: not written
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Мой"}));
    EXPECT_EQ(Read("TempFile"), Lines{Line(tango)});
    EXPECT_EQ(Paths(), Lines{tango.string()});
    EXPECT_EQ(form.CurrentListBox.SelectedCount(), 0);
    EXPECT_EQ(form.PathsBox.Count(), 1);
    EXPECT_EQ(dialogs.messages, Lines{kDeleteDone});
}

TEST_F(ServiceTest, ATrackThatCannotBeDeletedKeepsItsLinesAndTemplate)
{
    const fs::path stuck = Track("Занят.mp3");
    const fs::path gone = Track("Свободен.mp3");
    TemplateFolder("Занят1");
    Put("Kalvotune", {Line(stuck, "Занят1")});
    Put("Мой", {Line(stuck), Line(gone)});
    files.busy.insert(stuck);
    dialogs.openedFiles.push_back({stuck, gone});

    service.DeleteSelectedTracks();

    EXPECT_TRUE(fs::exists(stuck));
    EXPECT_TRUE(fs::exists(DataDir() / "Занят1" / "Speed.kvt"));
    EXPECT_EQ(Read("Kalvotune"), Lines{Line(stuck, "Занят1")});
    EXPECT_EQ(Read("Мой"), Lines{Line(stuck)});
    EXPECT_EQ(dialogs.messages,
        (Lines{"Трек  " + stuck.string()
                + "  сейчас недоступен. Возможно он занят каким-нибудь приложением. Он оставлен в списках вместе со "
                  "своим ЦМШ. ",
            "Удалено треков: 1 из 2. Их строки убраны из Ваших списков, а их ЦМШ удалены. Не удалено: 1 (о них сказано "
            "выше); они остались в списках вместе со своими ЦМШ. "}));

    // When no file could go, nothing is said to be deleted.
    dialogs.messages.clear();
    dialogs.openedFiles.push_back({stuck});
    service.DeleteSelectedTracks();
    EXPECT_TRUE(fs::exists(stuck));
    EXPECT_EQ(Read("Kalvotune"), Lines{Line(stuck, "Занят1")});
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1], "Ни один из выбранных треков не удалён: списки и ЦМШ остались как были. ");
}

TEST_F(ServiceTest, DeleteSaysWhichListsKeptTheLinesWhenTheirWriteFailed)
{
    const fs::path track = Track("Вальс.mp3");
    TemplateFolder("Вальс1");
    Put("Kalvotune", {Line(track, "Вальс1")});
    Put("Мой", {Line(track)});
    dialogs.openedFiles.push_back({track});
    FailWritesOf(ListsDir() / "Kalvotune");

    service.DeleteSelectedTracks();
    FailWritesOf(std::nullopt);

    EXPECT_FALSE(fs::exists(track));
    EXPECT_EQ(Read("Мой"), Lines{});
    // The registry still names the template, so the template stays.
    EXPECT_EQ(Read("Kalvotune"), Lines{Line(track, "Вальс1")});
    EXPECT_TRUE(fs::exists(DataDir() / "Вальс1"));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[0].find("Kalvotune"), std::string::npos) << dialogs.messages[0];
    EXPECT_EQ(dialogs.messages[1].find("а Ваши списки отредактированны"), std::string::npos);
    EXPECT_NE(dialogs.messages[1].find("остались строки удаленных треков"), std::string::npos);
}

TEST_F(ServiceTest, AListThatCannotBeReadStopsTheCommandBeforeAnythingChanges)
{
    const fs::path track = Track("a.mp3");
    Put("Kalvotune", {Line(track, "a1")});
    Put("Мой", {Line(track)});
    FailReadsOf(ListsDir() / "Мой");
    dialogs.openedFiles.push_back({track});
    service.DeleteSelectedTracks();
    FailReadsOf(std::nullopt);

    EXPECT_TRUE(fs::exists(track));
    EXPECT_EQ(Read("Kalvotune"), Lines{Line(track, "a1")});
    EXPECT_EQ(Read("Мой"), Lines{Line(track)});
    EXPECT_FALSE(fs::exists(ListsDir() / "TempFile"));
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_NE(dialogs.errors[0].find((ListsDir() / "Мой").string()), std::string::npos);
    EXPECT_TRUE(dialogs.messages.empty());

    // A registry that vanished while the program runs stops a move the same way.
    fs::remove(ListsDir() / "Kalvotune");
    dialogs.openedFiles.push_back({track});
    dialogs.folders.push_back(Elsewhere());
    service.MoveSelectedTracks();
    EXPECT_TRUE(fs::exists(track));
    EXPECT_FALSE(fs::exists(Elsewhere() / "a.mp3"));
    EXPECT_EQ(Read("MyLists"), (Lines{"Kalvotune", "Калейдоскоп", "Мой"}));
    EXPECT_EQ(dialogs.errors.size(), 2u);
}

TEST_F(ServiceTest, AMovedTrackKeepsItsTemplateAndTheListsPointAtAFileThatExistsThroughout)
{
    const fs::path waltz = Track("Вальс.mp3");
    TemplateFolder("Вальс5");
    // The registry line lacks its closing '*': its field is still found.
    Put("Kalvotune", {"*" + waltz.string() + "*Вальс5"});
    Put("Мой", {Line(waltz), Line(Music() / "other.mp3")});
    Show({waltz});
    const fs::path moved = Elsewhere() / "Вальс.mp3";
    files.otherFileSystem = true; // copied, then the old file deleted
    Lines listsWhenDeleting;
    files.beforeRemove = [&](const fs::path&) {
        listsWhenDeleting = Read("Мой");
        EXPECT_TRUE(fs::exists(moved));
    };
    dialogs.openedFiles.push_back({waltz});
    dialogs.folders.push_back(Elsewhere());

    service.MoveSelectedTracks();

    EXPECT_EQ(listsWhenDeleting, (Lines{Line(moved), Line(Music() / "other.mp3")}));
    EXPECT_FALSE(fs::exists(waltz));
    EXPECT_EQ(Content(moved), "audio of Вальс.mp3");
    EXPECT_EQ(Read("Kalvotune"), Lines{Line(moved, "Вальс5")});
    EXPECT_EQ(lists.LookUpTemplateName(moved), "Вальс5");
    EXPECT_TRUE(fs::exists(DataDir() / "Вальс5" / "Speed.kvt"));
    EXPECT_EQ(Paths(), Lines{moved.string()});
    EXPECT_EQ(dialogs.messages, Lines{"OK"});
}

TEST_F(ServiceTest, AMoveNeverReplacesAFileAndAStubbornOldFileIsReported)
{
    const fs::path here = Track("here.mp3");
    const fs::path clash = Track("clash.mp3");
    const fs::path stuck = Track("stuck.mp3");
    std::ofstream{Elsewhere() / "clash.mp3"} << "another song";
    Put("Мой", {Line(here), Line(clash), Line(stuck)});
    const ino_t before = Inode("Мой");
    files.busy.insert(stuck);

    // Into its own folder: nothing changes at all.
    dialogs.openedFiles.push_back({here});
    dialogs.folders.push_back(Music());
    service.MoveSelectedTracks();
    EXPECT_EQ(Content(here), "audio of here.mp3");
    EXPECT_EQ(Inode("Мой"), before);
    EXPECT_EQ(dialogs.messages,
        (Lines{
            "Увы, трек < " + here.string() + " > переместить не удалось. Возможно в папке уже есть такой же.", "OK"}));

    dialogs.messages.clear();
    dialogs.openedFiles.push_back({clash, stuck});
    dialogs.folders.push_back(Elsewhere());
    service.MoveSelectedTracks();
    EXPECT_EQ(Content(Elsewhere() / "clash.mp3"), "another song");
    EXPECT_TRUE(fs::exists(clash));
    EXPECT_TRUE(fs::exists(stuck));
    EXPECT_TRUE(fs::exists(Elsewhere() / "stuck.mp3"));
    EXPECT_EQ(Read("Мой"), (Lines{Line(here), Line(clash), Line(Elsewhere() / "stuck.mp3")}));
    EXPECT_EQ(dialogs.messages,
        (Lines{"Увы, трек < " + clash.string() + " > переместить не удалось. Возможно в папке уже есть такой же.",
            " Tрек < " + stuck.string()
                + " > скопирован успешно, но из старой папки отказывается уходить. Возможно он занят. Пожалуйста, "
                  "удалите его позже вручную. ",
            "OK"}));
}

TEST_F(ServiceTest, AListThatCannotBeWrittenKeepsTheOldFileItNames)
{
    const fs::path track = Track("a.mp3");
    Show({track});
    dialogs.openedFiles.push_back({track});
    dialogs.folders.push_back(Elsewhere());
    FailNextWriteAfter(0); // the current list, written first, hits a full disk
    service.MoveSelectedTracks();

    EXPECT_TRUE(fs::exists(track));
    EXPECT_TRUE(fs::exists(Elsewhere() / "a.mp3"));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[0].find("TempFile"), std::string::npos);
    EXPECT_EQ(dialogs.messages[1], "OK");
}

TEST_F(ServiceTest, RenamingKeepsFolderExtensionAndTemplateAndGoesOnAfterAFailure)
{
    const fs::path old = Track("Старый.mp3");
    const fs::path busy = Track("Занят.mp3");
    const fs::path kept = Track("Оставить.mp3");
    const fs::path last = Track("Последний.wav");
    TemplateFolder("Старый9");
    Put("Kalvotune", {Line(old, "Старый9")});
    Put("Мой", {Line(old), Line(kept)});
    Show({old, busy, kept, last}, true);
    Show({old}); // the same track once more, not selected
    files.busy.insert(busy);
    dialogs.inputs = {"Нов?ый", "Новый", "Другое", "", "Финал"};

    service.RenameSelectedTracks();

    const fs::path renamed = Music() / "Новый.mp3";
    EXPECT_FALSE(fs::exists(old));
    EXPECT_EQ(Content(renamed), "audio of Старый.mp3");
    EXPECT_TRUE(fs::exists(busy));
    EXPECT_TRUE(fs::exists(kept)); // an empty name counts as Cancel
    EXPECT_TRUE(fs::exists(Music() / "Финал.wav"));
    EXPECT_EQ(Read("Kalvotune"), Lines{Line(renamed, "Старый9")});
    EXPECT_EQ(Read("Мой"), (Lines{Line(renamed), Line(kept)}));
    EXPECT_EQ(Paths(),
        (Lines{renamed.string(), busy.string(), kept.string(), (Music() / "Финал.wav").string(), renamed.string()}));
    EXPECT_TRUE(form.CurrentListBox.Item(0).starts_with("Новый "));
    // Only the cancelled entry stays selected.
    EXPECT_EQ(form.CurrentListBox.SelectedCount(), 1);
    EXPECT_TRUE(form.CurrentListBox.Selected(2));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_NE(dialogs.messages[0].find("закорючки"), std::string::npos);
    EXPECT_EQ(
        dialogs.messages[1], " Переименовать Занят не удается. Возможно трек сейчас занят каким-нибудь приложением ");

    dialogs.messages.clear();
    form.CurrentListBox.SelectAll(false);
    service.RenameSelectedTracks();
    EXPECT_EQ(dialogs.messages, Lines{" Пожалуйста,  выделите переименуемые треки "});
}

TEST_F(ServiceTest, ThePlayingTrackRenamedOrMovedKeepsPlayingUnderItsNewName)
{
    NoPatterns patterns;
    playback::Player player{form, services, lists, patterns};
    const fs::path song = Track("Песня.mp3");
    Show({song}, true);
    player.PlayOrNext();
    ASSERT_EQ(device.Mode(), DeviceMode::Playing);
    ASSERT_EQ(form.caption, " Калейдоскоп        Песня   (без ЦМШ)");

    form.CurrentListBox.SetSelected(0, true);
    dialogs.inputs = {"Припев"};
    service.RenameSelectedTracks();
    const fs::path renamed = Music() / "Припев.mp3";
    EXPECT_EQ(form.CurrentTrackName, renamed);
    EXPECT_EQ(form.TrackTitle, "Припев");
    EXPECT_EQ(form.caption, " Калейдоскоп        Припев   (без ЦМШ)");
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);

    dialogs.openedFiles.push_back({renamed});
    dialogs.folders.push_back(Elsewhere());
    service.MoveSelectedTracks();
    EXPECT_EQ(form.CurrentTrackName, Elsewhere() / "Припев.mp3");
    EXPECT_EQ(device.Mode(), DeviceMode::Playing);
    EXPECT_EQ(Read("Былое"), Lines{Line(Elsewhere() / "Припев.mp3")});
}

TEST_F(ServiceTest, CopyingReplacesAtTheTargetAndTouchesNoList)
{
    const fs::path a = Track("a.mp3");
    const fs::path b = Track("b.mp3");
    std::ofstream{Elsewhere() / "a.mp3"} << "old copy";
    Put("Мой", {Line(a)});
    const ino_t before = Inode("Мой");
    form.PathsBox.Add(a.string());
    form.PathsBox.Add(b.string());
    form.PathsBox.Add("relative.mp3");

    // "No" with nothing selected copies nothing and still says OK.
    dialogs.answers = {false};
    dialogs.folders.push_back(Elsewhere());
    service.CopySelectedTracks();
    EXPECT_FALSE(fs::exists(Elsewhere() / "b.mp3"));
    EXPECT_EQ(dialogs.messages, (Lines{"Копируем только выделенные треки", "OK"}));
    EXPECT_EQ(dialogs.questions, Lines{"Копирование| Копировать все треки по списку?"});

    dialogs.messages.clear();
    form.PathsBox.SelectAll(true);
    dialogs.answers = {true};
    dialogs.folders.push_back(Elsewhere());
    service.CopySelectedTracks();
    EXPECT_EQ(Content(Elsewhere() / "a.mp3"), "audio of a.mp3");
    EXPECT_EQ(Content(Elsewhere() / "b.mp3"), "audio of b.mp3");
    EXPECT_TRUE(fs::exists(a));
    EXPECT_FALSE(form.PathsBox.Selected(0));
    EXPECT_TRUE(form.PathsBox.Selected(2)); // a failed copy leaves its entry as it was
    EXPECT_EQ(Inode("Мой"), before);
    EXPECT_EQ(dialogs.messages, Lines{"OK"});

    // Copying a file onto itself fails and leaves it whole.
    form.PathsBox.SelectAll(true);
    dialogs.answers = {true};
    dialogs.folders.push_back(Music());
    service.CopySelectedTracks();
    EXPECT_EQ(Content(a), "audio of a.mp3");
    EXPECT_TRUE(form.PathsBox.Selected(0));
}

TEST_F(ServiceTest, ListsFromWindowsFindTheirTracksAndTemplatesStayWithThem)
{
    fs::create_directories(Music() / "Артист" / "Альбом");
    fs::create_directories(Music() / "Сборник" / "Альбом");
    fs::create_directories(Music() / "Другой");
    const fs::path waltzHere = Track("Вальс.mp3", Music() / "Артист" / "Альбом");
    Track("ВАЛЬС.MP3", Music() / "Сборник" / "Альбом");
    Track("Танго.mp3", Music() / "Другой");
    Track("Танго.mp3", Music() / "Сборник");
    const fs::path here = Track("Здесь.mp3");
    // Files written on Windows: Windows-1251, CR LF, backslash paths.
    const std::string oldWaltz = "C:\\Музыка\\Артист\\Альбом\\Вальс.mp3";
    const auto windowsFile = [&](const std::string& name, const Lines& lines) {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\r\n";
        ASSERT_TRUE(WriteFileAtomically(ListsDir() / name, *playlists::Utf8ToCp1251(text)).ok);
    };
    windowsFile("Kalvotune", {"*" + oldWaltz + "*Вальс123*", "*D:\\Танго.mp3*Танго7*"});
    windowsFile("Мой", {"*" + oldWaltz + "*0*", "*D:\\Танго.mp3*0*", "*E:\\Нет\\Пропал.mp3*0*", Line(here)});
    windowsFile("Былое", {"*" + oldWaltz + "*0*"});
    Put("MyLists", {"Kalvotune", "Калейдоскоп", "Мой"}); // "Былое" is read although not named
    const ino_t untouched = Inode("Калейдоскоп");
    form.CurrentListBox.Add(playlists::MakeListItem("*" + oldWaltz + "*0*"));
    form.CurrentListBox.Add(playlists::MakeListItem(Line(here)));
    EXPECT_EQ(playlists::TrackTitleOf(oldWaltz), "Вальс");

    // "No" changes nothing.
    dialogs.folders = {Music(), Music()};
    dialogs.answers = {false, true};
    const ino_t before = Inode("Мой");
    service.SearchMovedTracks();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0], "Найти перемещённые треки|Найдено 1 из 3 треков; 1 неоднозначных. Заменить пути?");
    EXPECT_EQ(Inode("Мой"), before);
    EXPECT_EQ(Paths()[0], oldWaltz);

    service.SearchMovedTracks();
    const std::string waltzLine = Line(waltzHere, "Вальс123");
    EXPECT_EQ(Read("Kalvotune"), (Lines{waltzLine, "*D:\\Танго.mp3*Танго7*"}));
    EXPECT_EQ(Read("Мой"), (Lines{Line(waltzHere), "*D:\\Танго.mp3*0*", "*E:\\Нет\\Пропал.mp3*0*", Line(here)}));
    EXPECT_EQ(Read("Былое"), Lines{Line(waltzHere)});
    EXPECT_EQ(Inode("Калейдоскоп"), untouched);
    EXPECT_EQ(Paths(), (Lines{waltzHere.string(), here.string()}));
    // Still Windows-1251 with CR LF, as the lists came.
    const std::string bytes = Content(ListsDir() / "Мой");
    EXPECT_FALSE(bytes.starts_with("\xEF\xBB\xBF"));
    EXPECT_NE(bytes.find("\xCF\xF0\xEE\xEF\xE0\xEB.mp3*0*\r\n"), std::string::npos); // "Пропал" in Windows-1251
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
        "Пути заменены: 1.\n\nНе найдены, пути оставлены как были:\nE:\\Нет\\Пропал.mp3\n\n"
        "Найдено несколько файлов с таким именем, пути оставлены как были:\nD:\\Танго.mp3");
    // The relinked track finds its template.
    EXPECT_EQ(lists.LookUpTemplateName(waltzHere), "Вальс123");
}

TEST_F(ServiceTest, MissingEntriesOfAnOpenedPlaylistAreRelinked)
{
    fs::create_directories(Music() / "Артист");
    const fs::path waltz = Track("Вальс.mp3", Music() / "Артист");
    const fs::path tango = Track("Танго.mp3");
    const fs::path here = Track("Здесь.mp3");
    // A playlist another player wrote on Windows, and one that names a folder that moved.
    ASSERT_TRUE(WriteFileAtomically(Elsewhere() / "old.m3u8",
        std::string{"#EXTM3U\r\n#EXTINF:1,Вальс\r\nC:\\Музыка\\Артист\\Вальс.mp3\r\n"} + "http://radio.example/live\r\n"
            + here.string() + "\r\n")
                    .ok);
    ASSERT_TRUE(WriteFileAtomically(Elsewhere() / "b.pls", std::string{"[playlist]\nFile1=Старое/Танго.mp3\n"}).ok);
    std::vector<std::string> messages;
    Show(playlists::ExpandPlaylists({Elsewhere() / "old.m3u8", Elsewhere() / "b.pls"}, messages));
    ASSERT_EQ(
        Paths(), (Lines{"C:\\Музыка\\Артист\\Вальс.mp3", here.string(), (Elsewhere() / "Старое/Танго.mp3").string()}));

    dialogs.folders = {Music()};
    dialogs.answers = {true};
    service.SearchMovedTracks();
    EXPECT_EQ(
        dialogs.questions, Lines{"Найти перемещённые треки|Найдено 2 из 2 треков; 0 неоднозначных. Заменить пути?"});
    EXPECT_EQ(Paths(), (Lines{waltz.string(), here.string(), tango.string()}));
}

TEST_F(ServiceTest, ARelinkOntoATrackWithItsOwnRegistryLineKeepsTheNewerTemplate)
{
    const fs::path waltz = Track("Вальс.mp3");
    const fs::path tango = Track("Танго.mp3");
    const fs::path other = Track("Другой.mp3", Elsewhere());
    for (const char* folder : {"ВальсСтарый", "ВальсНовый", "ТангоСтарый", "ТангоНовый", "Другой"})
        TemplateFolder(folder);
    // The user made a template for the waltz here and later brought the newer one from
    // Windows; for the tango the one made here is the newer.
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(DataDir() / "ВальсНовый", now - std::chrono::hours{1});
    fs::last_write_time(DataDir() / "ВальсСтарый", now - std::chrono::hours{2});
    fs::last_write_time(DataDir() / "ТангоНовый", now - std::chrono::hours{1});
    fs::last_write_time(DataDir() / "ТангоСтарый", now - std::chrono::hours{2});
    Put("Kalvotune",
        {"*C:\\Музыка\\Вальс.mp3*ВальсНовый*", "*C:\\Музыка\\Танго.mp3*ТангоСтарый*", Line(waltz, "ВальсСтарый"),
            Line(tango, "ТангоНовый"), Line(other, "Другой")});

    dialogs.folders = {Music()};
    dialogs.answers = {true};
    service.SearchMovedTracks();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0],
        "Найти перемещённые треки|Найдено 2 из 2 треков; 0 неоднозначных.\n\nУ этих треков уже есть своя строка в "
        "реестре: останется более новый ЦМШ, более старый будет удалён вместе со своей строкой:\n"
            + tango.string() + " (ЦМШ ТангоСтарый)\n" + waltz.string() + " (ЦМШ ВальсСтарый)\n\nЗаменить пути?");

    // One line per track, sorted as every registry write leaves it; the older folders gone.
    const Lines registry = Read("Kalvotune");
    EXPECT_EQ(registry, (Lines{Line(other, "Другой"), Line(waltz, "ВальсНовый"), Line(tango, "ТангоНовый")}));
    EXPECT_TRUE(std::is_sorted(registry.begin(), registry.end(), ListTextLess));
    EXPECT_TRUE(fs::exists(DataDir() / "ВальсНовый"));
    EXPECT_TRUE(fs::exists(DataDir() / "ТангоНовый"));
    EXPECT_FALSE(fs::exists(DataDir() / "ВальсСтарый"));
    EXPECT_FALSE(fs::exists(DataDir() / "ТангоСтарый"));
    EXPECT_EQ(lists.LookUpTemplateName(waltz), "ВальсНовый");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
        "Пути заменены: 2.\n\nУ этих треков была вторая строка в реестре: оставлен более новый ЦМШ, более старый "
        "удалён "
        "вместе со своей строкой:\n"
            + tango.string() + " (ЦМШ ТангоСтарый)\n" + waltz.string() + " (ЦМШ ВальсСтарый)");
}

TEST_F(ServiceTest, FindingMovedTracksStopsAtAnUnreadableListAndSaysWhenNothingIsMissing)
{
    const fs::path waltz = Track("Вальс.mp3");
    Put("Мой", {"*C:\\Вальс.mp3*0*"});
    Put("Большой", {});
    Put("MyLists", {"Kalvotune", "Большой", "Мой"});
    fs::resize_file(ListsDir() / "Большой", playlists::kMaxListFileBytes + 1);
    dialogs.folders = {Music(), dir.Path() / "нет", Music()};
    service.SearchMovedTracks();
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_NE(dialogs.errors[0].find("Большой"), std::string::npos);
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(Read("Мой"), Lines{"*C:\\Вальс.mp3*0*"});

    // A folder the walk could not read is named before the rest is said.
    const auto broken
        = [](const fs::path&, std::vector<fs::directory_entry>&) { return std::make_error_code(std::errc::io_error); };
    fs::create_directory(Music() / "Диск");
    fs::remove(ListsDir() / "Большой");
    service.MusicIndexed(BuildMusicIndex(Music(), {}, {}, [&](const fs::path& at, auto& entries) {
        if (at == Music() / "Диск")
            return broken(at, entries);
        for (const fs::directory_entry& entry : fs::directory_iterator{at})
            entries.push_back(entry);
        return std::error_code{};
    }));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0],
        "Эти папки прочитать не удалось, треки в них не искались:\n" + (Music() / "Диск").string()
            + ": Input/output error");
    EXPECT_EQ(dialogs.messages[1], "Пути заменены: 1."); // the rest was read
    dialogs.questions.clear();

    service.SearchMovedTracks(); // a folder that is not there
    EXPECT_EQ(dialogs.messages.back(), "Папка " + (dir.Path() / "нет").string() + " не найдена.");

    Put("Мой", {Line(waltz)});
    service.SearchMovedTracks();
    EXPECT_EQ(dialogs.messages.back(), "Все треки Ваших списков на месте: искать нечего.");
    EXPECT_TRUE(dialogs.questions.empty());
}

} // namespace
} // namespace kalvotune::service
