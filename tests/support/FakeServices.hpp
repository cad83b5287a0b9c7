#pragma once

#include "core/Random.hpp"
#include "core/Services.hpp"
#include "support/FakeAudioDevice.hpp"
#include "support/Fakes.hpp"

namespace kalvotune::testing {

/// Every seam a handler reaches, as test doubles, bundled into one `Services`.
struct FakeServices {
    FakeDialogs dialogs;
    FakeClock clock;
    Random random{clock};
    FakeAudioDevice device;
    FakeScreen screen;
    FakeSounds sounds;
    FakeUserActivity activity;
    Services services{dialogs, clock, random, device, screen, sounds, activity};
};

} // namespace kalvotune::testing
