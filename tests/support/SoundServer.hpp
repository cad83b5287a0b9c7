#pragma once

#include "support/TempDir.hpp"

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace kalvotune::testing {

/// A private PulseAudio for one test: a null output named "test" (48 kHz stereo floats,
/// the default sink, so "test.monitor" records what it plays), reached through a socket in
/// a temporary runtime folder. The constructor points this process's PULSE_SERVER,
/// XDG_RUNTIME_DIR and HOME at it, so libpulse and `paplay` find it and nothing else;
/// the destructor stops the server and puts the variables back.
class SoundServer {
public:
    SoundServer();
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    /// Starts the server and waits until it answers; false when it did not within 10 s.
    bool Start();
    /// Kills the server at once, as a crash would; its socket stays behind.
    void Kill();
    /// Plays `file` into the null output with `paplay`; returns once it has played.
    bool Play(const std::filesystem::path& file) const;
    const std::filesystem::path& Folder() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    pid_t m_pid{-1};
    std::string m_saved[3];
    bool m_had[3]{};
};

} // namespace kalvotune::testing
