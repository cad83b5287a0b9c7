#include "template_commands/MusicTemplates.hpp"

#include "playback/PlayerFixture.hpp"
#include "support/WriteFaults.hpp"
#include "template_commands/Recording.hpp"

namespace kalvotune::template_commands {
namespace {

namespace fs = std::filesystem;

/// Takes the jobs the command hands over, as the window's dialog would before analysing.
struct RecordingRunner : MusicAnalysisRunner {
    void Run(std::vector<MusicTemplateJob> jobs, int pictureChangeTicks) override
    {
        runs.push_back(std::move(jobs));
        ticks = pictureChangeTicks;
    }
    std::vector<std::vector<MusicTemplateJob>> runs;
    int ticks{};
};

class MusicTemplatesTest : public playback::PlayerTest {
protected:
    MusicTemplatesTest()
    {
        m_command.SetRunner(&m_runner);
        m_player.SetTemplateSaves(&m_recording);
    }

    fs::path Data() const { return m_dir.Path() / "Data"; }

    static TemplateChannels Channels(int length, std::uint8_t value)
    {
        TemplateChannels c;
        c.Reset(length);
        for (auto* channel : {&c.blue, &c.green, &c.red, &c.speed})
            std::fill(channel->begin(), channel->end(), value);
        return c;
    }

    std::vector<std::string> DataEntries() const
    {
        std::vector<std::string> names;
        for (const fs::directory_entry& entry : fs::directory_iterator{Data()})
            names.push_back(entry.path().filename().string());
        return names;
    }

    /// "Сам создавать ЦМШ" hands the started track over; Build and "Yes" then record it
    /// from its start with a key pressed at tick 3. Gives the background job.
    MusicTemplateJob StartBackgroundAndRecording(const fs::path& track)
    {
        m_form.AutoMusicTemplatesItem.checked = true;
        DoubleClick(0);
        m_command.AnalyseStartedTrack();
        EXPECT_EQ(m_runner.runs.size(), 1u);
        const MusicTemplateJob job = m_runner.runs.at(0).at(0);
        EXPECT_EQ(job.track, track.string());
        m_fakes.dialogs.answers.push_back(true);
        m_recording.ToggleTemplateRecording();
        EXPECT_TRUE(m_player.TemplateRecording());
        m_form.TemplateTick = 3;
        m_recording.OnRecordingKey();
        return job;
    }

    /// The end of the track and the answer to "Сохранить шаблон?".
    void EndRecording(bool save)
    {
        m_fakes.dialogs.answers.push_back(save);
        ASSERT_TRUE(PlayToEnd());
        m_command.InstallDeferred();
    }

    /// The recording was saved and nothing else: one line, naming the one folder in `Data`,
    /// which holds the recorded picture changes alone.
    void ExpectOnlyTheRecording(const fs::path& track)
    {
        EXPECT_EQ(m_fakes.dialogs.messages, std::vector<std::string>{" OK! "});
        const std::vector<std::string> folders = DataEntries();
        ASSERT_EQ(folders.size(), 1u);
        EXPECT_EQ(ReadList("Kalvotune"), std::vector<std::string>{"*" + track.string() + "*" + folders[0] + "*"});
        std::vector<std::string> files;
        for (const fs::directory_entry& entry : fs::directory_iterator{Data() / folders[0]})
            files.push_back(entry.path().filename().string());
        EXPECT_EQ(files, std::vector<std::string>{"Speed.kvt"});
        EXPECT_GT(ReadFileBytes(Data() / folders[0] / "Speed.kvt").value_or(Bytes{}).at(3), 21);
    }

    RecordingRunner m_runner;
    MusicTemplates m_command{m_form, m_fakes.services, m_player.Events()};
    Recording m_recording{m_form, m_fakes.services, m_player};
};

TEST_F(MusicTemplatesTest, AnalysedTrackPlaysOnWithItsNewFullTemplate)
{
    const fs::path track = AddTrack("Carousel.wma", 30'000);
    DoubleClick(0);
    ASSERT_EQ(m_form.caption, " Калейдоскоп        Carousel   (без ЦМШ)");
    m_form.CurrentListBox.SelectAll(false);

    m_command.MakeTemplatesFromMusic();
    ASSERT_EQ(m_runner.runs.size(), 1u);
    ASSERT_EQ(m_runner.runs[0].size(), 1u);
    EXPECT_EQ(m_runner.runs[0][0].track, track.string());
    EXPECT_EQ(m_runner.ticks, m_form.PictureRateSlider.position);

    m_command.Analysed(m_runner.runs[0][0], Channels(300, 23));
    EXPECT_TRUE(m_fakes.dialogs.messages.empty());
    const std::string folder = m_lists.LookUpTemplateName(track);
    ASSERT_TRUE(folder.starts_with("Carousel")) << folder;
    for (const char* file : {"Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"})
        EXPECT_EQ(ReadFileBytes(Data() / folder / file), Bytes(300, 23)) << file;
    EXPECT_EQ(m_form.caption, " Калейдоскоп        Carousel");
    EXPECT_FALSE(m_form.NoTemplate);
    EXPECT_EQ(m_form.channels.Length(), 300);
    EXPECT_TRUE(IsPlaying());
}

TEST_F(MusicTemplatesTest, ExistingTemplateIsReplacedOnlyAfterYes)
{
    const fs::path kept = AddTrack("Вальс.mp3", 30'000, true);
    const fs::path replaced = AddTrack("Танго.mp3", 30'000, true);
    for (const auto& [track, folder] : {std::pair{kept, "Вальс7"}, std::pair{replaced, "Танго8"}}) {
        fs::create_directories(Data() / folder);
        ASSERT_TRUE(WriteFileAtomically(Data() / folder / "Speed.kvt", Bytes(10, 1)).ok);
    }
    WriteList("Kalvotune", {"*" + kept.string() + "*Вальс7*", "*" + replaced.string() + "*Танго8*"});

    m_fakes.dialogs.answers = {false, true};
    m_command.MakeTemplatesFromMusic();
    ASSERT_EQ(m_fakes.dialogs.questions.size(), 2u);
    EXPECT_EQ(m_fakes.dialogs.questions[0],
        "ВНИМАНИЕ|У трека Вальс уже есть ЦМШ. Заменить его шаблоном, созданным по музыке?");
    ASSERT_EQ(m_runner.runs.size(), 1u);
    ASSERT_EQ(m_runner.runs[0].size(), 1u);
    EXPECT_EQ(m_runner.runs[0][0].track, replaced.string());
    EXPECT_TRUE(m_runner.runs[0][0].replace);

    m_command.Analysed(m_runner.runs[0][0], Channels(50, 4));
    const std::vector<std::string> registry = ReadList("Kalvotune");
    ASSERT_EQ(registry.size(), 2u);
    EXPECT_EQ(m_lists.LookUpTemplateName(kept), "Вальс7");
    const std::string folder = m_lists.LookUpTemplateName(replaced);
    EXPECT_NE(folder, "Танго8");
    EXPECT_FALSE(fs::exists(Data() / "Танго8"));
    EXPECT_TRUE(fs::exists(Data() / "Вальс7"));
    EXPECT_EQ(ReadFileBytes(Data() / folder / "Blu.kvt"), Bytes(50, 4));
}

TEST_F(MusicTemplatesTest, FailedWriteLeavesNoFolderAndNoLine)
{
    const fs::path track = AddTrack("Вальс.mp3", 30'000, true);
    // A handed-out folder named like the track is not taken over by the analysis.
    fs::create_directories(Data() / "Вальс");
    const std::vector<std::string> before = DataEntries();

    FailNextWriteAfter(100);
    m_command.Analysed({track.string()}, Channels(500, 2));
    EXPECT_EQ(m_fakes.dialogs.messages.size(), 1u);
    EXPECT_EQ(DataEntries(), before);
    EXPECT_TRUE(ReadList("Kalvotune").empty());

    m_command.Analysed({track.string()}, Channels(500, 2));
    EXPECT_EQ(ReadList("Kalvotune").size(), 1u);
    EXPECT_TRUE(fs::is_directory(Data() / "Вальс"));
    EXPECT_EQ(DataEntries().size(), before.size() + 1);
}

TEST_F(MusicTemplatesTest, TracksAreTheSelectionOrElseThePlayingTrack)
{
    EXPECT_TRUE(m_command.TracksToAnalyse().empty());
    m_command.MakeTemplatesFromMusic();
    EXPECT_TRUE(m_runner.runs.empty());

    const fs::path first = AddTrack("one.mp3");
    AddTrack("two.mp3");
    const fs::path third = AddTrack("three.mp3");
    m_form.CurrentListBox.SetSelected(0, true);
    m_form.CurrentListBox.SetSelected(2, true);
    EXPECT_EQ(m_command.TracksToAnalyse(), (std::vector<std::string>{first.string(), third.string()}));

    DoubleClick(1);
    m_form.CurrentListBox.SelectAll(false);
    EXPECT_EQ(m_command.TracksToAnalyse(), std::vector<std::string>{(Music() / "two.mp3").string()});
}

TEST_F(MusicTemplatesTest, TickedSettingAnalysesATrackWithoutTemplateOnceWhenItStarts)
{
    const fs::path bare = AddTrack("bare.mp3");
    const fs::path still = AddTrack("still.mp3");
    fs::create_directories(Data() / "still1");
    ASSERT_TRUE(WriteFileAtomically(Data() / "still1" / "Speed.kvt", Bytes(10, 1)).ok);
    WriteList("Kalvotune", {"*" + still.string() + "*still1*"});

    DoubleClick(0);
    m_command.AnalyseStartedTrack();
    EXPECT_TRUE(m_runner.runs.empty()); // not ticked

    m_form.AutoMusicTemplatesItem.checked = true;
    DoubleClick(1);
    m_command.AnalyseStartedTrack();
    EXPECT_TRUE(m_runner.runs.empty()); // a still-picture template is kept

    DoubleClick(0);
    m_command.AnalyseStartedTrack();
    m_command.AnalyseStartedTrack();
    ASSERT_EQ(m_runner.runs.size(), 1u);
    ASSERT_EQ(m_runner.runs[0].size(), 1u);
    EXPECT_EQ(m_runner.runs[0][0].track, bare.string());
    EXPECT_TRUE(m_runner.runs[0][0].background);
}

TEST_F(MusicTemplatesTest, BackgroundResultDuringARecordingWaitsAndTheSavedRecordingWins)
{
    const fs::path track = AddTrack("Вальс.mp3", 5'000, true);
    const MusicTemplateJob job = StartBackgroundAndRecording(track);

    m_command.Analysed(job, Channels(50, 23));
    m_command.AnalyseStartedTrack();
    EXPECT_TRUE(ReadList("Kalvotune").empty());
    EXPECT_TRUE(DataEntries().empty());

    EndRecording(true);
    ExpectOnlyTheRecording(track);
}

TEST_F(MusicTemplatesTest, BackgroundResultAfterTheSavedRecordingKeepsTheRecording)
{
    const fs::path track = AddTrack("Вальс.mp3", 5'000, true);
    const MusicTemplateJob job = StartBackgroundAndRecording(track);
    EndRecording(true);

    m_command.Analysed(job, Channels(50, 23));
    ExpectOnlyTheRecording(track);

    // A job of the menu says why it made nothing; one the user agreed to replace with does.
    m_command.Analysed({track.string()}, Channels(50, 23));
    ASSERT_EQ(m_fakes.dialogs.messages.size(), 2u);
    EXPECT_TRUE(m_fakes.dialogs.messages[1].starts_with("Вальс: ЦМШ уже есть (Вальс")) << m_fakes.dialogs.messages[1];
    m_command.Analysed({track.string(), true}, Channels(50, 23));
    ASSERT_EQ(DataEntries().size(), 1u);
    EXPECT_EQ(ReadFileBytes(Data() / DataEntries()[0] / "Blu.kvt"), Bytes(50, 23));
}

TEST_F(MusicTemplatesTest, BackgroundResultDuringADeclinedRecordingIsInstalledAfterIt)
{
    const fs::path track = AddTrack("Вальс.mp3", 5'000, true);
    const MusicTemplateJob job = StartBackgroundAndRecording(track);
    m_command.Analysed(job, Channels(50, 23));
    EndRecording(false);

    EXPECT_TRUE(m_fakes.dialogs.messages.empty());
    const std::string folder = m_lists.LookUpTemplateName(track);
    EXPECT_EQ(DataEntries(), std::vector<std::string>{folder});
    EXPECT_EQ(ReadFileBytes(Data() / folder / "Red.kvt"), Bytes(50, 23));
}

} // namespace
} // namespace kalvotune::template_commands
