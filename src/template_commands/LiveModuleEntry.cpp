#include "playback/PulseCapture.hpp"
#include "template_commands/LiveModule.hpp"

// The entry points of kalvotune-live.so, looked up by `LiveModule`.

extern "C" kalvotune::SoundCapture* KalvotuneNewSoundCapture()
{
    return new kalvotune::playback::PulseCapture;
}

extern "C" void KalvotuneListSoundSources(int timeoutMs, kalvotune::SoundSourceList& list)
{
    list = kalvotune::playback::ListSoundSources(std::chrono::milliseconds{timeoutMs});
}

extern "C" kalvotune::template_commands::LiveTicker* KalvotuneNewLiveTicker(
    const kalvotune::analysis::LiveSettings& settings)
{
    return kalvotune::template_commands::NewLiveTicker(settings).release();
}

extern "C" void KalvotuneRecordLiveTemplate(kalvotune::SoundCapture& capture,
    const kalvotune::template_commands::LiveTemplateRequest& request,
    kalvotune::template_commands::LiveTemplateResult& result)
{
    result = kalvotune::template_commands::RecordLiveTemplate(capture, request);
}
