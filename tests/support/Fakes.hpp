#pragma once

#include "core/Random.hpp"
#include "core/Services.hpp"

#include <deque>
#include <string>
#include <vector>

namespace kalvotune::testing {

/// Records every box shown and answers questions from a script (Yes when the script is empty).
class FakeDialogs : public Dialogs {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    std::optional<std::string> InputBox(
        const std::string& caption, const std::string& prompt, const std::string& value) override;
    /// Answers from `openedFiles` and records in `openedTracksOnly` whether playlists were offered.
    std::vector<std::filesystem::path> OpenAudioFiles(bool tracksOnly) override;
    std::optional<std::filesystem::path> ChooseFolder(const std::string& title) override;
    /// Answers from `choices` and records the lines offered in `offered`.
    std::optional<int> ChooseItem(const std::string&, const std::string&, const std::vector<std::string>& items,
        int current) override
    {
        offered.push_back(items);
        offeredCurrent = current;
        if (choices.empty())
            return std::nullopt;
        const std::optional<int> choice = choices.front();
        choices.pop_front();
        return choice;
    }
    /// Answers from `savedFiles` and records each proposed name in `savePrompts`.
    std::optional<std::filesystem::path> SavePlaylistFile(const std::string& suggested) override;
    /// The same for a video, with the shape `videoShape`; records the shapes offered.
    std::optional<VideoFileChoice> SaveVideoFile(
        const std::string& suggested, const std::vector<std::string>& shapes) override
    {
        offeredShapes = shapes;
        const std::optional<std::filesystem::path> file = SavePlaylistFile(suggested);
        return file ? std::optional{VideoFileChoice{*file, videoShape}} : std::nullopt;
    }
    /// Drops what was recorded, for a double that outlives many runs (a fuzz target's).
    void ForgetRecords()
    {
        messages.clear();
        errors.clear();
        questions.clear();
        openedTracksOnly.clear();
        savePrompts.clear();
    }

    std::vector<std::string> messages;
    std::vector<std::string> offeredShapes;
    int videoShape{};
    std::vector<std::string> errors;
    std::vector<std::string> questions;
    std::deque<bool> answers;
    std::deque<std::optional<std::string>> inputs;
    std::deque<std::vector<std::filesystem::path>> openedFiles;
    std::vector<bool> openedTracksOnly;
    std::deque<std::optional<std::filesystem::path>> folders;
    std::deque<std::optional<std::filesystem::path>> savedFiles;
    std::vector<std::string> savePrompts;
    std::deque<std::optional<int>> choices;
    std::vector<std::vector<std::string>> offered;
    int offeredCurrent{-1};
};

/// A clock that only moves when a test moves it. Starts at 2026-12-06 18:41:01.
class FakeClock : public Clock {
public:
    std::int64_t UnixSeconds() const override { return unixSeconds; }
    LocalDateTime Now() const override { return now; }

    void AdvanceSeconds(int seconds);

    std::int64_t unixSeconds{1'796'582'461};
    LocalDateTime now{2026, 12, 6, 18, 41, 1};
};

class FakeScreen : public Screen {
public:
    int Width() const override { return width; }
    int Height() const override { return height; }
    int PhysicalWidth() const override { return width * scalePercent / 100; }
    void SetCursorPos(int x, int y) override { cursor = {x, y}; }
    int width{1024};
    /// Display scaling: physical pixels per hundred window-system units.
    int scalePercent{100};
    std::pair<int, int> cursor{};
    int height{768};
};

class FakeSounds : public SoundEffects {
public:
    void PlayAndWait(const std::filesystem::path& file) override { played.push_back(file); }
    void PlayAsync(const std::filesystem::path& file) override { played.push_back(file); }
    std::vector<std::filesystem::path> played;
};

class FakeUserActivity : public UserActivity {
public:
    void Poke() override { ++pokes; }
    int pokes{};
};

} // namespace kalvotune::testing
