#include "template_commands/Installation.hpp"

#include "playback/PlayerFixture.hpp"
#include "support/WriteFaults.hpp"

#include <algorithm>

namespace kalvotune::template_commands {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNoFolderQuestion{
    "ВНИМАНИЕ|В моей папке <Data> ЦМШ с таким именем нет. Проверьте регистр буковок, количество пробелов и т.п.Можно "
    "продолжить дальше, если Вы устанавливаете пакетом"};

class InstallationTest : public playback::PlayerTest {
protected:
    fs::path Data() const { return m_dir.Path() / "Data"; }

    /// A handed-out template folder in `Data` whose channel files hold `value`.
    void HandOut(const std::string& folder, std::uint8_t value, bool speedOnly = false)
    {
        fs::create_directories(Data() / folder);
        for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"}) {
            if (!speedOnly || std::string{file} == "Speed.kvt") {
                ASSERT_TRUE(WriteFileAtomically(Data() / folder / file, Bytes(700, value)).ok);
            }
        }
    }

    /// A track file the dialog can give (not in the current list).
    fs::path TrackFile(const fs::path& path)
    {
        fs::create_directories(path.parent_path());
        std::ofstream{path} << "audio";
        m_fakes.device.AddFile(path, 30'000);
        return path;
    }

    void Install(const std::vector<fs::path>& chosen)
    {
        m_fakes.dialogs.openedFiles.push_back(chosen);
        InstallTemplateFolders(m_form, m_fakes.services);
    }

    /// The folders of `Data` whose names start with `prefix`.
    std::vector<std::string> FoldersStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator{Data()})
            if (entry.path().filename().string().starts_with(prefix))
                names.push_back(entry.path().filename().string());
        return names;
    }

    /// Plays `track` as the only entry of the current list and gives the caption.
    std::string CaptionWhenPlaying(const fs::path& track)
    {
        m_form.CurrentListBox.Clear();
        AddTrack(track.filename().string(), 30'000);
        DoubleClick(0);
        return m_form.caption;
    }
};

TEST_F(InstallationTest, HandedOutFolderBecomesARegisteredFullTemplate)
{
    HandOut("Вальс", 3);
    const fs::path track = TrackFile(Music() / "Вальс.mp3");
    Install({track});

    EXPECT_EQ(m_fakes.dialogs.messages.size(), 1u); // the hint only; success says nothing
    // The dialog offers tracks only: a playlist chosen here would be taken for a track.
    EXPECT_EQ(m_fakes.dialogs.openedTracksOnly, std::vector<bool>{true});
    EXPECT_FALSE(fs::exists(Data() / "Вальс"));
    const std::vector<std::string> folders = FoldersStartingWith("Вальс");
    ASSERT_EQ(folders.size(), 1u);
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
        EXPECT_EQ(ReadFileBytes(Data() / folders[0] / file), Bytes(700, 3)) << file;
    EXPECT_EQ(ReadList("Kalvotune"), std::vector<std::string>{"*" + track.string() + "*" + folders[0] + "*"});
    EXPECT_EQ(CaptionWhenPlaying(track), " Калейдоскоп        Вальс");
}

TEST_F(InstallationTest, SpeedOnlyFolderGivesAStillPictureTemplate)
{
    HandOut("Вальс", 30, true);
    const fs::path track = TrackFile(Music() / "Вальс.mp3");
    Install({track});
    const std::vector<std::string> folders = FoldersStartingWith("Вальс");
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator{Data() / folders[0]}, fs::directory_iterator{}), 1);
    EXPECT_EQ(CaptionWhenPlaying(track), " Калейдоскоп        Вальс   (с ШНК)");
}

TEST_F(InstallationTest, SameTitlesAndRepeatedInstallsKeepSeparateFoldersAndLines)
{
    const fs::path first = TrackFile(Music() / "a" / "Вальс.mp3");
    const fs::path second = TrackFile(Music() / "b" / "Вальс.mp3");
    HandOut("Вальс", 1);
    Install({first});
    HandOut("Вальс", 2);
    Install({second});
    EXPECT_NE(m_lists.LookUpTemplateName(first), m_lists.LookUpTemplateName(second));
    EXPECT_EQ(ReadFileBytes(Data() / m_lists.LookUpTemplateName(second) / "Red.kvt"), Bytes(700, 2));

    // A second template for the first track: both lines and folders stay, the first
    // line of the sorted file wins.
    HandOut("Вальс", 5);
    Install({first});
    const std::vector<std::string> registry = ReadList("Kalvotune");
    ASSERT_EQ(registry.size(), 3u);
    EXPECT_TRUE(std::is_sorted(registry.begin(), registry.end(), ListTextLess));
    EXPECT_EQ(FoldersStartingWith("Вальс").size(), 3u);
    const auto firstLine = std::find_if(registry.begin(), registry.end(),
        [&](const std::string& line) { return playlists::LinePath(line) == first.string(); });
    EXPECT_EQ(m_lists.LookUpTemplateName(first), playlists::LineTemplate(*firstLine));
}

TEST_F(InstallationTest, NoForATrackWithoutFolderEndsTheWalkButKeepsWhatWasInstalled)
{
    std::vector<fs::path> chosen;
    for (const char* title : {"one", "two", "three", "four", "five"}) {
        chosen.push_back(TrackFile(Music() / (std::string{title} + ".mp3")));
        if (std::string{title} != "three")
            HandOut(title, 1);
    }
    m_fakes.dialogs.answers = {false};
    Install(chosen);

    EXPECT_EQ(m_fakes.dialogs.questions, std::vector<std::string>{kNoFolderQuestion});
    EXPECT_EQ(ReadList("Kalvotune").size(), 2u);
    EXPECT_NE(m_lists.LookUpTemplateName(chosen[0]), "0");
    EXPECT_NE(m_lists.LookUpTemplateName(chosen[1]), "0");
    EXPECT_TRUE(fs::is_directory(Data() / "four"));
    EXPECT_TRUE(fs::is_directory(Data() / "five"));

    // "Yes" goes on with the next file.
    m_fakes.dialogs.answers = {true};
    Install({chosen[2], chosen[3]});
    EXPECT_EQ(ReadList("Kalvotune").size(), 3u);
    EXPECT_FALSE(fs::exists(Data() / "four"));
}

TEST_F(InstallationTest, FolderDifferingOnlyInLetterCaseIsFoundWhenItIsTheOnlyOne)
{
    HandOut("вальс", 4);
    const fs::path track = TrackFile(Music() / "Вальс.mp3");
    Install({track});
    const std::string folder = m_lists.LookUpTemplateName(track);
    EXPECT_TRUE(folder.starts_with("Вальс")) << folder; // named after the track
    EXPECT_EQ(ReadFileBytes(Data() / folder / "Blu.kvt"), Bytes(700, 4));
    EXPECT_FALSE(fs::exists(Data() / "вальс"));

    // Two candidates and no exact match: the user is asked instead of guessing.
    HandOut("ВАЛЬС", 1);
    HandOut("вАльС", 2);
    m_fakes.dialogs.answers = {true};
    Install({track});
    EXPECT_EQ(m_fakes.dialogs.questions, std::vector<std::string>{kNoFolderQuestion});
    EXPECT_TRUE(fs::is_directory(Data() / "ВАЛЬС") && fs::is_directory(Data() / "вАльС"));

    // The exact name wins over case variants.
    HandOut("Вальс", 3);
    EXPECT_EQ(HandedOutFolder(Data(), "Вальс"), "Вальс");
}

TEST_F(InstallationTest, CancelMissingFileOrUnreadableRegistryChangeNothing)
{
    HandOut("Вальс", 3);
    const fs::path track = TrackFile(Music() / "Вальс.mp3");
    WriteList("Kalvotune", {"*/x/y.mp3*y5*"});

    Install({});
    Install({Music() / "gone.mp3"});
    EXPECT_EQ(m_fakes.dialogs.messages.size(), 3u); // hint, hint, the dialog's missing-file message
    FailReadsOf(ListsDir() / "Kalvotune");
    Install({track});
    FailReadsOf(std::nullopt);
    EXPECT_NE(m_fakes.dialogs.messages.back().find("Kalvotune"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(Data() / "Вальс"));
    EXPECT_EQ(FoldersStartingWith("Вальс").size(), 1u);
    EXPECT_EQ(ReadList("Kalvotune"), std::vector<std::string>{"*/x/y.mp3*y5*"});
}

} // namespace
} // namespace kalvotune::template_commands
