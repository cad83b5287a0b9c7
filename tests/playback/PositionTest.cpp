#include "PlayerFixture.hpp"

#include <algorithm>
#include <iterator>

namespace kalvotune::playback {
namespace {

using PositionTest = PlayerTest;

TEST_F(PositionTest, TrackOf185Point7SecondsEndsAt185WithTheClockUpdatedFirst)
{
    AddTrack("a.mp3", 185'700, true);
    AddTrack("b.mp3", 60'000, true);
    m_form.ShowClock = true;
    m_player.PlayOrNext();
    EXPECT_EQ(m_form.TrackLengthText.caption, "  03:05");
    EXPECT_EQ(m_form.TrackSeconds, 185);

    Tick(231); // 92.4 s
    EXPECT_EQ(m_form.TrackPosition, 92);
    EXPECT_EQ(m_form.ClockText.caption, "1:32");
    EXPECT_EQ(m_form.PositionMark.width, static_cast<int>(682.0f * (92.0f / 185.0f)));

    Tick(231); // 184.8 s
    EXPECT_TRUE(m_form.PositionTimer.enabled);
    m_patterns.calls.clear();
    Tick(); // 185.2 s
    EXPECT_EQ(m_form.ClockText.caption, "3:5");
    EXPECT_FALSE(m_form.PositionTimer.enabled);
    EXPECT_EQ(m_form.TrackPosition, 0);
    EXPECT_EQ(m_form.PositionMark.width, 1);
    EXPECT_EQ(m_fakes.device.Mode(), DeviceMode::NotOpen);
    EXPECT_EQ(m_patterns.calls, std::vector<std::string>{"off"});
    EXPECT_EQ(m_events, (std::vector<std::string>{"started a.mp3 none", "ended a.mp3"}));
    EXPECT_EQ(m_form.TrackIndex, 1);
    EXPECT_TRUE(m_form.NextTrackTimer.enabled);
    // Until the next track starts Pause stays as it was.
    EXPECT_TRUE(m_form.PauseButton.enabled);
    EXPECT_FALSE(m_form.StopButton.enabled);

    ASSERT_TRUE(FireTimer2());
    EXPECT_EQ(Playing(), "b.mp3");
}

TEST_F(PositionTest, TrackUnderOneSecondEndsAtTheFirstTick)
{
    AddTrack("a.mp3", 700, true);
    AddTrack("b.mp3");
    m_player.PlayOrNext();
    EXPECT_EQ(m_form.TrackSeconds, 0);
    EXPECT_EQ(m_form.TrackLengthText.caption, "  00:00");
    m_form.ClockText.caption = "kept";
    Tick();
    EXPECT_FALSE(m_form.PositionTimer.enabled);
    EXPECT_EQ(m_form.PositionMark.width, 1);
    EXPECT_EQ(m_form.ClockText.caption, "kept"); // clock hidden: not updated
    EXPECT_TRUE(m_form.NextTrackTimer.enabled);
}

TEST_F(PositionTest, LengthOfAHundredMinutesHasThreeDigits)
{
    AddTrack("a.mp3", 6'000'000, true);
    AddTrack("b.mp3", 6'039'999, true);
    m_player.PlayOrNext();
    EXPECT_EQ(m_form.TrackLengthText.caption, "  100:00");
    m_player.PlayOrNext();
    EXPECT_EQ(m_form.TrackLengthText.caption, "  100:39");
}

TEST_F(PositionTest, SeekingWorksOnlyWhilePlaying)
{
    AddTrack("a.mp3", 185'700, true);
    m_player.PlayOrNext();
    Tick(20);

    m_player.SeekOnStrip(0);
    EXPECT_EQ(m_fakes.device.PositionMs(), 1000);
    EXPECT_TRUE(IsPlaying());
    m_player.SeekOnStrip(342);
    EXPECT_EQ(m_fakes.device.PositionMs(), (342 * 185 / 685 + 1) * 1000);

    m_player.SeekOnPanelBottom(0, m_form.ViewPanel.height - 14);
    EXPECT_EQ(m_fakes.device.PositionMs(), 93'000);
    m_player.SeekOnPanelBottom(690, m_form.ViewPanel.height - 13);
    EXPECT_EQ(m_fakes.device.PositionMs(), 185'700); // the last second is past the end
    EXPECT_EQ(m_fakes.device.Mode(), DeviceMode::Stopped);

    m_player.StopTrack();
    m_player.PlayOrNext();
    m_player.PauseTrack();
    const auto paused = m_fakes.device.PositionMs();
    m_player.SeekOnStrip(100);
    m_player.SeekOnPanelBottom(100, m_form.ViewPanel.height - 1);
    EXPECT_EQ(m_fakes.device.PositionMs(), paused);
    EXPECT_EQ(m_fakes.device.Mode(), DeviceMode::Paused);
    // Every jump made was told, with its target; the steady advance is no event.
    std::vector<std::string> moves;
    std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(moves),
        [](const std::string& event) { return event.starts_with("moved"); });
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0], "moved 1000");
    EXPECT_EQ(moves[1], "moved 93000");
}

TEST_F(PositionTest, KeepAwakePokesTheSession)
{
    m_player.OnKeepAwakeTick();
    m_player.OnKeepAwakeTick();
    EXPECT_EQ(m_fakes.activity.pokes, 2);
}

class TemplateEndTest : public PlayerTest {
protected:
    void StartOneSecondTrack()
    {
        AddTrack("a.mp3", 1'000, true);
        AddTrack("b.mp3", 1'000);
        m_player.PlayOrNext();
    }
};

TEST_F(TemplateEndTest, RecordingEndAsksToSaveAndStops)
{
    StartOneSecondTrack();
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes);
        DoubleClick(0);
        m_form.BuildButton.tag = 1;
        m_form.keyPreview = true;
        m_fakes.dialogs.answers = {yes};
        m_fakes.dialogs.questions.clear();
        m_saves.calls.clear();
        ASSERT_TRUE(PlayToEnd());
        EXPECT_EQ(m_fakes.dialogs.questions, std::vector<std::string>{"END|Сохранить шаблон?"});
        EXPECT_EQ(m_saves.calls, yes ? std::vector<std::string>{"still"} : std::vector<std::string>{});
        EXPECT_EQ(m_form.PauseButton.enabled, !yes);
        EXPECT_EQ(m_form.BuildButton.tag, 0);
        EXPECT_FALSE(m_form.BuildButton.enabled);
        EXPECT_FALSE(m_form.keyPreview);
        EXPECT_TRUE(m_form.PlayButton.enabled);
        EXPECT_FALSE(m_form.NextTrackTimer.enabled);
        EXPECT_FALSE(m_form.NoTemplate);
    }
}

TEST_F(TemplateEndTest, SynchronisationAsksAtEveryEndThenMovesOn)
{
    StartOneSecondTrack();
    m_form.SyncTemplateItem.checked = true;
    m_fakes.dialogs.answers = {true};
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(m_fakes.dialogs.questions, std::vector<std::string>{"ГОТОВ|Сохранить синхронизированный шаблон шаблон?"});
    EXPECT_EQ(m_saves.calls, std::vector<std::string>{"synchronised"});
    EXPECT_TRUE(m_form.NextTrackTimer.enabled);

    while (FireTimer2()) { }
    ASSERT_TRUE(IsPlaying());
    m_fakes.dialogs.answers = {false};
    ASSERT_TRUE(PlayToEnd());
    EXPECT_EQ(m_fakes.dialogs.questions.size(), 2u);
    EXPECT_EQ(m_saves.calls.size(), 1u);
    EXPECT_TRUE(m_form.NextTrackTimer.enabled);
}

} // namespace
} // namespace kalvotune::playback
