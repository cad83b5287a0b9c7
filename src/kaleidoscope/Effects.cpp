// Background repaint and the two softening effects of the centre rectangle.
#include "kaleidoscope/Engine.hpp"

namespace kalvotune::kaleidoscope {

void Engine::FillDarkPixels()
{
    if (!m_ready)
        return;
    const int blue = m_current.CurrentBlue;
    const int green = m_current.CurrentGreen;
    const int red = m_current.CurrentRed;
    std::uint8_t* canvas = m_canvas.data();
    if (blue > green && blue > red) {
        for (const std::int32_t p : m_fadePixels)
            if (canvas[p] < 4 && canvas[p + 1] < 10 && canvas[p + 2] < 4)
                canvas[p] = static_cast<std::uint8_t>(blue);
    } else if (green > blue && green > red) {
        for (const std::int32_t p : m_fadePixels)
            if (canvas[p] < 4 && canvas[p + 1] < 4 && canvas[p + 2] < 4) {
                canvas[p + 1] = static_cast<std::uint8_t>(green);
                canvas[p + 2] = static_cast<std::uint8_t>(green / 2);
            }
    } else {
        for (const std::int32_t p : m_fadePixels)
            if (canvas[p] < 4 && canvas[p + 1] < 10 && canvas[p + 2] < 4)
                canvas[p + 2] = static_cast<std::uint8_t>(red);
    }
}

void Engine::FoldBack()
{
    if (!m_ready)
        return;
    std::uint8_t* canvas = m_canvas.data();
    for (int r = 253; r <= 399; ++r)
        for (int b = 435; b <= 929; ++b)
            canvas[r * kFrameRowBytes + b] = canvas[m_frameMap.At(r, b)];
}

void Engine::BlurCentre()
{
    if (!m_ready)
        return;
    std::uint8_t* canvas = m_canvas.data();
    for (int r = 254; r <= 398; ++r) {
        for (int b = 438; b <= 926; ++b) {
            std::uint8_t* x = canvas + r * kFrameRowBytes + b;
            *x = static_cast<std::uint8_t>((x[0] + x[-3] + x[3] + x[-kFrameRowBytes] + x[kFrameRowBytes]) / 5);
        }
    }
}

} // namespace kalvotune::kaleidoscope
