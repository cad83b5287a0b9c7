// Files of any size cost no more than the program needs from them, and lengths and
// positions of any size never overflow.
#include "app/AppFixture.hpp"
#include "app/PatternCommands.hpp"
#include "app/Settings.hpp"
#include "core/FileIO.hpp"
#include "core/SurfaceFile.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"
#include "playlists/ListFile.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"
#include "templates/TemplateLoader.hpp"

#include "PatternTables.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace kalvotune {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kGigabyte{1ull << 30};

// A file of `size` bytes that takes no disk space: `head`, then holes that read as zeros.
void MakeHugeFile(const fs::path& file, std::uint64_t size, std::string_view head = {})
{
    fs::create_directories(file.parent_path());
    const int fd = ::open(file.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
    ::close(fd);
}

TEST(BoundedInput, ListFilesOverTheLimitAreRefusedUnreadAndKept)
{
    testing::TempDir dir;
    const fs::path list = dir.Path() / "Вальсы";
    MakeHugeFile(list, 4 * kGigabyte, "*/a.mp3*0*\r\n");
    const playlists::ListReadResult read = playlists::ReadListFileChecked(list);
    EXPECT_EQ(read.status, ReadResult::Status::Failed);
    EXPECT_TRUE(read.lines.empty());
    EXPECT_NE(read.message.find("больше 64 МБ"), std::string::npos);
    EXPECT_NE(read.message.find(list.string()), std::string::npos);
    EXPECT_FALSE(playlists::ReadListFile(list).has_value());

    // Exactly at the limit a list still reads.
    MakeHugeFile(list, playlists::kMaxListFileBytes, "*/a.mp3*0*\r\n");
    EXPECT_TRUE(playlists::ReadListFileChecked(list).ok());
}

TEST(BoundedInput, AHugeHistoryListIsNeitherReadNorWrittenOver)
{
    testing::AppFixture app;
    app.MakeProgramFolder();
    const fs::path history = app.Dir() / "Lists" / "Былое";
    MakeHugeFile(history, kGigabyte, "*/a.mp3*0*\r\n");
    ASSERT_TRUE(WriteFileAtomically(app.Dir() / "Sound" / "Вальс.mp3", std::string_view{"audio"}).ok);
    app.device.AddFile(app.Dir() / "Sound" / "Вальс.mp3", 3000);
    app.Start();
    app.Window().CurrentListBox.SetSelected(0, true);
    app.App().DoubleClick("ListBox1");
    EXPECT_EQ(app.device.openFile.filename(), "Вальс.mp3");
    EXPECT_EQ(fs::file_size(history), kGigabyte);

    // A registry past the limit: the track plays without template, after the error box.
    const fs::path registry = app.Dir() / "Lists" / "Kalvotune";
    MakeHugeFile(registry, kGigabyte);
    app.App().Click("StopButton");
    app.Window().TrackIndex = -1;
    app.App().Click("PlayButton");
    EXPECT_EQ(app.Window().TemplateName, "0");
    EXPECT_FALSE(app.dialogs.errors.empty());
    EXPECT_EQ(fs::file_size(registry), kGigabyte);
}

class ChannelBounds : public ::testing::Test {
protected:
    ChannelBounds() { fs::create_directories(Folder()); }

    templates::TrackTemplate Load(const std::string& name, int trackSeconds)
    {
        return templates::LoadTrackTemplate(m_dir.Path(), name, trackSeconds, 20, m_fakes.random);
    }
    fs::path Folder() const { return m_dir.Path() / "Data" / "Вальс1"; }

    testing::TempDir m_dir;
    testing::FakeServices m_fakes;
};

TEST_F(ChannelBounds, ChannelFilesOfGigabytesAreReadOnlyAsFarAsTheTrackNeeds)
{
    for (const char* file : {templates::kBlueFile, templates::kGreenFile, templates::kRedFile, templates::kSpeedFile})
        MakeHugeFile(Folder() / file, 4 * kGigabyte, "\x03\x05\x07");
    templates::TrackTemplate loaded = Load("Вальс1", 30);
    EXPECT_EQ(loaded.state, templates::TemplateState::Full);
    EXPECT_EQ(loaded.channels.Length(), 30 * 20 + 50);
    EXPECT_EQ(loaded.channels.Blue(0), 3);
    EXPECT_EQ(loaded.channels.Speed(2), 7);
    EXPECT_EQ(loaded.channels.speed.size(), 650u);

    // A still-picture template alike.
    for (const char* file : {templates::kBlueFile, templates::kGreenFile, templates::kRedFile})
        fs::remove(Folder() / file);
    loaded = Load("Вальс1", 30);
    EXPECT_EQ(loaded.state, templates::TemplateState::StillPicture);
    EXPECT_EQ(loaded.channels.Length(), 650);
}

TEST_F(ChannelBounds, AnyTrackLengthGivesChannelsOfABoundedLengthWithoutOverflow)
{
    // A file may report any length: the product is taken in 64 bits over a day at most.
    for (const int seconds : {std::numeric_limits<int>::max(), 107'374'183, 86'401, -5}) {
        const int expected = seconds < 0 ? 50 : 86'400 * 20 + 50;
        EXPECT_EQ(Load("0", seconds).channels.Length(), expected) << seconds;
    }
    EXPECT_EQ(Load("0", 600).channels.Length(), 600 * 20 + 50);
}

TEST(BoundedInput, PositionsOfAnySizeGiveAValidTick)
{
    testing::FakeServices fakes;
    Form form;
    kaleidoscope::Engine engine{form.Pattern(), fakes.random};
    ASSERT_TRUE(engine.LoadTables(tables::BuildTables()).ok);
    kaleidoscope::Scheduler scheduler{engine, fakes.device, fakes.random};
    app::PatternCommands commands{form, fakes.device, engine, scheduler};
    form.channels.Reset(100);
    const std::int64_t longest = std::numeric_limits<std::int64_t>::max() / 2;
    fakes.device.AddFile("endless", longest);
    fakes.device.Open("endless");
    fakes.device.Seek(longest - 1);
    fakes.device.Play();
    commands.OnPatternTick(form.Timer1);
    EXPECT_EQ(form.TemplateTick, std::numeric_limits<int>::max());
}

TEST(BoundedInput, TableBmpAndSettingsFilesOfGigabytesAreRefusedOrCut)
{
    testing::TempDir dir;
    testing::FakeServices fakes;
    Form form;
    kaleidoscope::Engine engine{form.Pattern(), fakes.random};
    MakeHugeFile(dir.Path() / kaleidoscope::Engine::kFadeFile, 2 * kGigabyte);
    const kaleidoscope::LoadResult tables = engine.LoadTables(dir.Path());
    EXPECT_FALSE(tables.ok);
    EXPECT_NE(tables.message.find("в нём 2147483648 байт, а должно быть 39300"), std::string::npos);

    // A real picture header in front of a gigabyte: refused, the surface untouched.
    Surface surface;
    const Bytes picture = EncodeSurfaceBmp(surface);
    const fs::path shot = dir.Path() / "ScreenShot.BMP";
    MakeHugeFile(shot, kGigabyte, std::string_view{reinterpret_cast<const char*>(picture.data()), 54});
    EXPECT_FALSE(LoadSurfaceBmp(shot, surface));
    EXPECT_EQ(surface.revision, 0u);

    // Settings: the first 400 bytes count, the rest is never read.
    const fs::path settings = dir.Path() / kSettingsFileName;
    MakeHugeFile(settings, kGigabyte, std::string_view{"\x07\0\0\0\x02\0\0\0", 8});
    const SavedSettings record = ReadSettings(settings);
    EXPECT_EQ(record.figureType, 7);
    EXPECT_EQ(record.mode, 2);
    EXPECT_EQ(record.unnamed.back(), 0);
}

} // namespace
} // namespace kalvotune
