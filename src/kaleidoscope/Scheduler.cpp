#include "kaleidoscope/Scheduler.hpp"

#include "kaleidoscope/Engine.hpp"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>

namespace kalvotune::kaleidoscope {

namespace {

constexpr int kMinInterval{3};
constexpr int kMaxInterval{80};
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

Scheduler::Scheduler(Engine& engine, AudioDevice& device, Random& random)
    : m_engine{engine}
    , m_state{engine.Inputs().state}
    , m_channels{engine.Inputs().channels}
    , m_device{device}
    , m_random{random}
    , m_animators{engine, random}
{
}

bool Scheduler::Playing() const
{
    return m_liveTick || m_device.Mode() == DeviceMode::Playing;
}

bool Scheduler::TickStep()
{
    PatternState& f = m_state;
    const TemplateChannels& channels = m_channels;
    // The picture follows the sound as heard: the user's delay covers output latency the
    // device does not report. Before the delay has passed the picture stays at tick 0; a
    // damaged file may report any position, so the tick stays a valid index.
    const std::int64_t shown = m_device.PositionMs() - f.pictureDelayMs;
    f.templateTick = m_liveTick
        ? *m_liveTick
        : static_cast<int>(std::clamp<std::int64_t>(shown / 100, 0, std::numeric_limits<int>::max()));
    if (f.templateTick == m_previousTick && f.patternInterval < kMaxInterval)
        ++f.patternInterval;
    if (f.templateTick > m_previousTick && f.patternInterval > kMinInterval)
        --f.patternInterval;
    m_previousTick = f.templateTick;

    if ((channels.Blue(f.templateTick) & 1) != 0) {
        if (f.autoFigureType)
            RandomFigureType();
        else
            SelectFigures();
    }
    TickValues& current = m_engine.Current();
    current.CurrentSpeed = channels.Speed(f.templateTick);
    if (f.figureType == kMicroPlus || f.figureType == kMicro)
        ++current.CurrentSpeed;
    if (current.CurrentSpeed > 21) {
        current.CurrentSpeed -= 22;
        if (f.autoChangeDue) {
            f.autoChangeDue = false;
            f.modeNumber = m_random.Next() % kModeCount;
            if (f.modeNumber == 7 && f.figureType == kMicroPlus)
                f.modeNumber = 5;
            return false;
        }
    }
    current.CurrentBlue = channels.Blue(f.templateTick);
    current.CurrentGreen = channels.Green(f.templateTick);
    current.CurrentRed = channels.Red(f.templateTick);
    return true;
}

bool Scheduler::Tick(int mode)
{
    if (!m_engine.Ready())
        return true;
    if (!TickStep())
        return false;
    m_animators.RunPatternTick(mode);
    return true;
}

void Scheduler::SelectFigures()
{
    Random& random = m_random;
    random.SeedFromClock();
    const std::uint8_t type = m_state.figureType;
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
    m_state.figureType = type;
    SelectFigures();
}

void Scheduler::RandomFigureType()
{
    static constexpr std::uint8_t kTypes[]{kBall, kBallCasual, kMicro, kMicroPlus, kCasual};
    ApplyFigureType(kTypes[m_random.Next() % 5]);
}

void Scheduler::NextMode()
{
    PatternState& f = m_state;
    // Past the last mode the count starts again at 0; a stored mode as large as an int
    // goes there too instead of overflowing.
    if (f.modeNumber >= kModeCount - 1)
        f.modeNumber = 0;
    else
        ++f.modeNumber;
    if (f.modeNumber == 7 && f.figureType == kMicroPlus)
        f.modeNumber = 8;
}

void Scheduler::MarkEvery(int period)
{
    if (!m_state.noTemplate || !Playing() || period <= 0)
        return;
    std::vector<std::uint8_t>& speed = m_channels.speed;
    for (std::size_t i = 0; i < speed.size(); ++i) {
        if (speed[i] > 21)
            speed[i] = 6;
        if (static_cast<int>(i % static_cast<std::size_t>(period)) == 1)
            speed[i] = 23;
    }
}

} // namespace kalvotune::kaleidoscope
