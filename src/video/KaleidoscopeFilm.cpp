#include "video/KaleidoscopeFilm.hpp"

#include "templates/TemplateLoader.hpp"

#include <algorithm>
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

/// Nobody is asked anything while a film is made.
class NoDialogs : public Dialogs {
public:
    void ShowMessage(const std::string&) override { }
    void ShowError(const std::string&) override { }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> InputBox(const std::string&, const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
    std::vector<fs::path> OpenAudioFiles(bool) override { return {}; }
    std::optional<fs::path> ChooseFolder(const std::string&) override { return std::nullopt; }
};

/// A full-HD screen, so nothing asks about large screens.
class FilmScreen : public Screen {
public:
    int Width() const override { return 1920; }
    int Height() const override { return 1080; }
    int PhysicalWidth() const override { return 1920; }
    void SetCursorPos(int, int) override { }
};

class NoSounds : public SoundEffects {
public:
    void PlayAndWait(const fs::path&) override { }
    void PlayAsync(const fs::path&) override { }
};

class NoActivity : public UserActivity {
public:
    void Poke() override { }
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
    NoDialogs dialogs;
    FilmScreen screen;
    NoSounds sounds;
    NoActivity activity;
    Services services{dialogs, clock, random, device, screen, sounds, activity};
    Form form;
};

VideoLook LookOf(const Form& form)
{
    VideoLook look;
    look.mode = form.ModeNumber;
    look.figureType = form.FigureType;
    look.autoModes = form.Timer3.enabled;
    look.autoIntervalMs = form.Timer3.interval;
    look.autoFigureType = form.AutoTipFig.checked;
    look.smoothing = form.Utiug.checked;
    look.smearing = form.Razmazat.checked;
    look.motionOff = form.MotionOff;
    look.pictureDelayMs = form.PictureDelayMs;
    look.musicTemplates = form.AutoMusicTemplate.checked;
    look.pictureChangeTicks = form.TrackBar1.position;
    return look;
}

KaleidoscopeFilm::KaleidoscopeFilm(const fs::path& programDir, const fs::path& track, const std::string& templateName,
    std::int64_t lengthMs, const VideoLook& look, std::uint32_t seed, std::optional<TemplateChannels> channels)
    : m_stage{std::make_unique<Stage>()}
    , m_form{m_stage->form}
    , m_engine{m_form, m_stage->random}
    , m_scheduler{m_form, m_stage->services, m_engine}
{
    Stage& s = *m_stage;
    s.clock.start = seed;
    s.random.Seed(seed);
    s.device.lengthMs = std::max<std::int64_t>(lengthMs, 0);
    if (const kaleidoscope::LoadResult loaded = m_engine.LoadTables(programDir); !loaded.ok)
        m_error = loaded.message;

    Form& f = m_form;
    f.ProgramDir = programDir;
    f.IsFullScreen = true;
    f.ModeNumber = look.mode;
    f.Timer3.interval = look.autoIntervalMs;
    f.Check(f.AutoTipFig, look.autoFigureType);
    f.Utiug.checked = look.smoothing;
    f.Razmazat.checked = look.smearing;
    f.MotionOff = look.motionOff;
    f.PictureDelayMs = look.pictureDelayMs;
    f.TrackBar1.SetPosition(look.pictureChangeTicks);
    f.CurrentTrackName = track;
    f.TrackTitle = track.stem().string();
    f.TrackSeconds
        = static_cast<int>(std::clamp<std::int64_t>(s.device.lengthMs / 1000, 0, std::numeric_limits<int>::max()));
    if (look.figureType)
        f.FigureType = *look.figureType;
    else
        m_scheduler.RandomFigureType(); // as a fresh start draws one

    // The track starts as the player starts it: template, figures, sound, patterns.
    s.device.Open(track);
    templates::LoadTrackTemplate(f, s.services, templateName);
    if (channels) {
        f.channels = std::move(*channels);
        f.NoTemplate = false;
    }
    m_scheduler.SelectFigures();
    s.device.Play();
    m_scheduler.RunPatterns(true);
    f.Timer3.enabled = look.autoModes;

    for (TimerControl* timer : f.PatternTimers())
        m_timers.push_back({timer});
    m_timers.push_back({&f.Timer3});
}

KaleidoscopeFilm::~KaleidoscopeFilm() = default;

void KaleidoscopeFilm::Fire(TimerControl& timer)
{
    if (&timer == &m_form.Timer3)
        m_scheduler.Timer3Timer();
    else
        m_scheduler.PatternTimerTimer(timer);
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
    return m_form.surface;
}

} // namespace kalvotune::video
