#pragma once

#include <cstdint>
#include <vector>

namespace kalvotune {

/// The four colour-music channels of the current track, one byte per 100 ms.
/// Loaded or generated at every track start; read by the kaleidoscope at `TemplateTick`.
struct TemplateChannels {
    std::vector<std::uint8_t> blue;
    std::vector<std::uint8_t> green;
    std::vector<std::uint8_t> red;
    std::vector<std::uint8_t> speed;

    /// `TemplateLength`: the number of valid ticks in every channel.
    int Length() const { return static_cast<int>(blue.size()); }

    /// Sets every channel to `length` zero bytes.
    void Reset(int length);

    /// Channel bytes at `tick`; a tick outside 0..Length()-1 reads as zero (no mark, no
    /// re-selection), so a track longer than its template never reads past the end.
    std::uint8_t Blue(int tick) const { return At(blue, tick); }
    std::uint8_t Green(int tick) const { return At(green, tick); }
    std::uint8_t Red(int tick) const { return At(red, tick); }
    std::uint8_t Speed(int tick) const { return At(speed, tick); }

private:
    static std::uint8_t At(const std::vector<std::uint8_t>& channel, int tick)
    {
        return tick >= 0 && static_cast<std::size_t>(tick) < channel.size() ? channel[static_cast<std::size_t>(tick)]
                                                                            : 0;
    }
};

inline void TemplateChannels::Reset(int length)
{
    const auto n = static_cast<std::size_t>(length < 0 ? 0 : length);
    blue.assign(n, 0);
    green.assign(n, 0);
    red.assign(n, 0);
    speed.assign(n, 0);
}

} // namespace kalvotune
