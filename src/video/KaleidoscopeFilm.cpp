#include "video/KaleidoscopeFilm.hpp"

#include "core/SavedSettings.hpp"
#include "core/Services.hpp"

#include <algorithm>
#include <array>
#include <limits>

namespace kalvotune::video {

namespace fs = std::filesystem;

namespace {

/// The film's own clock: whole seconds from the seed on, moving with the film.
class FilmClock : public Clock {
public:
    std::int64_t UnixSeconds() const override { return start + elapsedMs / 1000; }
    LocalDateTime Now() const override { return {}; }
    std::int64_t start{};
    std::int64_t elapsedMs{};
};

/// The track as the kaleidoscope hears it: playing from the start, the position the
/// film's instant.
class FilmDevice : public AudioDevice {
public:
    OpenResult Open(const fs::path&) override { return {true, {}}; }
    void Close() override { }
    void Play() override { playing = true; }
    bool Pause() override { return true; }
    void Stop() override { }
    void Seek(std::int64_t) override { }
    DeviceMode Mode() const override { return playing ? DeviceMode::Playing : DeviceMode::Stopped; }
    std::int64_t LengthMs() const override { return lengthMs; }
    std::int64_t PositionMs() const override { return std::clamp<std::int64_t>(positionMs, 0, lengthMs); }
    std::int64_t lengthMs{};
    std::int64_t positionMs{};
    bool playing{};
};

} // namespace

/// One timer as the window's timer loop runs it: restarted whenever it is switched on or
/// its interval changes, else firing every interval.
struct KaleidoscopeFilm::Timing {
    TimerControl* timer{};
    bool running{};
    int interval{};
    std::int64_t next{};
};

struct KaleidoscopeFilm::Stage {
    FilmClock clock;
    Random random{clock};
    FilmDevice device;
    PatternState state;
    TemplateChannels channels;
    Surface surface;
    /// The window's timers by number: the pattern timers, and timer 3 for Auto.
    std::array<TimerControl, 15> timers;
    TimerControl& autoTimer = timers[3];
};

KaleidoscopeFilm::KaleidoscopeFilm(const fs::path& programDir, const fs::path& track, const std::string& templateName,
    std::int64_t lengthMs, const VideoLook& look, std::uint32_t seed, std::optional<TemplateChannels> channels)
    : m_stage{std::make_unique<Stage>()}
    , m_engine{{m_stage->state, m_stage->channels, m_stage->surface}, m_stage->random}
    , m_scheduler{m_engine, m_stage->device, m_stage->random}
{
    Stage& s = *m_stage;
    s.clock.start = seed;
    s.random.Seed(seed);
    s.device.lengthMs = std::max<std::int64_t>(lengthMs, 0);
    if (const kaleidoscope::LoadResult loaded = m_engine.LoadTables(programDir); !loaded.ok)
        m_error = loaded.message;

    for (const int number : kaleidoscope::kPatternTimerNumbers)
        s.timers[static_cast<std::size_t>(number)].interval = kaleidoscope::kFirstPatternInterval;
    PatternState& state = s.state;
    state.modeNumber = look.mode;
    s.autoTimer.interval = look.autoIntervalMs;
    state.autoFigureType = look.autoFigureType;
    state.smoothing = look.smoothing;
    state.smearing = look.smearing;
    state.motionOff = look.motionOff;
    state.pictureDelayMs = look.pictureDelayMs;
    const int trackSeconds
        = static_cast<int>(std::clamp<std::int64_t>(s.device.lengthMs / 1000, 0, std::numeric_limits<int>::max()));
    if (look.figureType)
        state.figureType = *look.figureType;
    else
        m_scheduler.RandomFigureType(); // as a fresh start draws one

    // The track starts as the player starts it: template, figures, sound, patterns.
    s.device.Open(track);
    const int pictureChangeTicks = std::clamp(look.pictureChangeTicks, kFewestPictureChangeTicks, kMostPictureChangeTicks);
    templates::TrackTemplate loaded
        = templates::LoadTrackTemplate(programDir, templateName, trackSeconds, pictureChangeTicks, s.random);
    m_template = loaded.state;
    s.channels = std::move(loaded.channels);
    state.noTemplate = m_template != templates::TemplateState::Full;
    if (channels) {
        s.channels = std::move(*channels);
        state.noTemplate = false;
    }
    m_scheduler.SelectFigures();
    s.device.Play();
    RunPatterns();
    s.autoTimer.enabled = look.autoModes;

    for (const int number : kaleidoscope::kPatternTimerNumbers)
        m_timers.push_back({&s.timers[static_cast<std::size_t>(number)]});
    m_timers.push_back({&s.autoTimer});
}

KaleidoscopeFilm::~KaleidoscopeFilm() = default;

const PatternState& KaleidoscopeFilm::State() const
{
    return m_stage->state;
}

const TemplateChannels& KaleidoscopeFilm::Channels() const
{
    return m_stage->channels;
}

void KaleidoscopeFilm::RunPatterns()
{
    Stage& s = *m_stage;
    for (const int number : kaleidoscope::kPatternTimerNumbers)
        s.timers[static_cast<std::size_t>(number)].enabled = false;
    if (!m_engine.Ready())
        return;
    const int mode = s.state.modeNumber;
    const int number = mode >= 0 && mode < kaleidoscope::kModeCount
        ? kaleidoscope::kModeTimerNumbers[static_cast<std::size_t>(mode)]
        : kaleidoscope::kOtherModesTimerNumber;
    s.timers[static_cast<std::size_t>(number)].enabled = true;
}

void KaleidoscopeFilm::Fire(TimerControl& timer)
{
    if (&timer == &m_stage->autoTimer) {
        m_stage->state.autoChangeDue = true;
        return;
    }
    // Only the timer of the current mode runs, so its firing draws that mode.
    if (!m_scheduler.Tick(m_stage->state.modeNumber))
        RunPatterns();
    else
        timer.interval = m_stage->state.patternInterval;
}

const Surface& KaleidoscopeFilm::At(std::int64_t ms)
{
    const auto setNow = [this](std::int64_t now) {
        m_now = now;
        m_stage->clock.elapsedMs = now;
        m_stage->device.positionMs = now;
    };
    for (;;) {
        // What the window's mirror does after every event.
        Timing* due{};
        for (Timing& t : m_timers) {
            if (!t.timer->enabled) {
                t.running = false;
                continue;
            }
            if (!t.running || t.interval != t.timer->interval) {
                t.running = true;
                t.interval = t.timer->interval;
                t.next = m_now + std::max(1, t.interval);
            }
            if (due == nullptr || t.next < due->next)
                due = &t;
        }
        if (due == nullptr || due->next > ms)
            break;
        setNow(due->next);
        Fire(*due->timer);
        due->interval = due->timer->interval;
        due->next = m_now + std::max(1, due->interval);
    }
    setNow(std::max(ms, m_now));
    return m_stage->surface;
}

} // namespace kalvotune::video
