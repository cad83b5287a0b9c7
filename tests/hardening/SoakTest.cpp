// Ten thousand track starts (a quarter under the sanitizers) on the window model with the fake device and virtual
// clock: lists switched, random mode, missing files, pauses and seeks, with the shipped pattern tables, so the
// kaleidoscope draws all along and follows the template ticks. Memory, the history list and the timers must come out as
// they went in.
#include "app/AppFixture.hpp"
#include "core/FileIO.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <malloc.h>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer runtime: the bytes of live heap blocks, exact.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
// Every C++ allocation of this test program is counted, so the soak compares the bytes
// the program holds exactly. (The C library's statistics count its per-thread caches as
// used, which makes them drift with no leak at all.) Under AddressSanitizer its own exact
// count is used instead.
namespace {
std::atomic<std::int64_t> g_liveBytes{0};
}

void* operator new(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc{};
    g_liveBytes += static_cast<std::int64_t>(malloc_usable_size(block));
    return block;
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void* block) noexcept
{
    if (block == nullptr)
        return;
    g_liveBytes -= static_cast<std::int64_t>(malloc_usable_size(block));
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    operator delete(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    operator delete(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    operator delete(block);
}
#endif

namespace kalvotune {
namespace {

namespace fs = std::filesystem;

// Bytes the program holds in live C++ heap blocks.
std::int64_t HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return static_cast<std::int64_t>(__sanitizer_get_current_allocated_bytes());
#else
    return g_liveBytes.load();
#endif
}

class SoakTest : public testing::AppFixture, public ::testing::Test {
protected:
    // The soak is about memory and timers, not the disk: its program folder goes to memory
    // when the system offers a memory file system, where the writes' flushes cost nothing.
    static void SetUpTestSuite()
    {
        if (const char* old = std::getenv("TMPDIR"))
            s_oldTmpDir = old;
        std::error_code ec;
        if (fs::is_directory("/dev/shm", ec))
            ::setenv("TMPDIR", "/dev/shm", 1);
    }
    static void TearDownTestSuite()
    {
        if (s_oldTmpDir.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", s_oldTmpDir.c_str(), 1);
    }
    static inline std::string s_oldTmpDir;

    static constexpr int kTracks{1200};
#if defined(__SANITIZE_ADDRESS__)
    // Drawing every frame costs about 30 ms of CPU per track start under the sanitizers:
    // they check a quarter of the starts, the plain build all ten thousand.
    static constexpr int kStarts{2'500};
#else
    static constexpr int kStarts{10'000};
#endif
    static constexpr int kMissingEvery{40};

    void SetUp() override
    {
        MakeProgramFolder();
        WriteTables();
        fs::create_directories(Dir() / "music");
        // Names of one length, so that the heap holds blocks of the same sizes all along.
        for (int i = 0; i < kTracks; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "t%05d.mp3", i);
            const fs::path track = Dir() / "music" / name;
            m_tracks.push_back("*" + track.string() + "*0*");
            if (i % kMissingEvery == kMissingEvery - 1)
                continue; // listed, but the file is gone
            ASSERT_TRUE(WriteFileAtomically(track, std::string_view{"audio"}).ok);
            device.AddFile(track, 900 + 400 * (i % 3));
        }
    }

    // Opens a list of the tracks from..from+count as the window shows a list.
    void OpenList(const std::string& name, int from, int count)
    {
        const std::vector<std::string> lines(m_tracks.begin() + from, m_tracks.begin() + from + count);
        ASSERT_TRUE(playlists::WriteListFile(Dir() / "Lists" / name, lines).ok);
        Form& f = Window();
        f.CurrentListBox.Clear();
        f.CurrentListBox.sorted = false;
        for (const std::string& line : lines)
            f.CurrentListBox.Add(playlists::MakeListItem(line));
        f.CurrentListName = name;
        // A few entries chosen; the rest is reached in random mode.
        for (int i = 0; i < count; i += 7)
            f.CurrentListBox.SetSelected(i, true);
        App().Click("ListBox1");
    }

    // One stretch of playing: starts the selection, pauses, seeks, runs on. Tracks last
    // 0.9 to 1.7 s, so a stretch plays a few of them through and starts the next.
    void PlayStretch(int stretch)
    {
        // Random picks are seeded from whole seconds; the virtual wall clock moves on.
        clock.AdvanceSeconds(7);
        App().Click("PlayButton");
        Advance(300);
        CheckTimers();
        if (stretch % 3 == 0) {
            App().Click("PauseButton");
            Advance(500);
            CheckTimers();
            App().Click("PlayButton");
        }
        if (stretch % 4 == 0)
            App().MouseUp("Panel2", Window().PositionStrip.width / 2, 3);
        // The picture follows the template ticks of the playing track.
        const int tick = Window().TemplateTick;
        const bool wasPlaying = device.Mode() == DeviceMode::Playing;
        const std::uint64_t frames = Window().surface.revision;
        Advance(kRunMs);
        CheckTimers();
        if (wasPlaying) {
            m_ticksMoved += Window().TemplateTick != tick ? 1 : 0;
            m_framesDrawn += Window().surface.revision - frames;
        }
        // The test's own record of boxes is not the program's memory.
        dialogs.messages.clear();
        dialogs.messages.shrink_to_fit();
        dialogs.errors.clear();
        dialogs.errors.shrink_to_fit();
    }

    // While a track plays exactly one pattern timer draws, with the keep-awake tick and
    // the position tick; paused or stopped, none of them runs.
    void CheckTimers()
    {
        int patterns = 0;
        for (TimerControl* timer : Window().PatternTimers())
            patterns += timer->enabled ? 1 : 0;
        const bool playing = device.Mode() == DeviceMode::Playing;
        ASSERT_EQ(patterns, playing ? 1 : 0) << "opens " << device.opens;
        ASSERT_EQ(Window().PositionTimer.enabled, playing);
        ASSERT_EQ(Window().KeepAwakeTimer.enabled, playing);
    }

    // Virtual time each stretch plays on; a pattern tick draws every 20 ms or so.
    static constexpr int kRunMs{2500};
    std::vector<std::string> m_tracks;
    std::int64_t m_ticksMoved{0};
    std::uint64_t m_framesDrawn{0};
};

TEST_F(SoakTest, ThousandsOfTrackStartsLeaveMemoryHistoryAndTimersAsTheyWere)
{
    Start();
    Window().DropMissingLinesItem.checked = true;
    const char* lists[]{"Вальсы", "Марши", "Ноктюрны", "Польки", "Романсы", "Этюды"};
    int stretch = 0;
    // The heap is compared at one and the same state: stopped, the first list just opened.
    const auto settle = [&] {
        App().Click("StopButton");
        OpenList(lists[0], 0, 200);
        // The scratch box keeps what the last random pick put there, until the next pick.
        Window().WorkListBox.Clear();
        return HeapInUse();
    };
    std::int64_t heapAfter100 = 0;
    while (device.opens < kStarts) {
        if (stretch % 25 == 0) {
            const int which = (stretch / 25) % 6;
            OpenList(lists[which], which * 200, 200);
        }
        PlayStretch(stretch++);
        if (heapAfter100 == 0 && device.opens >= 100)
            heapAfter100 = settle();
    }
    const std::int64_t heapAfter = settle();
    std::cout << "[ soak ] " << device.opens << " track starts in " << stretch
              << " stretches; heap after 100: " << heapAfter100 << " bytes, after all: " << heapAfter << " bytes; "
              << m_framesDrawn << " frames drawn, the template tick moved in " << m_ticksMoved << " stretches\n";

    // The kaleidoscope ran: frames in every stretch (about nine on average), the ticks
    // moving under them.
    EXPECT_GE(m_framesDrawn, static_cast<std::uint64_t>(stretch) * 4);
    EXPECT_GE(m_ticksMoved * 10, static_cast<std::int64_t>(stretch) * 8);

    // A leak of even a few bytes a start would come to tens of kilobytes here; what the
    // program keeps between starts (a container's spare room, the last track's state) may
    // differ by a block or two between the two stopped states, and that is no leak.
    EXPECT_LE(std::abs(heapAfter - heapAfter100), 128);
    const auto history = playlists::ReadListFile(Dir() / "Lists" / "Былое");
    ASSERT_TRUE(history);
    EXPECT_EQ(history->size(), 1001u);
    for (TimerControl* timer : Window().AllTimers())
        EXPECT_FALSE(timer->enabled) << "a timer runs after Stop";
}

} // namespace
} // namespace kalvotune
