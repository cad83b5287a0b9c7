#pragma once

#include "playback/Player.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Lists.hpp"
#include "support/FakeServices.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kalvotune::playback {

/// Records the kaleidoscope calls: "on", "off" and "figures".
class RecordingPatterns : public PatternControl {
public:
    void RunPatterns(bool on) override { calls.push_back(on ? "on" : "off"); }
    void SelectFigures() override { calls.push_back("figures"); }
    std::vector<std::string> calls;
};

class RecordingSaves : public TemplateSaves {
public:
    void SaveStillTemplate() override { calls.push_back("still"); }
    void SaveSynchronisedTemplate() override { calls.push_back("synchronised"); }
    std::vector<std::string> calls;
};

/// A program folder with `Lists` (index and empty registry), `Data` and a music folder;
/// the player runs on the window model with the fake device.
class PlayerTest : public ::testing::Test {
protected:
    PlayerTest()
    {
        namespace fs = std::filesystem;
        m_form.ProgramDir = m_dir.Path();
        fs::create_directories(ListsDir());
        fs::create_directories(m_dir.Path() / "Data");
        fs::create_directories(Music());
        WriteList("MyLists", {"Kalvotune", "Калейдоскоп"});
        WriteList("Kalvotune", {});
        m_form.CurrentListName = "Калейдоскоп";
        m_form.CurrentListBox.sorted = false;
    }

    std::filesystem::path ListsDir() const { return m_dir.Path() / "Lists"; }
    std::filesystem::path Music() const { return m_dir.Path() / "music"; }

    void WriteList(const std::string& name, const std::vector<std::string>& lines)
    {
        ASSERT_TRUE(playlists::WriteListFile(ListsDir() / name, lines).ok);
    }
    std::vector<std::string> ReadList(const std::string& name) const
    {
        return playlists::ReadListFile(ListsDir() / name).value_or(std::vector<std::string>{});
    }

    static std::string LineOf(const std::filesystem::path& path) { return "*" + path.string() + "*0*"; }

    /// Adds an entry for `name` in the music folder; the file exists unless `lengthMs` < 0.
    std::filesystem::path AddTrack(const std::string& name, std::int64_t lengthMs = 60'000, bool selected = false)
    {
        const std::filesystem::path path = Music() / name;
        if (lengthMs >= 0) {
            std::ofstream{path} << "audio";
            m_fakes.device.AddFile(path, lengthMs);
        }
        const int index = m_form.CurrentListBox.Add(playlists::MakeListItem(LineOf(path)));
        m_form.CurrentListBox.SetSelected(index, selected);
        return path;
    }

    /// What a double click does: the box selects the entry alone, then click, then play.
    void DoubleClick(int index)
    {
        m_form.CurrentListBox.SelectAll(false);
        m_form.CurrentListBox.SetSelected(index, true);
        m_player.RestartOrderAfterSelection();
        m_player.PlayOrNext();
    }

    /// Runs `PositionTimer` like the window would, the device's clock moving 400 ms per tick.
    void Tick(int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i) {
            m_fakes.device.Advance(400);
            if (m_form.PositionTimer.enabled)
                m_player.OnPositionTick();
        }
    }
    /// Ticks until the end of the track has been handled; false after `limit` ticks.
    bool PlayToEnd(int limit = 10'000)
    {
        for (int i = 0; i < limit && m_form.PositionTimer.enabled; ++i)
            Tick();
        return !m_form.PositionTimer.enabled;
    }
    /// Fires `NextTrackTimer` once when it is enabled; true when it was.
    bool FireTimer2()
    {
        if (!m_form.NextTrackTimer.enabled)
            return false;
        m_player.OnNextTrackDue();
        return true;
    }

    /// One event as the tests compare it: "started a.mp3 full|still|none", "ended a.mp3", "moved 1000".
    static std::string Describe(const PlayerEvent& event)
    {
        const std::string file = event.track.filename().string();
        switch (event.kind) {
        case PlayerEvent::Kind::TrackStarted: {
            using templates::TemplateState;
            const TemplateState state = event.templateState;
            return "started " + file + " "
                + (state == TemplateState::Full                ? "full"
                        : state == TemplateState::StillPicture ? "still"
                                                               : "none");
        }
        case PlayerEvent::Kind::TrackEnded:
            return "ended " + file;
        case PlayerEvent::Kind::PositionMoved:
            return "moved " + std::to_string(event.positionMs);
        }
        return {};
    }

    std::string Playing() const { return m_fakes.device.openFile.filename().string(); }
    bool IsPlaying() const { return m_fakes.device.Mode() == DeviceMode::Playing; }

    testing::TempDir m_dir;
    Form m_form;
    testing::FakeServices m_fakes;
    playlists::Lists m_lists{m_form, m_fakes.services};
    RecordingPatterns m_patterns;
    RecordingSaves m_saves;
    Player m_player{m_form, m_fakes.services, m_lists, m_patterns, &m_saves};
    /// What the player published, in order.
    std::vector<std::string> m_events;
    PlayerEvents::Subscription m_heard{
        m_player.Events().Subscribe([this](const PlayerEvent& event) { m_events.push_back(Describe(event)); })};
};

} // namespace kalvotune::playback
