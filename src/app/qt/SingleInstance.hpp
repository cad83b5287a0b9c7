#pragma once

#include <QLocalServer>
#include <QObject>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace kalvotune::app {

/// What a second start asks of the running player.
struct HandedStart {
    std::vector<std::filesystem::path> files; ///< absolute paths; none to raise the window only
    bool listen{}; ///< `--listen`: listen to the computer's sound
    std::string source; ///< the source to listen to; empty for the one chosen in the window
};

/// One player per program folder and user: a second start hands its files (or `--listen`)
/// to the running player over a local socket and exits.
class SingleInstance : public QObject {
public:
    /// The socket's name follows from the user and `programDir`.
    explicit SingleInstance(const std::filesystem::path& programDir);

    /// Hands `start` to a running player of the same folder. True when one took it; false
    /// when none runs.
    bool HandOver(const HandedStart& start);
    /// Accepts later starts; `received` runs on this thread with what each one asks.
    /// Best effort: without a socket the player runs alone.
    void Listen(std::function<void(const HandedStart&)> received);

private:
    QString m_name;
    QLocalServer m_server;
    std::function<void(const HandedStart&)> m_received;
};

} // namespace kalvotune::app
