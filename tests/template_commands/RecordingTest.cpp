#include "template_commands/Recording.hpp"

#include "playback/PlayerFixture.hpp"
#include "support/WriteFaults.hpp"
#include "templates/TemplateLoader.hpp"

#include <algorithm>

namespace kalvotune::template_commands {
namespace {

namespace fs = std::filesystem;

Bytes Read(const fs::path& file)
{
    return ReadFileBytes(file).value_or(Bytes{});
}

/// The player of `PlayerTest` with the real template saves wired in.
class RecordingTest : public playback::PlayerTest {
protected:
    RecordingTest() { m_player.SetTemplateSaves(&m_recording); }

    fs::path Data() const { return m_dir.Path() / "Data"; }

    /// Names of the folders in `Data`.
    std::vector<std::string> Folders() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator{Data()})
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    void Write(const fs::path& file, const Bytes& bytes)
    {
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(WriteFileAtomically(file, bytes).ok);
    }

    /// Build and "Yes": the track of the only entry plays from its start, recording.
    void StartRecording()
    {
        m_fakes.dialogs.answers.push_back(true);
        m_recording.ToggleTemplateRecording();
        ASSERT_TRUE(IsPlaying());
        ASSERT_TRUE(m_player.TemplateRecording());
    }

    /// Key presses as they arrive while the scheduler shows `tick`.
    void PressAt(int tick, int times = 1)
    {
        m_form.TemplateTick = tick;
        for (int i = 0; i < times; ++i)
            m_recording.OnRecordingKey();
    }

    /// Plays to the end and answers the save question.
    void EndAnswering(bool yes)
    {
        m_fakes.dialogs.answers.push_back(yes);
        ASSERT_TRUE(PlayToEnd());
    }

    Recording m_recording{m_form, m_fakes.services, m_player};
};

TEST_F(RecordingTest, BuildRestartsTheTrackWithItsMarkersCleared)
{
    const fs::path track = AddTrack("Вальс.mp3", 30'000, true);
    WriteList("Kalvotune", {"*" + track.string() + "*Вальс7*"});
    Bytes speed(650, 5);
    speed[3] = 22;
    speed[4] = 255;
    speed[5] = 21;
    Write(Data() / "Вальс7" / "Speed.kvt", speed);
    m_player.PlayOrNext();
    Tick(5);

    StartRecording();
    EXPECT_EQ(m_fakes.device.PositionMs(), 0);
    EXPECT_EQ(m_form.caption, " Калейдоскоп        Вальс (Внимание! Пишем ЦМШ)");
    EXPECT_EQ(m_form.channels.speed[3], 2);
    EXPECT_EQ(m_form.channels.speed[4], 2);
    EXPECT_EQ(m_form.channels.speed[5], 21);
    EXPECT_EQ(m_form.channels.speed[6], 5);
    EXPECT_TRUE(m_form.keyPreview);
    EXPECT_FALSE(m_form.PlayButton.enabled);
    EXPECT_TRUE(m_form.BuildButton.enabled);

    // A second Build cancels the running recording first, then asks again.
    m_fakes.dialogs.answers = {false};
    m_recording.ToggleTemplateRecording();
    EXPECT_EQ(m_fakes.dialogs.messages.at(0), "Шаблон неподвижных картинок для <Вальс> не изменен");
    EXPECT_EQ(m_fakes.dialogs.messages.at(1),
        " ...и верно!  На kalvotune.example.org почти все есть. Пожелания о ЦМШ - пишите в книгу гостей (страница "
        "Загрузки) ");
    EXPECT_FALSE(m_player.TemplateRecording());
    EXPECT_FALSE(IsPlaying());
    EXPECT_TRUE(m_form.PlayButton.enabled);
    EXPECT_FALSE(m_form.BuildButton.enabled);
    EXPECT_FALSE(m_form.PictureRateSlider.visible);
}

TEST_F(RecordingTest, KeyPressesAddMarkersAtTheTickAndWrap)
{
    AddTrack("a.mp3", 10'000, true);
    m_player.PlayOrNext();
    StartRecording();
    EXPECT_FALSE(m_form.PictureRateSlider.visible); // moving it would wipe the presses
    auto& speed = m_form.channels.speed;
    speed[40] = 0;
    speed[41] = 21;

    const int at7 = speed[7];
    PressAt(7);
    EXPECT_EQ(speed[7], at7 + 22);
    PressAt(40, 11);
    EXPECT_EQ(speed[40], 242);
    PressAt(40);
    EXPECT_EQ(speed[40], 8); // the twelfth press wraps below the marker range
    PressAt(41, 11);
    EXPECT_EQ(speed[41], 7); // from 21 the eleventh already does

    // Ticks the channel does not hold change nothing.
    const Bytes before = speed;
    PressAt(-1);
    PressAt(m_form.channels.Length());
    EXPECT_EQ(speed, before);
}

TEST_F(RecordingTest, NewTemplateGetsAFolderWithSpeedOnlyAndARegistryLine)
{
    const fs::path track = AddTrack("Intro.mp3", 12'400, true);
    m_player.PlayOrNext();
    StartRecording();
    PressAt(10);
    PressAt(55, 2);
    EndAnswering(true);

    const std::vector<std::string> folders = Folders();
    ASSERT_EQ(folders.size(), 1u);
    const std::string folder = folders[0];
    ASSERT_TRUE(folder.starts_with("Intro"));
    EXPECT_EQ(folder.find_first_not_of("0123456789", 5), std::string::npos);
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator{Data() / folder})
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"Speed.kvt"});
    const Bytes speed = Read(Data() / folder / "Speed.kvt");
    ASSERT_EQ(speed.size(), 12u * 20 + 50);
    EXPECT_GT(speed[10], 21);
    EXPECT_EQ(speed[55], m_form.channels.speed[55]);
    EXPECT_EQ(ReadList("Kalvotune"), std::vector<std::string>{"*" + track.string() + "*" + folder + "*"});
    EXPECT_EQ(m_fakes.dialogs.messages, std::vector<std::string>{" OK! "});
    EXPECT_TRUE(m_form.PlayButton.enabled);
    EXPECT_FALSE(m_form.PauseButton.enabled);
    EXPECT_FALSE(m_form.NextTrackTimer.enabled);

    // The next play changes pictures where the user pressed.
    DoubleClick(0);
    EXPECT_EQ(m_form.caption, " Калейдоскоп        Intro   (с ШНК)");
    EXPECT_EQ(m_form.channels.speed, speed);
}

TEST_F(RecordingTest, RegisteredTemplateGetsOnlyItsSpeedFileReplaced)
{
    const fs::path track = AddTrack("Вальс.mp3", 5'000, true);
    const std::vector<std::string> registry{"*" + track.string() + "*Вальс12*", "*/other/x.mp3*x1*"};
    WriteList("Kalvotune", registry);
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
        Write(Data() / "Вальс12" / file, Bytes(60, 9));
    m_player.PlayOrNext();
    StartRecording();
    PressAt(3);
    EndAnswering(true);

    EXPECT_TRUE(m_fakes.dialogs.messages.empty());
    EXPECT_EQ(Folders(), std::vector<std::string>{"Вальс12"});
    EXPECT_EQ(Read(Data() / "Вальс12" / "Speed.kvt")[3], 9 + 22);
    EXPECT_EQ(Read(Data() / "Вальс12" / "Blu.kvt"), Bytes(60, 9));
    EXPECT_EQ(ReadList("Kalvotune"), registry);
}

TEST_F(RecordingTest, TemplateRegisteredDuringTheRecordingTakesThePictureChanges)
{
    // The track starts without template (`TemplateName` "0"); while it is recorded another
    // start of the program (`kalvotune --analyse`) registers a full template for it.
    const fs::path track = AddTrack("Вальс.mp3", 5'000, true);
    m_player.PlayOrNext();
    StartRecording();
    PressAt(3);
    const std::vector<std::string> registry{"*" + track.string() + "*Вальс42*"};
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
        Write(Data() / "Вальс42" / file, Bytes(60, 4));
    WriteList("Kalvotune", registry);
    EndAnswering(true);

    // Neither "Нет папки <0>…" with the line dropped, nor a second folder beside it.
    EXPECT_TRUE(m_fakes.dialogs.messages.empty());
    EXPECT_EQ(ReadList("Kalvotune"), registry);
    EXPECT_EQ(Folders(), std::vector<std::string>{"Вальс42"});
    EXPECT_EQ(Read(Data() / "Вальс42" / "Speed.kvt"), m_form.channels.speed);
    EXPECT_GT(Read(Data() / "Вальс42" / "Speed.kvt")[3], 21);
    EXPECT_EQ(Read(Data() / "Вальс42" / "Blu.kvt"), Bytes(60, 4));
}

TEST_F(RecordingTest, NoAtTheEndWritesNothingAndStops)
{
    AddTrack("a.mp3", 3'000, true);
    AddTrack("b.mp3", 3'000, true);
    m_player.PlayOrNext();
    StartRecording();
    PressAt(3);
    EndAnswering(false);

    EXPECT_TRUE(Folders().empty());
    EXPECT_TRUE(ReadList("Kalvotune").empty());
    EXPECT_FALSE(m_form.NextTrackTimer.enabled);
    EXPECT_TRUE(m_form.PlayButton.enabled);
    EXPECT_FALSE(m_player.TemplateRecording());
}

TEST_F(RecordingTest, VanishedFolderIsReplacedByANewFolderAndLine)
{
    const fs::path track = AddTrack("Вальс.mp3", 5'000, true);
    WriteList("Kalvotune", {"*" + track.string() + "*Вальс5*"});
    m_player.PlayOrNext();
    StartRecording();
    EndAnswering(true);

    ASSERT_EQ(m_fakes.dialogs.messages.size(), 2u);
    EXPECT_EQ(m_fakes.dialogs.messages[0],
        "Нет папки <Вальс5> с шаблонами.  Заведем новую с новым ШНК. Остальные шаблоны (если они были) искать нет "
        "желания. ");
    EXPECT_EQ(m_fakes.dialogs.messages[1], " OK! ");
    const std::vector<std::string> folders = Folders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(ReadList("Kalvotune"), std::vector<std::string>{"*" + track.string() + "*" + folders[0] + "*"});
}

TEST_F(RecordingTest, FailedSavesAreReportedAndNeverFollowedByOk)
{
    const fs::path track = AddTrack("Вальс.mp3", 5'000, true);
    m_player.PlayOrNext();

    // Into an existing folder: the old Speed.kvt stays.
    WriteList("Kalvotune", {"*" + track.string() + "*Вальс12*"});
    Write(Data() / "Вальс12" / "Speed.kvt", Bytes(60, 9));
    StartRecording();
    FailWritesOf(Data() / "Вальс12" / "Speed.kvt");
    EndAnswering(true);
    FailWritesOf(std::nullopt);
    ASSERT_EQ(m_fakes.dialogs.messages.size(), 1u);
    EXPECT_NE(m_fakes.dialogs.messages[0].find("Speed.kvt"), std::string::npos);
    EXPECT_NE(m_fakes.dialogs.messages[0].find("No space left on device"), std::string::npos);
    EXPECT_EQ(Read(Data() / "Вальс12" / "Speed.kvt"), Bytes(60, 9));

    // Into a new folder: no empty folder and no registry line are left behind.
    fs::remove_all(Data() / "Вальс12");
    WriteList("Kalvotune", {});
    m_fakes.dialogs.messages.clear();
    DoubleClick(0);
    StartRecording();
    FailWritesOf("Speed.kvt");
    EndAnswering(true);
    FailWritesOf(std::nullopt);
    EXPECT_TRUE(Folders().empty());
    EXPECT_TRUE(ReadList("Kalvotune").empty());
    ASSERT_EQ(m_fakes.dialogs.messages.size(), 1u);
    EXPECT_NE(m_fakes.dialogs.messages[0].find("Speed.kvt"), std::string::npos);

    // The registry cannot be written: said so, no " OK! ".
    m_fakes.dialogs.messages.clear();
    DoubleClick(0);
    StartRecording();
    FailWritesOf(ListsDir() / "Kalvotune");
    EndAnswering(true);
    FailWritesOf(std::nullopt);
    ASSERT_EQ(m_fakes.dialogs.messages.size(), 1u);
    EXPECT_NE(m_fakes.dialogs.messages[0].find("Kalvotune"), std::string::npos);
    EXPECT_TRUE(ReadList("Kalvotune").empty());
}

TEST_F(RecordingTest, ShiftsMoveEveryChannelByOneTickOnlyWhilePlaying)
{
    AddTrack("a.mp3", 10'000, true);
    m_player.PlayOrNext();
    TemplateChannels& c = m_form.channels;
    for (auto* channel : {&c.blue, &c.green, &c.red, &c.speed})
        for (std::size_t i = 0; i < channel->size(); ++i)
            (*channel)[i] = static_cast<std::uint8_t>(i % 200 + 1);
    const TemplateChannels original = c;
    const std::size_t last = c.speed.size() - 1;

    m_recording.ShiftTemplateBack();
    EXPECT_EQ(c.blue[0], 0);
    EXPECT_EQ(c.red[5], original.red[4]);
    m_recording.ShiftTemplateAhead();
    for (auto [now, before] : {std::pair{&c.blue, &original.blue}, {&c.green, &original.green}, {&c.red, &original.red},
             {&c.speed, &original.speed}}) {
        EXPECT_TRUE(std::equal(now->begin(), now->end() - 1, before->begin()));
        EXPECT_EQ((*now)[last], 0);
    }

    c = original;
    m_recording.ShiftTemplateAhead();
    m_recording.ShiftTemplateBack();
    EXPECT_EQ(c.green[0], 0);
    EXPECT_TRUE(std::equal(c.green.begin() + 1, c.green.end(), original.green.begin() + 1));

    // Paused, stopped, or without channels: nothing moves.
    c = original;
    m_player.PauseTrack();
    m_recording.ShiftTemplateBack();
    m_player.StopTrack();
    m_recording.ShiftTemplateAhead();
    EXPECT_EQ(c.speed, original.speed);
    DoubleClick(0);
    c.Reset(0);
    m_recording.ShiftTemplateBack();
    m_recording.ShiftTemplateAhead();
    EXPECT_EQ(c.Length(), 0);
}

TEST_F(RecordingTest, SynchronisedSaveReplacesAllFourFilesOrNone)
{
    m_recording.ToggleTemplateSync();
    EXPECT_TRUE(m_form.SyncTemplateItem.checked);
    EXPECT_TRUE(m_form.ButtonBack.visible && m_form.ButtonAhead.visible);
    EXPECT_EQ(m_fakes.dialogs.messages.size(), 1u);

    const fs::path track = AddTrack("Вальс.mp3", 3'000, true);
    WriteList("Kalvotune", {"*" + track.string() + "*Вальс3*"});
    const fs::path folder = Data() / "Вальс3";
    Write(folder / "Speed.kvt", Bytes(80, 7));
    m_player.PlayOrNext(); // a still-picture template: random colours
    m_recording.ShiftTemplateBack();

    // A failure on the last file written keeps all four as they were.
    FailWritesOf(folder / "Red.kvt");
    m_fakes.dialogs.answers = {true};
    ASSERT_TRUE(PlayToEnd());
    FailWritesOf(std::nullopt);
    EXPECT_NE(m_fakes.dialogs.messages.back().find("Red.kvt"), std::string::npos);
    EXPECT_EQ(Folders(), std::vector<std::string>{"Вальс3"});
    EXPECT_EQ(
        fs::directory_iterator { folder } -> path().filename(), "Speed.kvt");
    EXPECT_EQ(std::distance(fs::directory_iterator{folder}, fs::directory_iterator{}), 1);
    EXPECT_EQ(Read(folder / "Speed.kvt"), Bytes(80, 7));

    // Saved: the track has a full template with the shifted channels from then on.
    DoubleClick(0);
    m_recording.ShiftTemplateBack();
    const TemplateChannels shifted = m_form.channels;
    m_fakes.dialogs.answers = {true};
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(Read(folder / "Speed.kvt"), shifted.speed);
    EXPECT_EQ(Read(folder / "Green.kvt"), shifted.green);
    EXPECT_EQ(Read(folder / "Blu.kvt"), shifted.blue);
    EXPECT_EQ(Read(folder / "Red.kvt"), shifted.red);
    DoubleClick(0);
    EXPECT_EQ(m_form.caption, " Калейдоскоп        Вальс");

    m_recording.ToggleTemplateSync();
    EXPECT_FALSE(m_form.SyncTemplateItem.checked || m_form.ButtonBack.visible || m_form.ButtonAhead.visible);
    EXPECT_EQ(m_fakes.dialogs.messages.size(), 2u);
}

} // namespace
} // namespace kalvotune::template_commands
