#include "AppFixture.hpp"

#include "app/MediaControls.hpp"
#include "playlists/CurrentList.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace kalvotune::testing {
namespace {

namespace fs = std::filesystem;

class MediaKeys : public ::testing::Test, public AppFixture {
protected:
    void SetUp() override
    {
        MakeProgramFolder();
        Start();
    }
    fs::path Track(const std::string& name)
    {
        const fs::path path = Dir() / "music" / name;
        fs::create_directories(path.parent_path());
        std::ofstream{path} << "audio";
        device.AddFile(path, 90'000);
        return path;
    }
};

TEST_F(MediaKeys, CommandsClickTheWindowsButtonsOnlyWhenTheyMeanWhatTheControlAsks)
{
    app::MediaControls media{App(), device};
    EXPECT_EQ(media.State().status, "Stopped");
    EXPECT_TRUE(media.State().track.empty());

    const fs::path a = Track("a.mp3");
    App().currentList().OpenTracks({a});
    app::MediaState state = media.State();
    EXPECT_EQ(state.status, "Playing");
    EXPECT_EQ(state.track, a);
    EXPECT_EQ(state.title, "a");
    EXPECT_EQ(state.lengthUs, 90'000'000);
    EXPECT_TRUE(state.canPause);
    EXPECT_TRUE(state.canGoNext);
    EXPECT_FALSE(state.canPlay);
    const std::uint64_t first = state.trackNumber;

    // Play while playing is not "Next": the same track keeps playing.
    Advance(2000);
    media.Play();
    EXPECT_EQ(media.State().trackNumber, first);
    EXPECT_GT(media.PositionUs(), 0);

    media.PlayPause();
    state = media.State();
    EXPECT_EQ(state.status, "Paused");
    EXPECT_TRUE(state.canPlay);
    EXPECT_FALSE(state.canPause);
    EXPECT_FALSE(state.canGoNext);
    media.Next(); // nothing to skip from while paused
    EXPECT_EQ(media.State().status, "Paused");
    media.PlayPause();
    EXPECT_EQ(media.State().status, "Playing");

    // Next moves on as the button does; Stop stops.
    const fs::path b = Track("b.mp3");
    App().currentList().AddTracks({b});
    Window().CurrentListBox.SetSelected(1, true);
    media.Next();
    EXPECT_EQ(media.State().track, b);
    EXPECT_NE(media.State().trackNumber, first);
    media.Stop();
    EXPECT_EQ(media.State().status, "Stopped");
    media.Pause();
    EXPECT_EQ(media.State().status, "Stopped");
}

TEST_F(MediaKeys, SeekingGoesThroughTheWindowsSeekAndIsCountedAsAJump)
{
    app::MediaControls media{App(), device};
    EXPECT_FALSE(media.State().canSeek);
    media.SetPosition(30'000'000); // nothing open: nothing to do
    EXPECT_EQ(media.State().seekNumber, 0u);

    App().currentList().OpenTracks({Track("a.mp3")});
    Advance(10'000);
    app::MediaState state = media.State();
    EXPECT_TRUE(state.canSeek);
    const std::uint64_t picture = state.pictureNumber;

    media.SetPosition(60'000'000);
    EXPECT_EQ(device.PositionMs(), 60'000);
    EXPECT_EQ(device.Mode(), DeviceMode::Playing) << "the window's seek plays on from the target";
    EXPECT_EQ(media.State().seekNumber, 1u);
    media.SetPosition(91'000'000); // beyond the track (90 s): ignored
    media.SetPosition(-1);
    EXPECT_EQ(device.PositionMs(), 60'000);

    media.Seek(-70'000'000); // before the start: the start
    EXPECT_EQ(device.PositionMs(), 0);
    media.Seek(5'000'000);
    EXPECT_EQ(device.PositionMs(), 5'000);
    Advance(3000);
    media.Previous(); // the playing track from its beginning
    EXPECT_EQ(device.PositionMs(), 0);
    EXPECT_EQ(media.State().seekNumber, 4u);

    // A click on the strip is a jump too.
    App().MouseUp("Panel2", Window().PositionStrip.width / 2, 3);
    EXPECT_EQ(media.State().seekNumber, 5u);
    // The picture changes where the patterns pass a mark of the speed channel.
    Form& f = Window();
    f.channels.speed.at(static_cast<std::size_t>(f.TemplateTick + 3)) = 24;
    f.TemplateTick += 2;
    EXPECT_EQ(media.State().pictureNumber, picture);
    f.TemplateTick += 2;
    EXPECT_EQ(media.State().pictureNumber, picture + 1);

    media.PlayPause();
    EXPECT_FALSE(media.State().canSeek);
    const std::int64_t paused = device.PositionMs();
    media.SetPosition(10'000'000); // a paused track does not start playing behind the window
    media.Previous();
    EXPECT_EQ(device.Mode(), DeviceMode::Paused);
    EXPECT_EQ(device.PositionMs(), paused);

    // Seeking past the end moves on as "Next" does.
    App().currentList().AddTracks({Track("b.mp3")});
    Window().CurrentListBox.SetSelected(1, true);
    media.PlayPause();
    const std::uint64_t track = media.State().trackNumber;
    media.Seek(100'000'000);
    EXPECT_NE(media.State().trackNumber, track);
}

} // namespace
} // namespace kalvotune::testing
