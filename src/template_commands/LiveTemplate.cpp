#include "template_commands/LiveTemplate.hpp"

#include "analysis/ChannelMapping.hpp"
#include "analysis/LiveAnalysis.hpp"
#include "templates/TemplateFolders.hpp"

#include <cmath>
#include <thread>

namespace kalvotune::template_commands {

namespace {

constexpr std::chrono::milliseconds kPoll{20};
/// How long past the time asked the sound may keep us waiting: a monitor's first read
/// can take 2 s while nothing plays, and a busy server falls behind.
constexpr std::chrono::seconds kGrace{10};

LiveTemplateResult Failed(std::string message)
{
    LiveTemplateResult result;
    result.message = std::move(message);
    return result;
}

class AnalysisTicker : public LiveTicker {
public:
    explicit AnalysisTicker(const analysis::LiveSettings& settings)
        : m_live{settings}
    {
    }
    void SetLookAhead(double seconds) override { m_live.SetLookAhead(seconds); }
    void Add(std::span<const float> samples) override { m_live.Add(samples); }
    std::vector<analysis::LiveTick> TakeTicks() override { return m_live.TakeTicks(); }

private:
    analysis::LiveAnalysis m_live;
};

} // namespace

std::unique_ptr<LiveTicker> NewLiveTicker(const analysis::LiveSettings& settings)
{
    return std::make_unique<AnalysisTicker>(settings);
}

LiveTemplateResult RecordLiveTemplate(
    SoundCapture& capture, const LiveTemplateRequest& request, const CaptureWait& wait)
{
    if (!(request.seconds > 0) || !std::isfinite(request.seconds))
        return Failed("Время записи должно быть больше нуля");
    const auto pause = [&](std::chrono::milliseconds span) {
        if (wait)
            wait(span);
        else
            std::this_thread::sleep_for(span);
    };
    analysis::LiveAnalysis live{{.lookAheadSeconds = request.pictureDelaySeconds,
        .pictureChangeTicks = request.pictureChangeTicks,
        .keepHeard = true}};
    const auto wanted = static_cast<long long>(std::llround(request.seconds * analysis::kAnalysisRate));
    const auto polls = static_cast<long long>((std::chrono::duration<double>(request.seconds) + kGrace) / kPoll);
    capture.Start({.source = request.source, .sampleRate = analysis::kAnalysisRate, .channels = 1});
    long long fed{};
    CaptureStatus status;
    std::vector<float> samples;
    for (long long poll = 0; fed < wanted && poll < polls; ++poll) {
        pause(kPoll);
        status = capture.Status();
        if (status.state == CaptureState::NoServer || status.state == CaptureState::NoSource) {
            capture.Stop();
            return Failed(status.message);
        }
        samples.clear();
        capture.Take(samples);
        const auto take
            = static_cast<std::size_t>(std::min<long long>(static_cast<long long>(samples.size()), wanted - fed));
        live.SetLookAhead(status.latencySeconds + request.pictureDelaySeconds);
        live.Add(std::span<const float>{samples.data(), take});
        live.TakeTicks();
        fed += static_cast<long long>(take);
    }
    capture.Stop();
    const std::string source{status.source.empty() ? request.source : status.source};
    if (fed < wanted)
        return Failed("Звук не поступает от источника <" + source + ">: записано "
            + SecondsText(static_cast<double>(fed) / analysis::kAnalysisRate) + " с из " + SecondsText(request.seconds));

    const TemplateChannels heard{live.Heard()};
    if (heard.Length() == 0)
        return Failed(
            "За " + SecondsText(request.seconds) + " с не прозвучало ни одного звука громче -50 дБ: шаблон не записан");
    if (const WriteResult written = templates::WriteTemplateFolder(request.folder, heard); !written.ok)
        return Failed(written.message);

    LiveTemplateResult result;
    result.ok = true;
    result.source = source;
    result.ticks = heard.Length();
    for (const std::uint8_t speed : heard.speed)
        result.markers += speed >= analysis::kPictureChangeMarker ? 1 : 0;
    result.beatsPerMinute = live.BeatPeriod() > 0 ? 60.0 / live.BeatPeriod() : 0.0;
    result.beatsPerBar = live.BeatsPerBar();
    result.latencySeconds = status.latencySeconds;
    result.skippedSeconds = live.SkippedSeconds();
    return result;
}

} // namespace kalvotune::template_commands
