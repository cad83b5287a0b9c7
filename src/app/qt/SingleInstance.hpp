#pragma once

#include <QLocalServer>
#include <QObject>

#include <filesystem>
#include <functional>
#include <vector>

namespace kalvotune::app {

/// One player per program folder and user: a second start hands its files to the running
/// player over a local socket and exits.
class SingleInstance : public QObject {
public:
    /// The socket's name follows from the user and `programDir`.
    explicit SingleInstance(const std::filesystem::path& programDir);

    /// Hands `files` (absolute paths; none to raise the window only) to a running player
    /// of the same folder. True when one took them; false when none runs.
    bool HandOver(const std::vector<std::filesystem::path>& files);
    /// Accepts later starts; `received` runs on this thread with each start's files.
    /// Best effort: without a socket the player runs alone.
    void Listen(std::function<void(const std::vector<std::filesystem::path>&)> received);

private:
    QString m_name;
    QLocalServer m_server;
    std::function<void(const std::vector<std::filesystem::path>&)> m_received;
};

} // namespace kalvotune::app
