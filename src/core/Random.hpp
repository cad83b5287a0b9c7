#pragma once

#include <cstdint>

namespace kalvotune {

class Clock;

/// The program's one pseudo-random source: non-negative 15-bit values (0..32767).
/// Seeding from the clock uses whole seconds, so draws seeded within one second repeat.
class Random {
public:
    explicit Random(const Clock& clock)
        : m_clock{clock}
    {
    }

    void Seed(std::uint32_t seed) { m_state = seed; }
    void SeedFromClock();
    int Next();

private:
    const Clock& m_clock;
    std::uint32_t m_state{1};
};

} // namespace kalvotune
