#include "AppFixture.hpp"

#include "core/FileIO.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace kalvotune::testing {
namespace {

namespace fs = std::filesystem;

class TemplateCommands : public ::testing::Test, public AppFixture {
protected:
    void SetUp() override
    {
        MakeProgramFolder();
        m_track = Dir() / "Sound" / "Демо.mp3";
        std::ofstream{m_track} << "audio";
        device.AddFile(m_track, 3'000);
        Start();
        dialogs.messages.clear(); // the missing pattern tables
    }

    fs::path m_track;
};

TEST_F(TemplateCommands, BuildKeysAndTheEndOfTheTrackSaveThroughTheWindow)
{
    App().Click("PlayButton");
    App().Click("SpeedButton4");
    ASSERT_TRUE(Window().keyPreview);
    // Without pattern tables no pattern timer runs, so the tick stands at 0 and every
    // press lands on one element, as with graphics off.
    const std::uint8_t first = Window().channels.speed[0];
    for (const char* key : {"a", "b", "c"})
        App().KeyPress(key);
    Advance(4'000);

    EXPECT_EQ(dialogs.messages, std::vector<std::string>{" OK! "});
    const auto registry = playlists::ReadListFile(Dir() / "Lists" / "Kalvotune").value();
    ASSERT_EQ(registry.size(), 1u);
    EXPECT_EQ(playlists::LinePath(registry[0]), m_track.string());
    const Bytes speed
        = ReadFileBytes(Dir() / "Data" / playlists::LineTemplate(registry[0]) / "Speed.kvt").value_or(Bytes{});
    ASSERT_EQ(speed.size(), 3u * 20 + 50);
    EXPECT_EQ(speed[0], static_cast<std::uint8_t>(first + 66));

    App().Click("PlayButton");
    EXPECT_EQ(Window().caption, " Калейдоскоп        Демо   (с ШНК)");
}

} // namespace
} // namespace kalvotune::testing
