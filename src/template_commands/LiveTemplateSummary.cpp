#include "template_commands/LiveTemplate.hpp"


#include <cmath>
#include <cstdio>

namespace kalvotune::template_commands {

std::string SecondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

std::string LiveTemplateSummary(const LiveTemplateRequest& request, const LiveTemplateResult& result)
{
    std::string text{"Источник звука: " + result.source + "\n"};
    text += "Записан шаблон " + request.folder.string() + ": " + SecondsText(result.ticks / 10.0)
        + " с, смен картинки: " + std::to_string(result.markers);
    if (result.beatsPerMinute > 0)
        text += ", темп: " + std::to_string(static_cast<int>(std::lround(result.beatsPerMinute))) + " уд/мин";
    if (result.beatsPerBar > 0)
        text += ", долей в такте: " + std::to_string(result.beatsPerBar);
    if (result.skippedSeconds >= 0.05)
        text += "; тишина в начале (" + SecondsText(result.skippedSeconds) + " с) пропущена";
    return text + "\n";
}

} // namespace kalvotune::template_commands
