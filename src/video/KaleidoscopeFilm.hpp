#pragma once

#include "core/AudioDevice.hpp"
#include "core/Controls.hpp"
#include "core/PatternState.hpp"
#include "core/Random.hpp"
#include "core/TemplateChannels.hpp"
#include "kaleidoscope/Engine.hpp"
#include "kaleidoscope/Scheduler.hpp"
#include "templates/TemplateLoader.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kalvotune::video {

/// The window's picture settings a video is made with.
struct VideoLook {
    int mode{1};
    /// The figure type; none draws one at random as a fresh start does.
    std::optional<std::uint8_t> figureType;
    bool autoModes{}; ///< "Auto": the mode changes at picture changes every `autoIntervalMs`
    int autoIntervalMs{5000};
    bool autoFigureType{};
    bool smoothing{true};
    bool smearing{};
    bool motionOff{};
    int pictureDelayMs{};
    /// "Сам создавать ЦМШ": a track without a template gets the one its music gives.
    bool musicTemplates{};
    int pictureChangeTicks{20};
};

/// The kaleidoscope of one track played from its start on a virtual clock: the window's
/// own engine and scheduler, with timers that run as the window's do, stepped to each
/// frame's instant, so every frame is drawn and a picture change lands on the frame of
/// its tick. Everything it draws from comes from the seed. Single-threaded.
class KaleidoscopeFilm {
public:
    /// `channels`: the track's template already made (from its music); none loads the
    /// template the registry names, or generates channels, as a track start does.
    KaleidoscopeFilm(const std::filesystem::path& programDir, const std::filesystem::path& track,
        const std::string& templateName, std::int64_t lengthMs, const VideoLook& look, std::uint32_t seed,
        std::optional<TemplateChannels> channels = std::nullopt);
    ~KaleidoscopeFilm();
    KaleidoscopeFilm(const KaleidoscopeFilm&) = delete;
    KaleidoscopeFilm& operator=(const KaleidoscopeFilm&) = delete;

    /// Empty when the pattern tables loaded; otherwise their message.
    const std::string& Error() const { return m_error; }

    /// Runs every timer due up to `ms` after the start (never backwards) and gives the
    /// picture shown at that instant.
    const Surface& At(std::int64_t ms);

    /// What the track plays with: its own template, a still picture, or nothing.
    templates::TemplateState Template() const { return m_template; }
    /// The kaleidoscope's state: mode, figure type, the tick last drawn, ...
    const PatternState& State() const;
    const TemplateChannels& Channels() const;

private:
    struct Timing;
    struct Stage;
    void RunPatterns();
    void Fire(TimerControl& timer);

    std::unique_ptr<Stage> m_stage;
    kaleidoscope::Engine m_engine;
    kaleidoscope::Scheduler m_scheduler;
    std::vector<Timing> m_timers;
    std::int64_t m_now{};
    std::string m_error;
    templates::TemplateState m_template{templates::TemplateState::None};
};

} // namespace kalvotune::video
