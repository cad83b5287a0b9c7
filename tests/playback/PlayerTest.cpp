#include "PlayerFixture.hpp"

namespace kalvotune::playback {
namespace {

TEST_F(PlayerTest, EmptyListTouchesNothing)
{
    const auto path = Music() / "x.mp3";
    m_fakes.device.AddFile(path, 10'000);
    ASSERT_TRUE(m_fakes.device.Open(path).ok);
    m_fakes.device.Play();
    m_form.NextTrackTimer.enabled = true;

    m_player.PlayOrNext();

    EXPECT_FALSE(m_form.NextTrackTimer.enabled);
    EXPECT_TRUE(IsPlaying());
    EXPECT_EQ(m_fakes.device.closes, 0);
    EXPECT_TRUE(m_patterns.calls.empty());
}

TEST_F(PlayerTest, PlayStartsTheFirstSelectedEntryAndRecordsIt)
{
    AddTrack("a.mp3");
    const auto b = AddTrack("b.mp3", 125'000, true);
    AddTrack("c.mp3", 60'000, true);

    m_player.PlayOrNext();

    EXPECT_EQ(Playing(), "b.mp3");
    EXPECT_TRUE(IsPlaying());
    EXPECT_EQ(m_form.TrackIndex, 1);
    EXPECT_EQ(m_form.CurrentTrackName, b);
    EXPECT_EQ(m_form.TrackTitle, "b");
    EXPECT_EQ(m_form.TemplateName, "0");
    EXPECT_EQ(m_form.TrackLengthText.caption, "  02:05");
    EXPECT_EQ(m_form.caption, " Калейдоскоп        b   (без ЦМШ)");
    EXPECT_EQ(m_form.channels.Length(), 125 * 20 + 50);
    EXPECT_FALSE(m_form.CurrentListBox.visible);
    EXPECT_EQ(m_form.PlayButton.caption, "Next");
    EXPECT_TRUE(m_form.PauseButton.enabled);
    EXPECT_TRUE(m_form.StopButton.enabled);
    EXPECT_TRUE(m_form.PositionTimer.enabled);
    EXPECT_EQ(m_patterns.calls, (std::vector<std::string>{"off", "figures", "on"}));
    EXPECT_EQ(ReadList("Былое"), std::vector<std::string>{LineOf(b)});
}

TEST_F(PlayerTest, EveryStartSaysWhatTemplateTheTrackPlaysWith)
{
    namespace fs = std::filesystem;
    const auto full = AddTrack("full.mp3", 60'000, true);
    const auto still = AddTrack("still.mp3", 60'000, true);
    AddTrack("none.mp3", 60'000, true);
    for (const auto& [track, folder, files] : {std::tuple{full, "Full1",
                                                   std::vector<const char*>{templates::kBlueFile, templates::kGreenFile,
                                                       templates::kRedFile, templates::kSpeedFile}},
             std::tuple{still, "Still2", std::vector<const char*>{templates::kSpeedFile}}}) {
        fs::create_directories(m_dir.Path() / "Data" / folder);
        for (const char* file : files)
            std::ofstream{m_dir.Path() / "Data" / folder / file} << "0123456789";
    }
    WriteList("Kalvotune", {"*" + full.string() + "*Full1*", "*" + still.string() + "*Still2*"});

    const std::vector<std::string> captions{
        " Калейдоскоп        full", " Калейдоскоп        still   (с ШНК)", " Калейдоскоп        none   (без ЦМШ)"};
    const std::vector<std::string> started{"started full.mp3 full", "started still.mp3 still", "started none.mp3 none"};
    for (std::size_t i = 0; i < 3; ++i) {
        m_events.clear();
        m_player.PlayOrNext();
        EXPECT_EQ(m_events.back(), started[i]);
        // The window shows it: the title's end, Drive only with a whole template, the
        // picture-change slider only without any.
        EXPECT_EQ(m_form.caption, captions[i]);
        EXPECT_EQ(m_form.NoTemplate, i != 0);
        EXPECT_EQ(m_form.DriveButton.enabled, i == 0);
        EXPECT_EQ(m_form.PictureRateSlider.visible, i == 2);
    }
}

TEST_F(PlayerTest, ListStaysOpenWhenFixedAndGraphicsOffKeepPatternsStopped)
{
    AddTrack("a.mp3", 60'000, true);
    m_form.HoldListItem.checked = true;
    m_form.GraphicsItem.tag = 1;
    m_player.PlayOrNext();
    EXPECT_TRUE(IsPlaying());
    EXPECT_TRUE(m_form.CurrentListBox.visible);
    EXPECT_EQ(m_patterns.calls, (std::vector<std::string>{"off", "figures"}));
}

TEST_F(PlayerTest, DoubleClickReplacesThePlayingOrPausedTrack)
{
    AddTrack("a.mp3", 60'000, true);
    AddTrack("b.mp3");
    AddTrack("c.mp3");
    m_player.PlayOrNext();
    Tick(5);

    m_events.clear();
    DoubleClick(2);
    EXPECT_EQ(Playing(), "c.mp3");
    EXPECT_TRUE(IsPlaying());
    EXPECT_EQ(m_events, (std::vector<std::string>{"ended a.mp3", "started c.mp3 none"}));

    Tick(5);
    m_player.PauseTrack();
    DoubleClick(1);
    EXPECT_EQ(Playing(), "b.mp3");
    EXPECT_TRUE(IsPlaying());
    EXPECT_EQ(m_fakes.device.PositionMs(), 0);
    EXPECT_FALSE(m_form.ListExhausted);
}

TEST_F(PlayerTest, SingleClickDuringPlaybackThenPlayStartsFromTheTop)
{
    AddTrack("a.mp3");
    AddTrack("b.mp3", 60'000, true);
    AddTrack("c.mp3");
    m_player.PlayOrNext();
    ASSERT_EQ(Playing(), "b.mp3");

    m_form.CurrentListBox.SetSelected(0, true);
    m_player.RestartOrderAfterSelection();
    EXPECT_EQ(m_form.PlayButton.caption, "Play");
    EXPECT_TRUE(IsPlaying());

    m_player.PlayOrNext();
    EXPECT_EQ(Playing(), "a.mp3");
}

TEST_F(PlayerTest, PauseThenPlayResumesWherePaused)
{
    AddTrack("a.mp3", 60'000, true);
    m_player.PlayOrNext();
    Tick(10);
    m_patterns.calls.clear();

    m_player.PauseTrack();
    EXPECT_EQ(m_fakes.device.Mode(), DeviceMode::Paused);
    EXPECT_FALSE(m_form.PauseButton.enabled);
    EXPECT_TRUE(m_form.StopButton.enabled);
    EXPECT_FALSE(m_form.PositionTimer.enabled);
    EXPECT_EQ(m_form.PlayButton.caption, "Play");

    const int opens = m_fakes.device.opens;
    m_player.PlayOrNext();
    EXPECT_TRUE(IsPlaying());
    EXPECT_EQ(m_fakes.device.opens, opens);
    EXPECT_EQ(m_fakes.device.PositionMs(), 4000);
    EXPECT_TRUE(m_form.PositionTimer.enabled);
    EXPECT_EQ(m_form.PlayButton.caption, "Next");
    EXPECT_EQ(m_patterns.calls, (std::vector<std::string>{"off", "on"}));
}

TEST_F(PlayerTest, PauseWithNoDeviceStopsThePatternsThenShowsTheError)
{
    AddTrack("a.mp3", 60'000, true);
    m_form.PauseButton.enabled = true; // the shortcut's stale state
    m_form.PositionTimer.enabled = true;
    m_player.PauseTrack();
    EXPECT_EQ(m_fakes.dialogs.errors, std::vector<std::string>{"No MCI device open"});
    EXPECT_EQ(m_patterns.calls, std::vector<std::string>{"off"});
    // Nothing else changes.
    EXPECT_TRUE(m_form.PauseButton.enabled);
    EXPECT_TRUE(m_form.PositionTimer.enabled);
}

TEST_F(PlayerTest, StopThenPlayRestartsTheSameEntry)
{
    AddTrack("a.mp3");
    AddTrack("b.mp3", 60'000, true);
    m_player.PlayOrNext();
    Tick(10);

    m_player.StopTrack();
    EXPECT_EQ(m_fakes.device.Mode(), DeviceMode::Stopped);
    EXPECT_FALSE(m_form.PauseButton.enabled);
    EXPECT_FALSE(m_form.StopButton.enabled);
    EXPECT_FALSE(m_form.PositionTimer.enabled);
    EXPECT_EQ(m_form.TrackPosition, 0);
    EXPECT_EQ(m_form.PositionMark.width, 1);
    EXPECT_TRUE(m_form.CurrentListBox.visible); // hidden at start, shown again by Stop

    m_player.PlayOrNext();
    EXPECT_EQ(Playing(), "b.mp3");
    EXPECT_EQ(m_fakes.device.PositionMs(), 0);
    EXPECT_TRUE(IsPlaying());
}

TEST_F(PlayerTest, PlayAfterStopWithNothingSelectedDrawsATrack)
{
    AddTrack("a.mp3");
    AddTrack("b.mp3", 60'000, true);
    AddTrack("c.mp3");
    m_player.PlayOrNext();
    m_player.StopTrack();
    m_form.CurrentListBox.SelectAll(false);
    m_player.RestartOrderAfterSelection();

    m_player.PlayOrNext();
    ASSERT_TRUE(FireTimer2());
    EXPECT_TRUE(IsPlaying());
    EXPECT_FALSE(m_form.NextTrackTimer.enabled);
    EXPECT_EQ(m_form.CurrentListBox.SelectedCount(), 1);
}

TEST_F(PlayerTest, RandomModeDrawsEveryUnplayedEntryThenStartsOver)
{
    AddTrack("a.mp3", 1'000);
    AddTrack("b.mp3", 1'000, true);
    AddTrack("c.mp3", 1'000);
    m_player.PlayOrNext();
    ASSERT_EQ(Playing(), "b.mp3");

    std::set<std::string> drawn;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(PlayToEnd());
        while (FireTimer2()) { }
        EXPECT_TRUE(m_form.ListExhausted);
        ASSERT_TRUE(IsPlaying());
        drawn.insert(Playing());
        EXPECT_TRUE(m_form.CurrentListBox.Selected(m_form.TrackIndex));
        m_fakes.clock.AdvanceSeconds(1);
    }
    EXPECT_EQ(drawn, (std::set<std::string>{"a.mp3", "c.mp3"}));
    EXPECT_EQ(m_form.CurrentListBox.SelectedCount(), 3);

    ASSERT_TRUE(PlayToEnd());
    while (FireTimer2()) { }
    EXPECT_TRUE(IsPlaying());
    EXPECT_EQ(m_form.CurrentListBox.SelectedCount(), 1);
    EXPECT_TRUE(m_form.CurrentListBox.Selected(m_form.TrackIndex));
}

TEST_F(PlayerTest, NextOnTheLastEntryDrawsAtOnce)
{
    AddTrack("a.mp3");
    AddTrack("b.mp3");
    AddTrack("c.mp3", 60'000, true);
    m_player.PlayOrNext();

    m_player.PlayOrNext();
    EXPECT_TRUE(m_form.ListExhausted);
    EXPECT_FALSE(m_form.NextTrackTimer.enabled);
    EXPECT_TRUE(IsPlaying());
    EXPECT_NE(Playing(), "c.mp3");
}

TEST_F(PlayerTest, NextOnTheLastSelectedEntryDrawsTenMillisecondsLater)
{
    AddTrack("a.mp3", 60'000, true);
    AddTrack("b.mp3");
    AddTrack("c.mp3");
    m_player.PlayOrNext();

    m_player.PlayOrNext();
    EXPECT_TRUE(m_form.ListExhausted);
    EXPECT_TRUE(m_form.NextTrackTimer.enabled);
    EXPECT_EQ(m_fakes.device.Mode(), DeviceMode::NotOpen);
    EXPECT_FALSE(m_form.PositionTimer.enabled);

    ASSERT_TRUE(FireTimer2());
    EXPECT_TRUE(IsPlaying());
    EXPECT_NE(Playing(), "a.mp3");
}

TEST_F(PlayerTest, IdenticalEntriesAlwaysDrawTheFirst)
{
    AddTrack("x.mp3");
    m_form.CurrentListBox.Add(m_form.CurrentListBox.Item(0));
    m_form.ListExhausted = true;
    for (int round = 0; round < 6; ++round) {
        m_player.PlayOrNext();
        ASSERT_TRUE(IsPlaying());
        EXPECT_EQ(m_form.TrackIndex, 0);
        EXPECT_FALSE(m_form.CurrentListBox.Selected(1));
        m_fakes.clock.AdvanceSeconds(1);
    }
}

TEST_F(PlayerTest, OneEntryListPlaysOnceWhateverItsSelection)
{
    AddTrack("a.mp3", 1'000);
    m_player.PlayOrNext();
    ASSERT_TRUE(IsPlaying());

    ASSERT_TRUE(PlayToEnd());
    EXPECT_FALSE(m_form.PauseButton.enabled);
    EXPECT_FALSE(m_form.StopButton.enabled);
    EXPECT_FALSE(m_form.NextTrackTimer.enabled);
    EXPECT_EQ(m_form.PlayButton.caption, "Play");
    EXPECT_EQ(m_fakes.device.Mode(), DeviceMode::NotOpen);
}

TEST_F(PlayerTest, OpenFailureShowsTheBackEndsTextAndStartsNothing)
{
    const auto a = AddTrack("a.mp3", 60'000, true);
    m_fakes.device.FailOpen(a, "unsupported format");
    const std::string caption = m_form.caption;

    m_player.PlayOrNext();

    EXPECT_EQ(m_fakes.dialogs.errors, std::vector<std::string>{"unsupported format"});
    EXPECT_EQ(m_form.caption, caption);
    EXPECT_FALSE(m_form.PositionTimer.enabled);
    EXPECT_EQ(m_patterns.calls, std::vector<std::string>{"off"});
    EXPECT_TRUE(ReadList("Былое").empty());
}

TEST_F(PlayerTest, ListButtonTogglesTheListViews)
{
    AddTrack("a.mp3", 60'000, true);
    m_form.HoldListItem.checked = true;
    m_player.PlayOrNext();
    m_patterns.calls.clear();
    m_form.PathsBox.visible = true;

    m_player.ToggleListView();
    EXPECT_FALSE(m_form.CurrentListBox.visible);
    EXPECT_FALSE(m_form.PathsBox.visible);

    m_form.PathsItem.checked = true;
    m_form.MyListsBox.visible = true;
    m_player.ToggleListView();
    EXPECT_TRUE(m_form.CurrentListBox.visible);
    EXPECT_TRUE(m_form.PathsBox.visible);
    EXPECT_FALSE(m_form.MyListsBox.visible);
    EXPECT_EQ(m_patterns.calls, (std::vector<std::string>{"on", "off"}));
}

TEST_F(PlayerTest, StopCancelsAStillPictureRecording)
{
    AddTrack("a.mp3", 60'000, true);
    m_player.PlayOrNext();
    m_form.BuildButton.tag = 1;
    m_form.keyPreview = true;
    m_player.UpdatePlayButtons();
    EXPECT_FALSE(m_form.PlayButton.enabled);
    m_form.PictureRateSlider.visible = false;

    m_player.StopTrack();

    EXPECT_EQ(m_form.BuildButton.tag, 0);
    EXPECT_FALSE(m_form.keyPreview);
    EXPECT_EQ(m_fakes.dialogs.messages, std::vector<std::string>{"Шаблон неподвижных картинок для <a> не изменен"});
    EXPECT_EQ(m_form.caption, " Калейдоскоп     a   (без ЦМШ)");
    EXPECT_TRUE(m_form.PictureRateSlider.visible);
    EXPECT_TRUE(m_form.PlayButton.enabled);
}

} // namespace
} // namespace kalvotune::playback
