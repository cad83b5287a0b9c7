#pragma once

#include "core/Services.hpp"

class QWidget;

namespace kalvotune::app {

/// Message boxes and standard dialogs over Qt Widgets. The boxes keep the desktop's own
/// palette; the program's messages carry no icon, its questions the question icon.
class QtDialogs : public Dialogs {
public:
    void SetParent(QWidget* parent) { m_parent = parent; }

    void ShowMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    std::optional<std::string> InputBox(
        const std::string& caption, const std::string& prompt, const std::string& value) override;
    /// Starts in `initialFolder` when given; otherwise in the folder last used during this
    /// run, the first time in the desktop's music folder (the home folder without one).
    /// Extensions match in any letter case.
    std::vector<std::filesystem::path> OpenAudioFiles(bool tracksOnly) override;
    std::optional<std::filesystem::path> ChooseFolder(const std::string& title) override;
    std::optional<int> ChooseItem(const std::string& caption, const std::string& prompt,
        const std::vector<std::string>& items, int current) override;
    /// Starts in the folder of the last opened tracks, else the desktop's music folder.
    std::optional<std::filesystem::path> SavePlaylistFile(const std::string& suggested) override;
    /// Starts in the desktop's videos folder (the home folder without one); a name
    /// without an extension gets ".mp4".
    std::optional<VideoFileChoice> SaveVideoFile(
        const std::string& suggested, const std::vector<std::string>& shapes) override;

private:
    QWidget* m_parent{};
    std::filesystem::path m_lastFolder;
};

class SystemClock : public Clock {
public:
    std::int64_t UnixSeconds() const override;
    LocalDateTime Now() const override;
};

class QtScreen : public Screen {
public:
    int Width() const override;
    int Height() const override;
    int PhysicalWidth() const override;
    void SetCursorPos(int x, int y) override;
};

/// Calls `SimulateUserActivity` on the session's `org.freedesktop.ScreenSaver` service
/// when the session bus offers it.
class DBusUserActivity : public UserActivity {
public:
    void Poke() override;
};

} // namespace kalvotune::app
