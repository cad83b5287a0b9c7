#include "cli/BatchProgress.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kalvotune::cli {

std::string DurationText(double seconds)
{
    const long long whole = std::llround(std::max(seconds, 0.0));
    const long long hours = whole / 3600;
    const long long minutes = whole / 60 % 60;
    const long long secs = whole % 60;
    char text[32];
    if (hours > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", hours, minutes, secs);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", minutes, secs);
    return text;
}

double SecondsLeft(double done, double total, double elapsedSeconds)
{
    if (done <= 0 || elapsedSeconds < 0)
        return -1;
    return elapsedSeconds / done * std::max(total - done, 0.0);
}

std::string TimeLeftText(double done, double total, double elapsedSeconds)
{
    const double left = SecondsLeft(done, total, elapsedSeconds);
    return left < 0 ? std::string{} : "осталось около " + DurationText(left);
}

} // namespace kalvotune::cli
