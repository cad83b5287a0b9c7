#include "templates/TemplateLoader.hpp"

#include "core/FileIO.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <numeric>

namespace kalvotune::templates {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

Bytes Sequence(std::size_t size, std::uint8_t first)
{
    Bytes bytes(size);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

class TemplateLoaderTest : public ::testing::Test {
protected:
    TemplateLoaderTest() { fs::create_directories(Data()); }

    fs::path Data() const { return m_dir.Path() / "Data"; }

    void Write(const fs::path& file, const Bytes& bytes)
    {
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(WriteFileAtomically(file, bytes).ok);
    }

    void WriteFull(const fs::path& folder, std::size_t size)
    {
        Write(folder / kBlueFile, Sequence(size, 1));
        Write(folder / kGreenFile, Sequence(size, 101));
        Write(folder / kRedFile, Sequence(size, 51));
        Write(folder / kSpeedFile, Sequence(size, 0));
    }

    void Load(const std::string& name)
    {
        m_loaded = LoadTrackTemplate(m_dir.Path(), name, m_seconds, m_period, m_fakes.random);
    }

    void ExpectGeneratedColours(int length)
    {
        const auto& c = m_loaded.channels;
        ASSERT_EQ(c.Length(), length);
        ASSERT_EQ(static_cast<int>(c.green.size()), length);
        for (int i = 0; i < length; ++i) {
            EXPECT_EQ(c.Blue(i) % 2 == 1, i % 161 == 0) << i;
            EXPECT_EQ(c.Red(i) % 2 == 1, i % 50 == 0) << i;
            EXPECT_EQ(c.Green(i) % 2, 0) << i;
            EXPECT_LE(c.Blue(i), 255);
            EXPECT_LE(c.Green(i), 254);
        }
    }

    TempDir m_dir;
    testing::FakeServices m_fakes;
    int m_seconds{30};
    int m_period{20};
    TrackTemplate m_loaded;
};

TEST_F(TemplateLoaderTest, FullTemplateIsReadAtTheLengthOfBlu)
{
    const fs::path folder = Data() / "Вальс48213";
    Write(folder / kBlueFile, Sequence(10, 1));
    Write(folder / kRedFile, Sequence(15, 51)); // longer: cut
    Write(folder / kGreenFile, Sequence(6, 101)); // shorter: zero-filled
    Write(folder / kSpeedFile, Sequence(10, 0));

    Load("Вальс48213");

    EXPECT_EQ(m_loaded.state, TemplateState::Full);
    EXPECT_EQ(m_loaded.dir, folder);
    const auto& c = m_loaded.channels;
    EXPECT_EQ(c.blue, Sequence(10, 1));
    EXPECT_EQ(c.red, Sequence(10, 51));
    EXPECT_EQ(c.speed, Sequence(10, 0));
    EXPECT_EQ(c.green, (Bytes{101, 102, 103, 104, 105, 106, 0, 0, 0, 0}));
}

TEST_F(TemplateLoaderTest, EmptyBluGivesAFullTemplateOfLengthZero)
{
    WriteFull(Data() / "t1", 0);
    Load("t1");
    EXPECT_EQ(m_loaded.state, TemplateState::Full);
    EXPECT_EQ(m_loaded.channels.Length(), 0);
    EXPECT_TRUE(m_loaded.channels.speed.empty());
}

TEST_F(TemplateLoaderTest, SpeedFileAloneGivesRandomColoursAndTheRecordedSpeed)
{
    m_seconds = 1; // 70 ticks; the recorded file is longer and is cut
    Write(Data() / "t2" / kSpeedFile, Sequence(100, 0));

    Load("t2");

    EXPECT_EQ(m_loaded.state, TemplateState::StillPicture);
    ExpectGeneratedColours(70);
    EXPECT_EQ(m_loaded.channels.speed, Sequence(70, 0));
}

TEST_F(TemplateLoaderTest, ShortSpeedFileLeavesTheRestZero)
{
    m_seconds = 0;
    Write(Data() / "t3" / kSpeedFile, Bytes{30, 31, 32});
    Load("t3");
    Bytes expected(50, 0);
    expected[0] = 30;
    expected[1] = 31;
    expected[2] = 32;
    EXPECT_EQ(m_loaded.channels.speed, expected);
}

TEST_F(TemplateLoaderTest, NoTemplateGeneratesEveryChannel)
{
    // Three colour files without Speed.kvt count as no template at all.
    Write(Data() / "t4" / kBlueFile, Sequence(10, 1));
    Write(Data() / "t4" / kGreenFile, Sequence(10, 1));
    Write(Data() / "t4" / kRedFile, Sequence(10, 1));

    for (const std::string name : {"0", "t4"}) {
        SCOPED_TRACE(name);
        Load(name);
        EXPECT_EQ(m_loaded.state, TemplateState::None);
        EXPECT_EQ(m_loaded.dir, Data() / name);
        ExpectGeneratedColours(30 * 20 + 50);
    }
}

TEST_F(TemplateLoaderTest, ZeroLengthTrackStillGetsFiftyTicks)
{
    m_seconds = 0;
    Load("0");
    ExpectGeneratedColours(50);
    EXPECT_EQ(m_loaded.channels.speed.size(), 50u);
}

TEST_F(TemplateLoaderTest, GeneratedSpeedMarksEveryTrackBarPeriod)
{
    for (const int period : {4, 20, 80}) {
        SCOPED_TRACE(period);
        m_period = period;
        Load("0");
        const auto& c = m_loaded.channels;
        for (int i = 0; i < c.Length(); ++i) {
            if (i % period == 0)
                EXPECT_EQ(c.Speed(i), 24) << i;
            else
                EXPECT_LT(c.Speed(i), 8) << i;
        }
    }
}

TEST_F(TemplateLoaderTest, ChannelFilesInDataServeAMissingFolder)
{
    WriteFull(Data(), 12);
    Load("Пропавшая7");
    EXPECT_EQ(m_loaded.state, TemplateState::Full);
    EXPECT_EQ(m_loaded.channels.blue, Sequence(12, 1));
    EXPECT_EQ(m_loaded.dir, Data() / "Пропавшая7");
}

TEST_F(TemplateLoaderTest, AFolderNamedLikeAChannelFileDoesNotCount)
{
    WriteFull(Data() / "t5", 12);
    fs::remove(Data() / "t5" / kSpeedFile);
    fs::create_directory(Data() / "t5" / kSpeedFile);
    Load("t5");
    EXPECT_EQ(m_loaded.state, TemplateState::None);
}

TEST_F(TemplateLoaderTest, UnsafeNamesNeverLeaveData)
{
    // A full template outside Data, reachable through "..", and a nested one: neither
    // may be read.
    WriteFull(m_dir.Path(), 12);
    WriteFull(Data() / "a" / "b", 12);
    const std::vector<std::string> names{"", ".", "..", "../Data", "a/b", "/tmp", std::string{"..\0x", 4}};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        Load(name);
        EXPECT_EQ(m_loaded.state, TemplateState::None);
        EXPECT_TRUE(m_loaded.dir.empty());
    }
    // Treated like a missing folder: files lying in Data itself still serve.
    WriteFull(Data(), 7);
    Load("..");
    EXPECT_EQ(m_loaded.state, TemplateState::Full);
    EXPECT_EQ(m_loaded.channels.Length(), 7);
}

TEST_F(TemplateLoaderTest, BackslashIsPartOfAFolderName)
{
    // On this file system a title may hold '\'; its folder is one entry of Data.
    WriteFull(Data() / "a\\b7", 5);
    Load("a\\b7");
    EXPECT_EQ(m_loaded.state, TemplateState::Full);
    EXPECT_EQ(m_loaded.dir, Data() / "a\\b7");
}

} // namespace
} // namespace kalvotune::templates
