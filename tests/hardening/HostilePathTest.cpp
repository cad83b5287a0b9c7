// Names read from files (template fields, list names, track titles) and symbolic links
// inside `Data` and `Lists` never make the program read, write or delete outside them.
#include "app/AppFixture.hpp"
#include "core/FileIO.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/Lists.hpp"
#include "templates/TemplateLoader.hpp"

#include <gtest/gtest.h>

namespace kalvotune {
namespace {

namespace fs = std::filesystem;

/// A program folder beside a folder `outside` that holds a full template and a list, the
/// things a hostile folder would try to reach.
class HostilePathTest : public testing::AppFixture, public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeProgramFolder();
        fs::create_directories(Outside());
        for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
            ASSERT_TRUE(WriteFileAtomically(Outside() / file, std::string_view{"\x09\x09\x09"}).ok);
        ASSERT_TRUE(WriteFileAtomically(Outside() / "secret", std::string_view{"*/secret.mp3*0*\r\n"}).ok);
        ASSERT_TRUE(WriteFileAtomically(Dir() / "Sound" / "Вальс.mp3", std::string_view{"audio"}).ok);
        device.AddFile(Dir() / "Sound" / "Вальс.mp3", 3000);
        m_before = Snapshot();
    }

    fs::path Outside() const { return m_outside.Path(); }
    fs::path Data() const { return Dir() / "Data"; }
    fs::path ListsDir() const { return Dir() / "Lists"; }

    // Every file of `outside` with its bytes, to show that nothing there changed.
    std::map<std::string, std::string> Snapshot() const
    {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator{Outside()}) {
            const auto bytes = ReadFileBytes(entry.path());
            files[entry.path().string()] = bytes ? std::string(bytes->begin(), bytes->end()) : "<folder>";
        }
        return files;
    }

    void RegisterTemplate(const std::string& field)
    {
        ASSERT_TRUE(playlists::WriteListFile(
            ListsDir() / "Kalvotune", {"*" + (Dir() / "Sound" / "Вальс.mp3").string() + "*" + field + "*"})
                        .ok);
    }

    void PlayWaltz()
    {
        Window().CurrentListBox.SelectAll(false);
        Window().CurrentListBox.SetSelected(0, true);
        App().DoubleClick("ListBox1");
        ASSERT_EQ(device.openFile.filename(), "Вальс.mp3");
    }

    testing::TempDir m_outside;
    std::map<std::string, std::string> m_before;
};

TEST_F(HostilePathTest, TemplateFieldsThatLeaveDataLoadNoTemplate)
{
    Start();
    const std::string relative = fs::relative(Outside(), Data()).string();
    for (const std::string& field : std::vector<std::string>{"..", relative, Outside().string(), "a/../../x", "."}) {
        RegisterTemplate(field);
        PlayWaltz();
        EXPECT_TRUE(Window().NoTemplate) << field;
        EXPECT_TRUE(Window().TemplateDir.empty()) << field;
        EXPECT_NE(Window().caption.find("   (без ЦМШ)"), std::string::npos) << field;
        App().Click("StopButton");
    }
    EXPECT_EQ(Snapshot(), m_before);
}

TEST_F(HostilePathTest, LinksInDataLeadingOutAreNotFollowed)
{
    fs::create_directory_symlink(Outside(), Data() / "Вальс7");
    fs::create_directories(Data() / "Вальс8");
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
        fs::create_symlink(Outside() / file, Data() / "Вальс8" / file);
    // A link that stays inside Data is an ordinary folder.
    fs::create_directories(Data() / "Вальс9");
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
        ASSERT_TRUE(WriteFileAtomically(Data() / "Вальс9" / file, std::string_view{"\x04\x04"}).ok);
    fs::create_directory_symlink(Data() / "Вальс9", Data() / "Вальс10");
    Start();

    for (const char* field : {"Вальс7", "Вальс8"}) {
        RegisterTemplate(field);
        PlayWaltz();
        EXPECT_TRUE(Window().NoTemplate) << field;
        EXPECT_NE(Window().channels.Length(), 3) << field;
        App().Click("StopButton");
    }
    RegisterTemplate("Вальс10");
    PlayWaltz();
    EXPECT_FALSE(Window().NoTemplate);
    EXPECT_EQ(Window().channels.Length(), 2);
    EXPECT_EQ(Snapshot(), m_before);
}

TEST_F(HostilePathTest, AShippedTemplateLinkedFromOutsideIsNotCopiedOrRemoved)
{
    // A Sound track whose title names a link in Data to a folder outside.
    fs::create_directory_symlink(Outside(), Data() / "Вальс");
    Start();
    EXPECT_TRUE(fs::is_symlink(Data() / "Вальс"));
    EXPECT_TRUE(playlists::ReadListFile(ListsDir() / "Kalvotune").value().empty());
    EXPECT_EQ(std::distance(fs::directory_iterator{Data()}, fs::directory_iterator{}), 1);
    EXPECT_EQ(Snapshot(), m_before);
}

TEST_F(HostilePathTest, ListNamesFromFilesStayInsideLists)
{
    Start();
    playlists::Lists& lists = App().lists();
    const std::string escape = fs::relative(Outside() / "secret", ListsDir()).string();
    const std::vector<std::string> names{escape, (Outside() / "secret").string(), "..", "a/b", {"a\0b", 3}, ""};
    for (const std::string& name : names)
        EXPECT_TRUE(lists.ListFilePath(name).empty()) << name;
    EXPECT_EQ(lists.ListFilePath("Вальсы"), ListsDir() / "Вальсы");

    // The current list named by a hostile index line: saving it writes nothing outside.
    Window().CurrentListName = escape;
    dialogs.messages.clear();
    App().Click("SaveChangeList");
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(Snapshot(), m_before);
}

TEST_F(HostilePathTest, LinksInListsLeadingOutAreNeitherReadNorWritten)
{
    fs::remove(ListsDir() / "Kalvotune");
    fs::create_symlink(Outside() / "secret", ListsDir() / "Kalvotune");
    fs::create_symlink(Outside() / "secret", ListsDir() / "Былое");
    Start();
    PlayWaltz();
    EXPECT_EQ(Window().TemplateName, "0");
    EXPECT_TRUE(fs::is_symlink(ListsDir() / "Былое"));
    EXPECT_TRUE(fs::is_symlink(ListsDir() / "Kalvotune"));
    EXPECT_EQ(Snapshot(), m_before);
    for (int i = 0; i < Window().MyListsBox.Count(); ++i)
        EXPECT_NE(Window().MyListsBox.Item(i), "*/secret.mp3*0*");
}

TEST(IsWithin, JudgesThePathWithItsLinksResolved)
{
    testing::TempDir dir;
    const fs::path root = dir.Path() / "Lists";
    fs::create_directories(root / "inner");
    fs::create_directories(dir.Path() / "Lists2");
    EXPECT_TRUE(IsWithin(root, root));
    EXPECT_TRUE(IsWithin(root, root / "not yet there"));
    EXPECT_TRUE(IsWithin(root, root / "inner" / ".." / "x"));
    EXPECT_FALSE(IsWithin(root, root / ".." / "x"));
    EXPECT_FALSE(IsWithin(root, dir.Path() / "Lists2" / "x")) << "a sibling whose name begins alike";
    fs::create_directory_symlink(dir.Path() / "Lists2", root / "away");
    fs::create_directory_symlink(root / "inner", root / "near");
    EXPECT_FALSE(IsWithin(root, root / "away" / "x"));
    EXPECT_TRUE(IsWithin(root, root / "near" / "x"));
    // The root itself may be a link: what counts is where it leads.
    fs::create_directory_symlink(root, dir.Path() / "linked");
    EXPECT_TRUE(IsWithin(dir.Path() / "linked", root / "inner"));
}

TEST(AtomicWrite, RefusesTheEmptyPathWithoutWritingAnywhere)
{
    testing::TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    const WriteResult written = WriteFileAtomically(fs::path{}, std::string_view{"x"});
    fs::current_path(before);
    EXPECT_FALSE(written.ok);
    EXPECT_FALSE(written.message.empty());
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

} // namespace
} // namespace kalvotune
