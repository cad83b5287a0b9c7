#include "support/SoundServer.hpp"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace kalvotune::testing {

namespace {

constexpr std::array<const char*, 3> kVariables{"PULSE_SERVER", "XDG_RUNTIME_DIR", "HOME"};

/// Runs `argv` with its output thrown away (a server keeps its output open, so nothing
/// may wait for it); gives the child's pid, or -1.
pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid{-1};
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Run(const std::vector<std::string>& args)
{
    const pid_t pid{Spawn(args)};
    int status{};
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

SoundServer::SoundServer()
{
    for (std::size_t i = 0; i < kVariables.size(); ++i)
        if (const char* value = std::getenv(kVariables[i])) {
            m_had[i] = true;
            m_saved[i] = value;
        }
    const std::filesystem::path run{m_dir.Path() / "run"}, home{m_dir.Path() / "home"};
    std::filesystem::create_directories(run);
    std::filesystem::create_directories(home);
    ::chmod(run.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("PULSE_SERVER", ("unix:" + (run / "pulse" / "native").string()).c_str(), 1);
}

SoundServer::~SoundServer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    for (std::size_t i = 0; i < kVariables.size(); ++i)
        if (m_had[i])
            ::setenv(kVariables[i], m_saved[i].c_str(), 1);
        else
            ::unsetenv(kVariables[i]);
}

bool SoundServer::Start()
{
    const std::string socket{(m_dir.Path() / "run" / "pulse" / "native").string()};
    m_pid = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--disallow-exit",
        "-L", "module-null-sink sink_name=test rate=48000 channels=2 format=float32le", "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + socket});
    if (m_pid < 0)
        return false;
    for (int i = 0; i < 200; ++i) {
        if (Run({"pactl", "info"}) == 0)
            return Run({"pactl", "set-default-sink", "test"}) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds{50});
    }
    return false;
}

void SoundServer::Kill()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

bool SoundServer::Play(const std::filesystem::path& file) const
{
    return Run({"paplay", file.string()}) == 0;
}

} // namespace kalvotune::testing
