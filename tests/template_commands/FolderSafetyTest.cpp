#include "template_commands/Installation.hpp"
#include "template_commands/Recording.hpp"
#include "templates/TemplateFolders.hpp"

#include "playback/PlayerFixture.hpp"
#include "support/WriteFaults.hpp"

namespace kalvotune::template_commands {
namespace {

namespace fs = std::filesystem;

/// A program folder whose `Data` holds a handed-out template and whose own folder holds
/// files a damaged name must never reach.
class FolderSafetyTest : public playback::PlayerTest {
protected:
    FolderSafetyTest()
    {
        fs::create_directories(Data() / "Вальс");
        for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
            EXPECT_TRUE(WriteFileAtomically(Data() / "Вальс" / file, std::string_view{file}).ok);
        EXPECT_TRUE(WriteFileAtomically(m_dir.Path() / "SetGet.kvt", std::string_view{"settings"}).ok);
    }

    fs::path Data() const { return m_dir.Path() / "Data"; }

    std::size_t EntriesOf(const fs::path& folder) const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator{folder}, fs::directory_iterator{}));
    }

    Recording m_recording{m_form, m_fakes.services, m_player};
};

TEST_F(FolderSafetyTest, FailedCopyKeepsTheOldFolderAndLeavesNoPartialOne)
{
    FailReadsOf(Data() / "Вальс" / "Red.kvt");
    const templates::TemplateFolderResult unreadable = templates::MakeTemplateFolder(Data(), "Вальс", m_fakes.random);
    FailReadsOf(std::nullopt);
    EXPECT_FALSE(unreadable.ok);
    EXPECT_NE(unreadable.message.find("Red.kvt"), std::string::npos);

    FailNextWriteAfter(1); // the first copy runs out of space
    const templates::TemplateFolderResult full = templates::MakeTemplateFolder(Data(), "Вальс", m_fakes.random);
    EXPECT_FALSE(full.ok);
    EXPECT_NE(full.message.find("Blu.kvt"), std::string::npos);
    EXPECT_NE(full.message.find("Шаблон <Вальс> оставлен как был."), std::string::npos);

    EXPECT_EQ(EntriesOf(Data()), 1u);
    EXPECT_EQ(EntriesOf(Data() / "Вальс"), 4u);
    EXPECT_EQ(ReadFileBytes(Data() / "Вальс" / "Red.kvt"), (Bytes{'R', 'e', 'd', '.', 'k', 'v', 't'}));

    // Installing under a failing copy: said so, and no registry line for it.
    const fs::path track = Music() / "Вальс.mp3";
    std::ofstream{track} << "audio";
    m_fakes.dialogs.openedFiles.push_back({track});
    FailReadsOf(Data() / "Вальс" / "Speed.kvt");
    InstallTemplateFolders(m_form, m_fakes.services);
    FailReadsOf(std::nullopt);
    EXPECT_NE(m_fakes.dialogs.messages.back().find("Speed.kvt"), std::string::npos);
    EXPECT_TRUE(ReadList("Kalvotune").empty());
    EXPECT_EQ(EntriesOf(Data() / "Вальс"), 4u);
}

TEST_F(FolderSafetyTest, FolderThatCannotBeMadeIsReported)
{
    const templates::TemplateFolderResult made
        = templates::MakeTemplateFolder(m_dir.Path() / "NoSuchData", "Вальс", m_fakes.random);
    EXPECT_FALSE(made.ok);
    EXPECT_NE(made.message.find("NoSuchData"), std::string::npos);
    EXPECT_EQ(EntriesOf(Data() / "Вальс"), 4u);
}

TEST_F(FolderSafetyTest, DeleteFolderTreeNeverLeavesData)
{
    const fs::path root = m_dir.Path();
    for (const fs::path& target :
        {Data() / "", Data() / ".", Data() / "..", Data() / "Вальс" / "..", Data() / "../Lists", Data() / "x/../..",
            fs::path{"/"}, root, Data(), root / "Lists", Data() / "Вальс/sub", fs::path{}})
        EXPECT_FALSE(templates::DeleteFolderTree(target)) << target;
    EXPECT_TRUE(fs::is_directory(root / "Lists"));
    EXPECT_EQ(EntriesOf(Data() / "Вальс"), 4u);

    // A regular file is no template folder; a link is removed and its target kept.
    EXPECT_FALSE(templates::DeleteFolderTree(Data() / "Вальс" / "Blu.kvt"));
    fs::create_directory_symlink(root / "Lists", Data() / "link");
    EXPECT_TRUE(templates::DeleteFolderTree(Data() / "link"));
    EXPECT_TRUE(fs::is_regular_file(root / "Lists" / "Kalvotune"));
    EXPECT_TRUE(templates::DeleteFolderTree(Data() / "Вальс"));
    EXPECT_FALSE(fs::exists(Data() / "Вальс"));
}

TEST_F(FolderSafetyTest, DamagedTemplateNamesInTheRegistryNeverWriteOutsideData)
{
    const fs::path track = AddTrack("a.mp3", 2'000, true);
    for (const std::string name : {"..", ".", "", "/tmp", "../Lists", "x/.."}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(templates::IsPlainFolderName(name));
        WriteList("Kalvotune", {"*" + track.string() + "*" + name + "*"});
        DoubleClick(0);
        m_recording.SaveSynchronisedTemplate();
        EXPECT_FALSE(fs::exists(m_dir.Path() / "Speed.kvt"));
        EXPECT_FALSE(fs::exists(Data() / "Speed.kvt"));
        EXPECT_FALSE(fs::exists(ListsDir() / "Speed.kvt"));

        // The still-picture save treats the damaged line as a vanished folder: a new
        // folder inside `Data` replaces it.
        m_fakes.dialogs.messages.clear();
        m_recording.SaveStillTemplate();
        EXPECT_EQ(m_fakes.dialogs.messages.back(), " OK! ");
        const std::string folder = m_lists.LookUpTemplateName(track);
        EXPECT_TRUE(templates::IsPlainFolderName(folder)) << folder;
        EXPECT_TRUE(fs::is_regular_file(Data() / folder / "Speed.kvt"));
        EXPECT_EQ(ReadList("Kalvotune").size(), 1u);
    }
    EXPECT_EQ(ReadFileBytes(m_dir.Path() / "SetGet.kvt"), (Bytes{'s', 'e', 't', 't', 'i', 'n', 'g', 's'}));
}

} // namespace
} // namespace kalvotune::template_commands
