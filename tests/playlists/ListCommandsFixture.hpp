#pragma once

#include "core/Random.hpp"
#include "playlists/CurrentList.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Lists.hpp"
#include "playlists/MyLists.hpp"
#include "support/FakeAudioDevice.hpp"
#include "support/Fakes.hpp"
#include "support/TempDir.hpp"
#include "support/WriteFaults.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace kalvotune::playlists {

using Lines = std::vector<std::string>;

/// Records what the list commands ask of the player.
class RecordingPlayer : public PlayControls {
public:
    explicit RecordingPlayer(Form& form)
        : m_form{form}
    {
    }
    void PlayOrNext() override { calls.push_back("play"); }
    void UpdatePlayButtons() override { calls.push_back("buttons"); }
    void ToggleListView() override
    {
        calls.push_back("list");
        m_form.CurrentListBox.visible = !m_form.CurrentListBox.visible;
    }
    std::vector<std::string> calls;

private:
    Form& m_form;
};

/// Records the text proposed in every input box before answering from the script.
class ProposalDialogs : public testing::FakeDialogs {
public:
    std::optional<std::string> InputBox(
        const std::string& caption, const std::string& prompt, const std::string& value) override
    {
        proposals.push_back(value);
        titles.push_back(caption + "|" + prompt);
        return FakeDialogs::InputBox(caption, prompt, value);
    }
    std::vector<std::string> proposals;
    std::vector<std::string> titles;
};

/// A program folder with `Lists` (index "Kalvotune", "Калейдоскоп", registry) and a music
/// folder; the list commands run on the window model with a recording player.
class ListCommands : public ::testing::Test {
protected:
    ListCommands()
    {
        form.ProgramDir = dir.Path();
        std::filesystem::create_directories(dir.Path() / "Lists");
        Put("MyLists", {"Kalvotune", "Калейдоскоп"});
        Put("Kalvotune", {});
        form.CurrentListName = "Калейдоскоп";
        form.CurrentListBox.sorted = false;
    }
    ~ListCommands() override
    {
        FailReadsOf(std::nullopt);
        FailNextWriteAfter(std::nullopt);
    }

    std::filesystem::path File(std::string_view name) const { return dir.Path() / "Lists" / name; }
    Lines Read(std::string_view name) const { return ReadListFile(File(name)).value_or(Lines{"<missing>"}); }
    void Put(std::string_view name, const Lines& lines) { ASSERT_TRUE(WriteListFile(File(name), lines).ok); }
    static std::string Line(const std::filesystem::path& track) { return "*" + track.string() + "*0*"; }

    /// Makes an audio file in `folder` under the temporary folder and gives its path.
    std::filesystem::path Track(const std::string& folder, const std::string& name)
    {
        const std::filesystem::path path = dir.Path() / folder / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream{path} << "audio";
        device.AddFile(path, 60'000);
        return path;
    }
    /// Fills `CurrentListBox` as opening the list would.
    void Show(const Lines& lines)
    {
        form.CurrentListBox.Clear();
        for (const std::string& line : lines)
            form.CurrentListBox.Add(MakeListItem(line));
    }
    /// Starts `track` on the device as the player would.
    void PlayTrack(const std::filesystem::path& track)
    {
        ASSERT_TRUE(device.Open(track).ok);
        device.Play();
        form.CurrentTrackName = track;
        form.TrackTitle = TrackTitleOf(track.string());
    }
    std::vector<std::string> Items(const ListBox& box) const { return box.Items(); }
    std::vector<int> SelectedIndices(const ListBox& box) const
    {
        std::vector<int> selected;
        for (int i = 0; i < box.Count(); ++i)
            if (box.Selected(i))
                selected.push_back(i);
        return selected;
    }
    /// Selects the panel entries named `names`, as the user would.
    void SelectInPanel(const Lines& names)
    {
        for (int i = 0; i < form.MyListsBox.Count(); ++i)
            form.MyListsBox.SetSelected(
                i, std::find(names.begin(), names.end(), form.MyListsBox.Item(i)) != names.end());
    }

    testing::TempDir dir;
    Form form;
    ProposalDialogs dialogs;
    testing::FakeClock clock;
    Random random{clock};
    testing::FakeAudioDevice device;
    testing::FakeScreen screen;
    testing::FakeSounds sounds;
    testing::FakeUserActivity activity;
    Services services{dialogs, clock, random, device, screen, sounds, activity};
    RecordingPlayer player{form};
    Lists lists{form, services};
    MyLists myLists{form, services, lists, player};
    CurrentList currentList{form, services, lists, myLists, player};
};

} // namespace kalvotune::playlists
