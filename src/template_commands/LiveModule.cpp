#include "template_commands/LiveModule.hpp"

namespace kalvotune::template_commands {

namespace {

constexpr const char* kModuleName{"модуль звука компьютера"};

} // namespace

LiveModule::LiveModule(std::filesystem::path file)
    : m_newCapture{file, kNewSoundCaptureSymbol, kModuleName}
    , m_listSources{file, kListSoundSourcesSymbol, kModuleName}
    , m_newTicker{file, kNewLiveTickerSymbol, kModuleName}
    , m_record{std::move(file), kRecordLiveTemplateSymbol, kModuleName}
{
}

std::unique_ptr<SoundCapture> LiveModule::NewCapture()
{
    const NewSoundCaptureFunction make = m_newCapture.Get();
    return make == nullptr ? nullptr : std::unique_ptr<SoundCapture>{make()};
}

SoundSourceList LiveModule::ListSources(std::chrono::milliseconds timeout)
{
    SoundSourceList list;
    const ListSoundSourcesFunction listSources = m_listSources.Get();
    if (listSources == nullptr) {
        list.message = m_listSources.Error();
        return list;
    }
    listSources(static_cast<int>(timeout.count()), list);
    return list;
}

std::unique_ptr<LiveTicker> LiveModule::NewTicker(const analysis::LiveSettings& settings)
{
    const NewLiveTickerFunction make = m_newTicker.Get();
    return make == nullptr ? nullptr : std::unique_ptr<LiveTicker>{make(settings)};
}

LiveTemplateResult LiveModule::RecordTemplate(const LiveTemplateRequest& request)
{
    LiveTemplateResult result;
    const RecordLiveTemplateFunction record = m_record.Get();
    const std::unique_ptr<SoundCapture> capture = NewCapture();
    if (record == nullptr || capture == nullptr) {
        result.message = Error();
        return result;
    }
    record(*capture, request, result);
    return result;
}

std::string LiveModule::Error()
{
    m_newCapture.Get();
    return m_newCapture.Error();
}

} // namespace kalvotune::template_commands
