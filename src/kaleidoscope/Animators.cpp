// The sixteen modes as data: fade, paint list and background of each, and the one
// pattern-tick body that runs them.
#include "kaleidoscope/Animators.hpp"

namespace kalvotune::kaleidoscope {

namespace {

using V = PaintValue;

constexpr PaintCall F(V value, int channel, int first, int last)
{
    return {PaintOp::Flat, value, channel, first, last};
}
constexpr PaintCall R(V value, int channel, int first, int last)
{
    return {PaintOp::Rising, value, channel, first, last};
}
constexpr PaintCall D(V value, int channel, int first, int last)
{
    return {PaintOp::Falling, value, channel, first, last};
}

constexpr int kAll{kFigureSlots};
constexpr std::array<int, 6> Uniform(int a, int b)
{
    return {a, b, a, b, a, b};
}

constexpr BackgroundRule kNone{};
constexpr BackgroundRule Ramp(int a, int r, int g)
{
    return {BackgroundKind::Ramp, a, r, g, false};
}
constexpr BackgroundRule Level(int a, int r, int g)
{
    return {BackgroundKind::Level, a, r, g, false};
}
constexpr BackgroundRule kThirds{BackgroundKind::Thirds, 15, 0, 0, false};
constexpr BackgroundRule kBlack{BackgroundKind::Black};
constexpr BackgroundRule kDark{BackgroundKind::Dark};
constexpr BackgroundRule kDarkOnMarks{BackgroundKind::Dark, 0, 0, 0, true};

constexpr PaintCall kCounted[]{
    F(V::Blue, 0, 0, kCountedLast), F(V::Green, 1, 6, kCountedLast), F(V::Red, 2, 12, kCountedLast)};
// Timer6 and Timer14.
constexpr PaintCall kFive[]{
    R(V::Blue, 0, 0, 6), R(V::Red, 2, 0, 2), R(V::Green, 1, 6, 14), R(V::Red, 2, 12, 16), R(V::Red, 2, 6, 6)};
// Timer7.
constexpr PaintCall kSeven[]{F(V::Blue, 0, 0, 5), R(V::Green, 1, 0, 1), D(V::Red, 2, 0, 1), R(V::Red, 2, 2, 5),
    R(V::Green, 1, 6, 13), R(V::Blue, 0, 8, 11), R(V::Red, 2, 12, 15)};
constexpr PaintCall kMarkMove[]{R(V::Blue, 0, 0, 3), D(V::Red, 2, 0, 3), R(V::Green, 1, 0, 3),
    {PaintOp::MoveOnMark, V::Zero, 0, 4, 16}, R(V::Blue, 0, 4, 5), R(V::Green, 1, 4, 4), D(V::Red, 2, 4, 4),
    R(V::Red, 2, 5, 6), R(V::Green, 1, 7, 12), R(V::Blue, 0, 9, 10), R(V::Red, 2, 11, 16)};
constexpr PaintCall kThirdsPaint[]{R(V::Blue, 0, 0, 5), R(V::BlueDiv3, 2, 0, 5), R(V::Green, 1, 6, 11),
    R(V::GreenDiv3, 0, 6, 11), R(V::Green, 2, 6, 11), R(V::Red, 2, 12, 17)};
constexpr PaintCall kWide[]{R(V::Blue, 0, 0, 11), R(V::Red, 2, 5, 15), R(V::Green, 1, 6, 12), R(V::Green, 1, 13, 15),
    R(V::Green, 1, 16, 17), F(V::Red, 2, 16, 17)};
constexpr PaintCall kMixed[]{R(V::Blue, 0, 0, 5), F(V::Blue, 0, 6, 7), R(V::Green, 1, 6, 13), D(V::Green, 1, 2, 3),
    F(V::Red, 2, 0, 3), F(V::Red, 2, 10, 11), R(V::Red, 2, 14, 15)};
constexpr PaintCall kLevel[]{R(V::Green, 1, 0, 5), F(V::Red, 2, 0, 3), F(V::Blue, 0, 6, 7), R(V::Blue, 0, 8, 9),
    R(V::Red, 2, 10, 12), F(V::Green, 1, 13, 14), D(V::Green, 2, 13, 14)};
constexpr PaintCall kDivided[]{R(V::Red, 2, 10, 14), R(V::Blue, 0, 0, 4), R(V::BlueDivDB, 1, 0, 4),
    R(V::Green, 1, 5, 9), R(V::GreenDivDG, 2, 5, 9)};
constexpr PaintCall kTrails[]{R(V::Green, 1, 0, 5), F(V::Red, 2, 0, 3), F(V::Blue, 0, 6, 7), R(V::Blue, 0, 8, 9),
    R(V::Red, 2, 10, 12), F(V::Green, 1, 13, 14), D(V::Green, 2, 13, 14), R(V::Zero, 2, 15, 18), R(V::Zero, 1, 15, 18),
    R(V::Zero, 0, 15, 18), {PaintOp::Smooth, V::Zero, 0, 0, 0}};

const std::array<ModeRecipe, kModeCount> kRecipes{{
    /* 0 */ {Uniform(15, 16), kAll, false, false, kCounted, kNone},
    /* 1 */ {{100, 102, 15, 16, 15, 16}, kAll, false, false, kFive, kNone},
    /* 2 */ {Uniform(16, 17), kAll, false, false, kSeven, Ramp(10, 8, 5)},
    /* 3 */ {Uniform(12, 13), 4, false, false, kMarkMove, Ramp(10, 6, 4)},
    /* 4 */ {Uniform(15, 16), kAll, false, false, kThirdsPaint, Ramp(20, 15, 10)},
    /* 5 */ {Uniform(15, 16), kAll, false, false, kWide, Ramp(30, 25, 20)},
    /* 6 */ {Uniform(20, 21), kAll, false, false, kMixed, kThirds},
    /* 7 */ {Uniform(15, 16), kAll, false, false, kFive, kDarkOnMarks},
    /* 8 */ {Uniform(100, 101), kAll, false, false, kFive, kNone},
    /* 9 */ {Uniform(20, 21), kAll, false, false, kLevel, Level(11, 10, 8)},
    /* 10 */ {Uniform(20, 21), kAll, false, true, kDivided, kNone},
    /* 11 */ {Uniform(15, 16), kAll, false, false, kWide, kNone},
    /* 12 */ {Uniform(15, 16), kAll, false, false, kWide, kDarkOnMarks},
    /* 13 */ {Uniform(16, 17), kAll, true, false, kSeven, Ramp(10, 8, 5)},
    /* 14 */ {{100, 102, 15, 16, 15, 16}, kAll, false, false, kFive, kDark},
    /* 15 */ {{}, kAll, false, false, kTrails, kBlack},
}};

} // namespace

const ModeRecipe& Recipe(int mode)
{
    return mode >= 0 && mode < kModeCount ? kRecipes[static_cast<std::size_t>(mode)] : kRecipes[11];
}

void Animators::RunPatternTick(int mode)
{
    if (!m_engine.Ready())
        return;
    const ModeRecipe& recipe = Recipe(mode);
    const int tick = m_engine.Inputs().state.templateTick;
    const bool mark = m_engine.Inputs().channels.Speed(tick) > 21;
    if (recipe.freezes) {
        if (mark) {
            if (tick != m_lastFreezeTick)
                m_freezeSign = -m_freezeSign;
            m_lastFreezeTick = tick;
        }
        if (m_freezeSign < 0)
            return;
    }
    const std::array<int, 6>& fade = recipe.fade;
    if (fade[1] != 0)
        m_engine.Fade(fade[0], fade[1], fade[2], fade[3], fade[4], fade[5]);
    int dividerBlue = 1;
    int dividerGreen = 1;
    if (recipe.drawsDivisors) {
        dividerGreen = 4 - m_random.Next() % 4;
        dividerBlue = 5 - m_random.Next() % 3;
    }
    m_engine.MoveFigures(0, recipe.moveEnd, m_engine.Current().CurrentSpeed);
    for (const PaintCall& call : recipe.paint)
        Paint(call, dividerBlue, dividerGreen);
    if (!recipe.background.onMarksOnly || mark)
        ApplyBackground(recipe.background);
    m_engine.FinishFrame();
}

void Animators::Paint(const PaintCall& call, int dividerBlue, int dividerGreen)
{
    const TickValues& c = m_engine.Current();
    int value = 0;
    switch (call.value) {
    case V::Blue:
        value = c.CurrentBlue;
        break;
    case V::Green:
        value = c.CurrentGreen;
        break;
    case V::Red:
        value = c.CurrentRed;
        break;
    case V::BlueDiv3:
        value = c.CurrentBlue / 3;
        break;
    case V::GreenDiv3:
        value = c.CurrentGreen / 3;
        break;
    case V::BlueDivDB:
        value = c.CurrentBlue / dividerBlue;
        break;
    case V::GreenDivDG:
        value = c.CurrentGreen / dividerGreen;
        break;
    case V::Zero:
        break;
    }
    value &= 0xFF;
    const int last = call.last == kCountedLast ? call.first + value / 50 : call.last;
    switch (call.op) {
    case PaintOp::Flat:
        m_engine.DrawFiguresFlat(value, call.first, call.channel, last + 1);
        break;
    case PaintOp::Rising:
        m_engine.DrawFiguresRising(value, call.first, call.channel, last + 1);
        break;
    case PaintOp::Falling:
        m_engine.DrawFiguresFalling(value, call.first, call.channel, last + 1);
        break;
    case PaintOp::MoveOnMark:
        if (m_engine.Inputs().channels.Speed(m_engine.Inputs().state.templateTick) > 21)
            m_engine.MoveFigures(call.first, last + 1, 15);
        break;
    case PaintOp::Smooth:
        m_engine.SmoothFigures();
        break;
    }
}

void Animators::ApplyBackground(const BackgroundRule& rule)
{
    if (rule.kind == BackgroundKind::None)
        return;
    if (rule.kind == BackgroundKind::Dark) {
        m_engine.FillDarkPixels();
        return;
    }
    const TickValues& c = m_engine.Current();
    std::uint8_t* canvas = m_engine.Canvas().data();
    const std::span<const std::int32_t> pixels = m_engine.FadePixels();
    for (int i = 0; i < kFadePixelCount; ++i) {
        std::uint8_t* px = canvas + pixels[static_cast<std::size_t>(i)];
        std::uint8_t& b = px[0];
        std::uint8_t& g = px[1];
        std::uint8_t& r = px[2];
        const auto ramp = [i](int value) { return static_cast<std::uint8_t>(value * i / kFadePixelCount); };
        switch (rule.kind) {
        case BackgroundKind::Ramp:
        case BackgroundKind::Level: {
            if (b >= rule.a || g >= rule.a || r >= rule.a)
                break;
            const bool level = rule.kind == BackgroundKind::Level;
            if (b != 0)
                b = level ? static_cast<std::uint8_t>(c.CurrentBlue) : ramp(c.CurrentBlue);
            if (r < rule.r && r != 0)
                r = level ? static_cast<std::uint8_t>(c.CurrentRed) : ramp(c.CurrentRed);
            if (g < rule.g && g != 0)
                g = level ? static_cast<std::uint8_t>(c.CurrentGreen) : ramp(c.CurrentGreen);
            break;
        }
        case BackgroundKind::Thirds:
            if (b >= rule.a || g >= rule.a || r >= rule.a)
                break;
            if (b % 3 == 0)
                b = static_cast<std::uint8_t>(c.CurrentBlue * 2 / 3);
            if (r % 3 == 0)
                r = static_cast<std::uint8_t>(c.CurrentRed * 2 / 3);
            if (g % 3 == 0)
                g = static_cast<std::uint8_t>(c.CurrentGreen * 2 / 3);
            break;
        case BackgroundKind::Black:
            if (b == 0 && g == 0 && r == 0) {
                b = ramp(c.CurrentBlue);
                r = ramp(c.CurrentRed);
                g = ramp(c.CurrentGreen);
            }
            break;
        default:
            break;
        }
    }
}

} // namespace kalvotune::kaleidoscope
