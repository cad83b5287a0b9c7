#include "cli/AnalyseCommand.hpp"

#include "analysis/MusicAnalysis.hpp"
#include "cli/BatchProgress.hpp"
#include "core/SavedSettings.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Registry.hpp"
#include "template_commands/MusicTemplates.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace kalvotune::cli {

namespace fs = std::filesystem;

namespace {

/// How often the installing thread looks at the stop flag and the clock while it waits.
constexpr std::chrono::milliseconds kPollEvery{100};

std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch a lock-free atomic");

extern "C" void OnStopSignal(int signal)
{
    g_stopSignal.store(signal);
}

/// One file of the batch: its absolute path, and the line it gets without any analysis
/// (a template kept, an unreadable registry), empty when it is to be analysed.
struct BatchTrack {
    std::string track;
    std::string decided;
    bool failed{};
};

/// Analyses the tracks of a batch on `threads` threads, each taking the next track not
/// yet taken, and keeps each result until the installing thread takes it.
class ParallelAnalysis {
public:
    ParallelAnalysis(
        const std::vector<BatchTrack>& tracks, const analysis::Analyser& analyse, int spacing, std::size_t threads)
        : m_tracks{tracks}
        , m_analyse{analyse}
        , m_spacing{spacing}
        , m_results(tracks.size())
    {
        for (std::size_t i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { Work(); });
    }
    ParallelAnalysis(const ParallelAnalysis&) = delete;
    ParallelAnalysis& operator=(const ParallelAnalysis&) = delete;
    /// Stops the analyses in work (their results are dropped) and waits for the threads.
    ~ParallelAnalysis()
    {
        m_stop.request_stop();
        m_threads.clear();
    }

    /// The result of track `index` once it is there; nothing when `wait` passes first.
    std::optional<analysis::AnalysisResult> Take(std::size_t index, std::chrono::milliseconds wait)
    {
        std::unique_lock lock{m_mutex};
        if (!m_cv.wait_for(lock, wait, [&] { return m_results[index].has_value(); }))
            return std::nullopt;
        std::optional<analysis::AnalysisResult> result = std::move(m_results[index]);
        m_results[index].reset();
        return result;
    }

    /// Tracks analysed so far, in any order.
    std::size_t Finished() const
    {
        const std::scoped_lock lock{m_mutex};
        return m_finished;
    }

private:
    void Work()
    {
        for (;;) {
            std::size_t index{};
            {
                const std::scoped_lock lock{m_mutex};
                while (m_next < m_tracks.size() && !m_tracks[m_next].decided.empty())
                    ++m_next;
                if (m_next >= m_tracks.size() || m_stop.stop_requested())
                    return;
                index = m_next++;
            }
            analysis::AnalysisResult result = m_analyse(m_tracks[index].track, m_spacing, m_stop.get_token(), {});
            {
                const std::scoped_lock lock{m_mutex};
                m_results[index] = std::move(result);
                ++m_finished;
            }
            m_cv.notify_all();
        }
    }

    const std::vector<BatchTrack>& m_tracks;
    const analysis::Analyser& m_analyse;
    const int m_spacing;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::optional<analysis::AnalysisResult>> m_results;
    std::size_t m_next{};
    std::size_t m_finished{};
    std::stop_source m_stop;
    /// Last, so the threads are joined before what they use goes.
    std::vector<std::jthread> m_threads;
};

/// The progress line on a terminal: written over itself with "\r", cleared before every
/// line of standard output so the two never run into each other.
class ProgressLine {
public:
    ProgressLine(const AnalyseControl& control, std::size_t total, std::size_t toAnalyse)
        : m_out{control.progress ? control.messages : nullptr}
        , m_total{total}
        , m_toAnalyse{toAnalyse}
    {
    }

    void Show(std::size_t done, std::size_t analysed)
    {
        if (m_out == nullptr)
            return;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        std::string text
            = "Готово " + std::to_string(done) + " из " + std::to_string(m_total) + ", прошло " + DurationText(elapsed);
        if (const std::string left
            = TimeLeftText(static_cast<double>(analysed), static_cast<double>(m_toAnalyse), elapsed);
            !left.empty() && done < m_total)
            text += ", " + left;
        if (text == m_shown)
            return;
        m_shown = text;
        *m_out << '\r' << text << "\x1b[K" << std::flush;
    }

    void Clear()
    {
        if (m_out == nullptr || m_shown.empty())
            return;
        *m_out << "\r\x1b[K" << std::flush;
        m_shown.clear();
    }

private:
    std::ostream* m_out;
    std::size_t m_total;
    std::size_t m_toAnalyse;
    std::chrono::steady_clock::time_point m_start{std::chrono::steady_clock::now()};
    std::string m_shown;
};

} // namespace

int DefaultJobs()
{
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, static_cast<unsigned>(kMostJobs)));
}

StopSignals::StopSignals()
{
    g_stopSignal.store(0);
    struct sigaction action { };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Writes to the terminal and the files go on where the signal found them.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &m_oldInterrupt);
    sigaction(SIGTERM, &action, &m_oldTerminate);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &m_oldInterrupt, nullptr);
    sigaction(SIGTERM, &m_oldTerminate, nullptr);
}

const std::atomic<int>& StopSignals::Flag()
{
    return g_stopSignal;
}

int RunAnalyseCommand(const fs::path& programDir, const AnalyseRequest& request, Random& random, std::ostream& out,
    const analysis::Analyser& analyse, const AnalyseControl& control)
{
    const int spacing = std::clamp(ReadSettings(programDir / kSettingsFileName).pictureChangeSlider,
        kFewestPictureChangeTicks, kMostPictureChangeTicks);

    // What needs no analysis is decided before any starts. Without `--replace` the batch
    // only adds lines, so a track the registry names now still has its line when its turn
    // to be installed comes; installing checks again in any case.
    const playlists::ListReadResult registry = playlists::ReadRegistryWorkList(playlists::RegistryFile(programDir));
    const bool registryRead = registry.ok() || registry.missing();
    std::vector<BatchTrack> tracks;
    std::size_t toAnalyse{};
    for (const std::string& file : request.files) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(file, ec);
        BatchTrack& entry = tracks.emplace_back();
        entry.track = ec ? file : absolute.lexically_normal().string();
        if (!registryRead) {
            entry.decided = registry.message;
            entry.failed = true;
            continue;
        }
        const auto line = std::find_if(registry.lines.begin(), registry.lines.end(),
            [&](const std::string& l) { return playlists::LinePath(l) == entry.track; });
        if (line != registry.lines.end() && !request.replace)
            entry.decided = template_commands::KeptTemplateMessage(playlists::LineTemplate(*line));
        else
            ++toAnalyse;
    }

    const std::size_t jobs = static_cast<std::size_t>(request.jobs > 0 ? request.jobs : DefaultJobs());
    ProgressLine progress{control, tracks.size(), toAnalyse};
    ParallelAnalysis analyses{tracks, analyse, spacing, std::min(jobs, toAnalyse)};
    const auto stopSignal = [&control] { return control.stop != nullptr ? control.stop->load() : 0; };
    const auto print = [&](const std::string& track, const std::string& text) {
        progress.Clear();
        out << track << ": " << text << "\n" << std::flush;
    };

    int failed{};
    std::size_t done{};
    for (std::size_t i = 0; i < tracks.size() && stopSignal() == 0; ++i) {
        const BatchTrack& entry = tracks[i];
        progress.Show(done, analyses.Finished());
        if (!entry.decided.empty()) {
            print(entry.track, entry.decided);
            failed += entry.failed ? 1 : 0;
            ++done;
            continue;
        }
        std::optional<analysis::AnalysisResult> result;
        while (!result && stopSignal() == 0) {
            result = analyses.Take(i, kPollEvery);
            progress.Show(done, analyses.Finished());
        }
        // A result that came with the stop is dropped: nothing more is installed.
        if (stopSignal() != 0)
            break;
        if (!result->ok) {
            print(entry.track, result->message);
            ++failed;
            ++done;
            continue;
        }
        // Installing runs whole, on this thread alone: a signal only marks the flag.
        const template_commands::MusicTemplateInstall installed = template_commands::InstallMusicTemplate(
            programDir, random, entry.track, result->plan.channels, request.replace);
        print(entry.track, installed.ok ? installed.folder : installed.message);
        failed += installed.ok || installed.kept ? 0 : 1;
        ++done;
    }
    progress.Clear();

    if (const int signal = stopSignal(); signal != 0 && done < tracks.size()) {
        if (control.messages != nullptr)
            *control.messages << "Прервано: готово " << done << " из " << tracks.size()
                              << " треков; начатые отброшены, остальные не тронуты.\n"
                              << std::flush;
        return 128 + signal;
    }
    return failed == 0 ? 0 : 1;
}

} // namespace kalvotune::cli
