#include "AppFixture.hpp"

#include "PatternTables.hpp"
#include "core/FileIO.hpp"

#include <algorithm>

namespace kalvotune::testing {

namespace fs = std::filesystem;

AppFixture::AppFixture() = default;

void AppFixture::MakeProgramFolder()
{
    for (const char* folder : {"Lists", "Sound", "Data", "ScreenShot", "jokes"})
        fs::create_directories(Dir() / folder);
    // "Kalvotune" and "Калейдоскоп" in Windows-1251, as the shipped index holds them.
    WriteFileAtomically(
        Dir() / "Lists" / "MyLists", std::string_view{"Kalvotune\r\n\xCA\xE0\xEB\xE5\xE9\xE4\xEE\xF1\xEA\xEE\xEF\r\n"});
    WriteFileAtomically(Dir() / "Lists" / "Kalvotune", std::string_view{});
}

void AppFixture::WriteTables()
{
    static const kaleidoscope::TableData shipped = tables::BuildTables();
    const std::pair<const char*, const std::vector<std::int32_t>*> files[]{
        {kaleidoscope::Engine::kFadeFile, &shipped.fadePixels},
        {kaleidoscope::Engine::kWedgeFile, &shipped.wedgeMap},
        {kaleidoscope::Engine::kFigureFile, &shipped.figures},
    };
    for (const auto& [name, values] : files)
        WriteFileAtomically(Dir() / name, tables::ToFileBytes(*values));
}

app::Kalvotune& AppFixture::Start()
{
    m_app = std::make_unique<app::Kalvotune>(Dir(), services);
    m_app->FormCreate();
    return *m_app;
}

void AppFixture::Close()
{
    m_app->FormCloseQuery();
}

void AppFixture::Advance(int ms)
{
    const long long end = m_now + ms;
    for (;;) {
        // Arm newly enabled timers and forget stopped ones, as the window's timers do.
        for (TimerControl* timer : Window().AllTimers()) {
            auto it = std::find_if(m_due.begin(), m_due.end(), [timer](const auto& d) { return d.first == timer; });
            if (timer->enabled && it == m_due.end())
                m_due.emplace_back(timer, m_now + std::max(1, timer->interval));
            else if (!timer->enabled && it != m_due.end())
                m_due.erase(it);
        }
        auto first = std::min_element(
            m_due.begin(), m_due.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        if (first == m_due.end() || first->second > end) {
            device.Advance(end - m_now);
            m_now = end;
            return;
        }
        device.Advance(first->second - m_now);
        m_now = first->second;
        TimerControl& timer = *first->first;
        m_app->TimerFired(timer);
        first->second = m_now + std::max(1, timer.interval);
    }
}

} // namespace kalvotune::testing
