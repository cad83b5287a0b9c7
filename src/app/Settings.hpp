#pragma once

#include "core/Form.hpp"
#include "core/SavedSettings.hpp"

#include <functional>

namespace kalvotune::app {

/// The slider handlers the apply step runs when a position actually changes.
struct SliderHandlers {
    std::function<void()> pictureRateChanged;
    std::function<void()> autoModeRateChanged;
};

/// Puts the saved settings into the controls (the first step of `FormCreate`), without
/// running any menu handler; the caller then runs `ApplyStayOnTop`.
void ApplySettings(Form& form, const SavedSettings& settings, const SliderHandlers& sliders);

/// The settings as the controls have them now; the words the window does not use come
/// from `kept` unchanged.
SavedSettings GatherSettings(const Form& form, const SavedSettings& kept);

} // namespace kalvotune::app
