#include "kaleidoscope/Scheduler.hpp"

#include "core/AudioDevice.hpp"
#include "core/Random.hpp"
#include "kaleidoscope/Engine.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace kalvotune::kaleidoscope {

namespace {

constexpr int kMinInterval{3};
constexpr int kMaxInterval{80};
constexpr std::uint8_t kBall{1};
constexpr std::uint8_t kBallCasual{2};
constexpr std::uint8_t kCasual{3};
constexpr std::uint8_t kMicroPlus{4};
constexpr std::uint8_t kMicro{5};
constexpr int kBallKind{1};
constexpr int kMicroKind{11};
/// Far beyond what finding one fitting record among 66 takes when one exists.
constexpr int kMaxDraws{100'000};

enum class Need { Any, Ball, NotBall, Micro, NotMicro };

bool Fits(Need need, int kind)
{
    switch (need) {
    case Need::Ball:
        return kind == kBallKind;
    case Need::NotBall:
        return kind != kBallKind;
    case Need::Micro:
        return kind == kMicroKind;
    case Need::NotMicro:
        return kind != kMicroKind;
    case Need::Any:
        break;
    }
    return true;
}

/// What slot `slot` needs for figure type `type`; false when the type fills no slots.
bool NeedOf(std::uint8_t type, int slot, Need& need)
{
    switch (type) {
    case kBall:
        need = Need::Ball;
        return true;
    case kBallCasual:
        need = slot <= 13 ? Need::Ball : Need::NotBall;
        return true;
    case kCasual:
        need = Need::Any;
        return true;
    case kMicroPlus:
        need = slot <= 14 ? Need::Micro : Need::NotMicro;
        return true;
    case kMicro:
        need = Need::Micro;
        return true;
    default:
        return false;
    }
}

} // namespace

Scheduler::Scheduler(Form& form, Services& services, Engine& engine)
    : m_form{form}
    , m_services{services}
    , m_engine{engine}
    , m_animators{engine, form, services.random}
{
}

bool Scheduler::Playing() const
{
    return m_services.device.Mode() == DeviceMode::Playing;
}

bool Scheduler::TickStep()
{
    Form& f = m_form;
    // The picture follows the sound as heard: the user's delay covers output latency the
    // device does not report. Before the delay has passed the picture stays at tick 0; a
    // damaged file may report any position, so the tick stays a valid index.
    const std::int64_t shown = m_services.device.PositionMs() - f.PictureDelayMs;
    f.TemplateTick = static_cast<int>(std::clamp<std::int64_t>(shown / 100, 0, std::numeric_limits<int>::max()));
    if (f.TemplateTick == m_previousTick && f.PatternInterval < kMaxInterval)
        ++f.PatternInterval;
    if (f.TemplateTick > m_previousTick && f.PatternInterval > kMinInterval)
        --f.PatternInterval;
    m_previousTick = f.TemplateTick;

    if ((f.channels.Blue(f.TemplateTick) & 1) != 0) {
        if (f.AutoTipFig.checked)
            RandomFigureType();
        else
            SelectFigures();
    }
    TickValues& current = m_engine.Current();
    current.CurrentSpeed = f.channels.Speed(f.TemplateTick);
    if (f.FigureType == kMicroPlus || f.FigureType == kMicro)
        ++current.CurrentSpeed;
    if (current.CurrentSpeed > 21) {
        current.CurrentSpeed -= 22;
        if (f.AutoChangeDue) {
            f.AutoChangeDue = false;
            f.ModeNumber = m_services.random.Next() % kModeCount;
            if (f.ModeNumber == 7 && f.FigureType == kMicroPlus)
                f.ModeNumber = 5;
            f.SpeedButton5.caption = std::to_string(f.ModeNumber);
            RunPatterns(true);
            return false;
        }
    }
    current.CurrentBlue = f.channels.Blue(f.TemplateTick);
    current.CurrentGreen = f.channels.Green(f.TemplateTick);
    current.CurrentRed = f.channels.Red(f.TemplateTick);
    return true;
}

void Scheduler::RunPatterns(bool on)
{
    Form& f = m_form;
    for (TimerControl* timer : f.PatternTimers())
        timer->enabled = false;
    if (!on) {
        f.Timer15.enabled = false;
        if (!f.IsFullScreen)
            f.Fullscreen1.enabled = false;
        return;
    }
    f.Fullscreen1.enabled = true;
    // Without tables there is nothing to draw from, so no pattern timer runs, and the
    // session needs no keeping awake for a picture that does not move.
    if (!m_engine.Ready()) {
        f.Timer15.enabled = false;
        return;
    }
    f.Timer15.enabled = true;
    const bool known = f.ModeNumber >= 0 && f.ModeNumber < kModeCount;
    TimerControl Form::*timer = known ? kModeTimers[static_cast<std::size_t>(f.ModeNumber)] : &Form::Timer10;
    (f.*timer).enabled = true;
}

void Scheduler::SelectFigures()
{
    Random& random = m_services.random;
    random.SeedFromClock();
    const std::uint8_t type = m_form.FigureType;
    for (int slot = 0; slot < kFigureSlots; ++slot) {
        Need need{};
        if (!NeedOf(type, slot, need) || !m_engine.Ready())
            break;
        // A library without any fitting record would keep us drawing for ever.
        bool anyFits = false;
        for (int k = 0; k < kChoosableFigures && !anyFits; ++k)
            anyFits = Fits(need, m_engine.LibraryKind(k));
        if (!anyFits)
            continue;
        int record = -1;
        for (int draw = 0; draw < kMaxDraws && record < 0; ++draw) {
            const int candidate = random.Next() % kChoosableFigures;
            if (Fits(need, m_engine.LibraryKind(candidate)))
                record = candidate;
        }
        if (record < 0)
            continue;
        m_engine.CopyFigure(record, slot);
        const std::span<std::int32_t, kFigureWords> figure = m_engine.Figure(slot);
        figure[kDirection] = random.Next() % 16;
        figure[kTurnPeriod] = 1 + random.Next() % 50;
        figure[kStepCount] = 0;
        figure[kTurnSign] = type == kMicroPlus ? 1 : ((random.Next() & 1) != 0 ? -1 : 1);
    }
    if (Playing())
        m_engine.MoveFigures(0, kFigureSlots, 30);
}

void Scheduler::ApplyFigureType(std::uint8_t type)
{
    m_form.FigureType = type;
    SelectFigures();
}

void Scheduler::RandomFigureType()
{
    static constexpr std::uint8_t kTypes[]{kBall, kBallCasual, kMicro, kMicroPlus, kCasual};
    ApplyFigureType(kTypes[m_services.random.Next() % 5]);
}

void Scheduler::BallClick()
{
    ApplyFigureType(kBall);
}
void Scheduler::BallCasualClick()
{
    ApplyFigureType(kBallCasual);
}
void Scheduler::CasualClick()
{
    ApplyFigureType(kCasual);
}
void Scheduler::MicroClick()
{
    ApplyFigureType(kMicro);
}
void Scheduler::MicroPlusClick()
{
    ApplyFigureType(kMicroPlus);
}

void Scheduler::SpeedButton5Click()
{
    Form& f = m_form;
    // Past the last mode the count starts again at 0; a stored mode as large as an int
    // goes there too instead of overflowing.
    if (f.ModeNumber >= kModeCount - 1)
        f.ModeNumber = 0;
    else
        ++f.ModeNumber;
    if (f.ModeNumber == 7 && f.FigureType == kMicroPlus)
        f.ModeNumber = 8;
    f.SpeedButton5.caption = std::to_string(f.ModeNumber);
    if (Playing())
        RunPatterns(true);
}

void Scheduler::SpeedButton1Click()
{
    m_form.Timer3.enabled = !m_form.Timer3.enabled;
    m_form.TrackBar2.visible = m_form.Timer3.enabled;
}

void Scheduler::Timer3Timer()
{
    m_form.AutoChangeDue = true;
}

void Scheduler::TrackBar1Change()
{
    Form& f = m_form;
    const int period = f.TrackBar1.position;
    if (!f.NoTemplate || !Playing() || period <= 0)
        return;
    std::vector<std::uint8_t>& speed = f.channels.speed;
    for (std::size_t i = 0; i < speed.size(); ++i) {
        if (speed[i] > 21)
            speed[i] = 6;
        if (static_cast<int>(i % static_cast<std::size_t>(period)) == 1)
            speed[i] = 23;
    }
}

void Scheduler::TrackBar2Change()
{
    m_form.Timer3.interval = m_form.TrackBar2.position;
}

void Scheduler::SpeedButton10Click()
{
    m_form.MotionOff = !m_form.MotionOff;
}

int Scheduler::ModeOfTimer(const TimerControl& timer) const
{
    Form& f = m_form;
    const int mode = f.ModeNumber;
    if (mode >= 0 && mode < kModeCount) {
        if (&(f.*kModeTimers[static_cast<std::size_t>(mode)]) == &timer)
            return mode;
    } else if (&timer == &f.Timer10) {
        return mode;
    }
    for (int m = 0; m < kModeCount; ++m)
        if (&(f.*kModeTimers[static_cast<std::size_t>(m)]) == &timer)
            return m == 5 ? 11 : m; // Timer10 on its own draws without a background
    return -1;
}

void Scheduler::PatternTimerTimer(TimerControl& timer)
{
    const int mode = ModeOfTimer(timer);
    if (mode < 0 || !m_engine.Ready())
        return;
    if (!TickStep())
        return;
    timer.interval = m_form.PatternInterval;
    m_animators.RunPatternTick(mode);
}

} // namespace kalvotune::kaleidoscope
