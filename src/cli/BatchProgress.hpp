#pragma once

#include <string>

namespace kalvotune::cli {

/// A duration for people: "0:07", "12:34", "1:02:03" (rounded to whole seconds).
std::string DurationText(double seconds);

/// The seconds a batch still needs when `done` of `total` units took `elapsedSeconds`,
/// the rest going at the same pace; negative while nothing is done, so nothing is known.
double SecondsLeft(double done, double total, double elapsedSeconds);

/// "осталось около 1:05", or "" while `SecondsLeft` knows nothing yet.
std::string TimeLeftText(double done, double total, double elapsedSeconds);

} // namespace kalvotune::cli
