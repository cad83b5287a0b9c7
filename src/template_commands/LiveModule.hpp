#pragma once

#include "core/LoadableModule.hpp"
#include "template_commands/LiveTemplate.hpp"

#include <chrono>
#include <filesystem>
#include <memory>

namespace kalvotune::template_commands {

/// The file name of the live-sound module, kept beside the program like the audio module.
inline constexpr const char* kLiveModuleFile{"kalvotune-live.so"};

/// The module's functions: a capture of the sound server (PulseAudio), the server's
/// sources, the live analysis, and a template recorded from live sound.
using NewSoundCaptureFunction = SoundCapture* (*)();
using ListSoundSourcesFunction = void (*)(int timeoutMs, SoundSourceList& list);
using NewLiveTickerFunction = LiveTicker* (*)(const analysis::LiveSettings& settings);
using RecordLiveTemplateFunction
    = void (*)(SoundCapture& capture, const LiveTemplateRequest& request, LiveTemplateResult& result);
inline constexpr const char* kNewSoundCaptureSymbol{"KalvotuneNewSoundCapture"};
inline constexpr const char* kListSoundSourcesSymbol{"KalvotuneListSoundSources"};
inline constexpr const char* kNewLiveTickerSymbol{"KalvotuneNewLiveTicker"};
inline constexpr const char* kRecordLiveTemplateSymbol{"KalvotuneRecordLiveTemplate"};

/// Listening to the computer's sound behind its module: libpulse and the analysis's
/// libraries load the first time the sound is listened to, not at every start. When the
/// module cannot be loaded, each function says why (`Error`) and gives nothing.
class LiveModule {
public:
    explicit LiveModule(std::filesystem::path file);

    /// A new capture; null when the module cannot be loaded.
    std::unique_ptr<SoundCapture> NewCapture();
    /// The sources; not `ok`, with the reason, when the module cannot be loaded.
    SoundSourceList ListSources(std::chrono::milliseconds timeout);
    /// A new live analysis; null when the module cannot be loaded.
    std::unique_ptr<LiveTicker> NewTicker(const analysis::LiveSettings& settings);
    /// `RecordLiveTemplate` with a capture of the module's own.
    LiveTemplateResult RecordTemplate(const LiveTemplateRequest& request);
    /// Why the module could not be loaded; empty while it could.
    std::string Error();

private:
    ModuleFunction<NewSoundCaptureFunction> m_newCapture;
    ModuleFunction<ListSoundSourcesFunction> m_listSources;
    ModuleFunction<NewLiveTickerFunction> m_newTicker;
    ModuleFunction<RecordLiveTemplateFunction> m_record;
};

} // namespace kalvotune::template_commands
