#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kalvotune {

class AudioDevice;
class Random;

/// What the save-video dialog gave: the file, and which of the offered shapes was picked.
struct VideoFileChoice {
    std::filesystem::path file;
    int shape{};
};

/// Message boxes and standard dialogs. Texts are UTF-8.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    /// The program's own message: one OK button, the application title as caption.
    virtual void ShowMessage(const std::string& text) = 0;
    /// The application's error box for errors that escape a handler.
    virtual void ShowError(const std::string& text) = 0;
    /// A Yes/No question with the question icon. True means Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
    /// A one-line input box. Empty when cancelled.
    virtual std::optional<std::string> InputBox(
        const std::string& caption, const std::string& prompt, const std::string& value)
        = 0;
    /// The multi-select file-open dialog for audio files, starting where it last was (the
    /// user's music folder at first); M3U playlists are offered too unless `tracksOnly`.
    /// Empty when cancelled.
    virtual std::vector<std::filesystem::path> OpenAudioFiles(bool tracksOnly) = 0;
    /// The save dialog for an M3U8 playlist, proposing the file name `suggested`; asks
    /// before replacing a file. Empty when cancelled; a back end without such a dialog
    /// always cancels.
    virtual std::optional<std::filesystem::path> SavePlaylistFile(const std::string& /*suggested*/)
    {
        return std::nullopt;
    }
    /// The save dialog for an MP4 video, proposing the file name `suggested` and offering
    /// the picture shapes `shapes` (the first one picked at first): the name as chosen (the
    /// caller adds ".mp4" and asks before replacing a file) and the index of the shape
    /// picked. Empty when cancelled; a back end without such a dialog always cancels.
    virtual std::optional<VideoFileChoice> SaveVideoFile(
        const std::string& /*suggested*/, const std::vector<std::string>& /*shapes*/)
    {
        return std::nullopt;
    }
    /// A list to choose one line of, `current` marked at first. The index chosen; empty
    /// when cancelled; a back end without such a dialog always cancels.
    virtual std::optional<int> ChooseItem(const std::string& /*caption*/, const std::string& /*prompt*/,
        const std::vector<std::string>& /*items*/, int /*current*/)
    {
        return std::nullopt;
    }
    /// The folder-choice dialog. Empty when cancelled.
    virtual std::optional<std::filesystem::path> ChooseFolder(const std::string& title) = 0;
};

struct LocalDateTime {
    int year{};
    int month{};
    int day{};
    int hour{};
    int minute{};
    int second{};
};

class Clock {
public:
    virtual ~Clock() = default;
    /// Wall-clock time in whole seconds; the pseudo-random generator is seeded from it.
    virtual std::int64_t UnixSeconds() const = 0;
    virtual LocalDateTime Now() const = 0;
};

/// The primary screen. Sizes are in the window system's coordinates, which with display
/// scaling are fewer than the screen's pixels.
class Screen {
public:
    virtual ~Screen() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    /// The width in the screen's own pixels, display scaling undone.
    virtual int PhysicalWidth() const = 0;
    /// Moves the mouse cursor to a point of the screen.
    virtual void SetCursorPos(int x, int y) = 0;
};

/// The program's own short sounds (exit and about).
class SoundEffects {
public:
    virtual ~SoundEffects() = default;
    /// Plays the file and returns when it has finished or failed; failures are silent.
    virtual void PlayAndWait(const std::filesystem::path& file) = 0;
    /// Starts the file and returns at once; failures are silent.
    virtual void PlayAsync(const std::filesystem::path& file) = 0;
};

/// Tells the desktop session that the user is active, so the screen saver and the
/// display power-off wait while the kaleidoscope animates.
class UserActivity {
public:
    virtual ~UserActivity() = default;
    /// Best effort; does nothing where the session offers no such service.
    virtual void Poke() = 0;
};

/// Everything a handler may reach outside the window model.
struct Services {
    Dialogs& dialogs;
    Clock& clock;
    Random& random;
    AudioDevice& device;
    Screen& screen;
    SoundEffects& sounds;
    UserActivity& activity;
};

} // namespace kalvotune
