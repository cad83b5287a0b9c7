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
    Window().ListBox1.SetSelected(1, true);
    media.Next();
    EXPECT_EQ(media.State().track, b);
    EXPECT_NE(media.State().trackNumber, first);
    media.Stop();
    EXPECT_EQ(media.State().status, "Stopped");
    media.Pause();
    EXPECT_EQ(media.State().status, "Stopped");
}

} // namespace
} // namespace kalvotune::testing
