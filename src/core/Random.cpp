#include "core/Random.hpp"

#include "core/Services.hpp"

namespace kalvotune {

void Random::SeedFromClock()
{
    Seed(static_cast<std::uint32_t>(m_clock.UnixSeconds()));
}

int Random::Next()
{
    // The classic linear congruential generator of the C runtime: cheap and 15 bits wide.
    m_state = m_state * 214013u + 2531011u;
    return static_cast<int>((m_state >> 16) & 0x7FFF);
}

} // namespace kalvotune
