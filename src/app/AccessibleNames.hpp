#pragma once

#include "core/Controls.hpp"

#include <string>
#include <string_view>

namespace kalvotune::app {

/// What a screen reader says for a control: its hint where it has one, otherwise a short
/// description of what it is.
std::string AccessibleName(const Control& control);

/// What a screen reader says for a list entry: its title, without the hidden line tail
/// that follows the run of blanks.
std::string AccessibleItemText(std::string_view item);

} // namespace kalvotune::app
