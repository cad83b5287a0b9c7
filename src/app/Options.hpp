#pragma once

#include "core/Form.hpp"
#include "core/OptionsFile.hpp"
#include "core/Services.hpp"

namespace kalvotune::app {

/// "Сам создавать ЦМШ" was toggled: stores its new tick in the options file; a failed
/// write is reported.
void SaveAutoMusicTemplates(Form& form, Services& services);

/// "Задержка картинки…": asks for the delay in an input box, applies it at once and stores
/// it in the options file. A value that is not a whole number in range is refused with a
/// message and the old delay stays; a failed write is reported.
void AskPictureDelay(Form& form, Services& services);

} // namespace kalvotune::app
