#include "app/ListenCommands.hpp"

#include "analysis/ChannelMapping.hpp"
#include "app/PatternCommands.hpp"
#include "core/OptionsFile.hpp"
#include "templates/TemplateLoader.hpp"

#include <algorithm>

namespace kalvotune::app {

namespace {

constexpr const char* kListeningCaption{"        Слушаю: "};
constexpr const char* kCaptionGap{"        "};
constexpr const char* kComputerSound{"звук компьютера"};
constexpr const char* kSourceCaption{"Источник звука"};
constexpr const char* kSourcePrompt{"Что слушать калейдоскопу:"};
constexpr const char* kNoLiveSound{"Слушать звук компьютера не получится: нет модуля звука компьютера"};
/// Listen ticks without any tick of sound before the picture falls back to generated
/// motion: the capture hands samples on in uneven portions, a stalled one not at all.
constexpr int kStalledTicks{5};
/// The picture's own delay: a decided tick shows at the next pattern tick.
constexpr double kPictureOwnDelaySeconds{0.02};
/// Generated motion for silence: a minute of it, read round and round.
constexpr int kGeneratedTicks{600};
/// An hour of live channels; then the older half goes, so listening for days costs no more.
constexpr int kMostLiveTicks{36000};

} // namespace

ListenCommands::ListenCommands(Form& form, Services& services, PatternCommands& patterns,
    kaleidoscope::Scheduler& scheduler, playback::Player& player, playlists::Lists& lists)
    : m_form{form}
    , m_services{services}
    , m_patterns{patterns}
    , m_scheduler{scheduler}
    , m_player{player}
    , m_lists{lists}
{
}

ListenCommands::~ListenCommands()
{
    if (m_capture)
        m_capture->Stop();
}

void ListenCommands::ToggleListening()
{
    if (!m_listening) {
        StartListening();
        return;
    }
    StopListening();
    // Play resumes a paused track; someone may have closed it meanwhile (a list opened).
    if (m_saved.trackWasPlaying && m_services.device.Mode() == DeviceMode::Paused)
        m_player.PlayOrNext();
}

void ListenCommands::StartListening(const std::string& source)
{
    if (m_listening)
        return;
    Form& f = m_form;
    if (!m_sound.newCapture || !m_sound.newTicker) {
        m_services.dialogs.ShowMessage(kNoLiveSound);
        f.ListenItem.checked = false;
        return;
    }
    m_capture = m_sound.newCapture();
    if (!m_capture) {
        m_services.dialogs.ShowMessage(m_sound.unavailable ? m_sound.unavailable() : kNoLiveSound);
        f.ListenItem.checked = false;
        return;
    }
    // The player's own sound stops first; the window as it then is comes back afterwards. A
    // playing track only pauses, to go on where it was, and a paused one stays paused; a
    // still-picture recording ends, since keys tapped while listening are not in time with it.
    const DeviceMode mode = m_services.device.Mode();
    const bool sounding = mode == DeviceMode::Playing || mode == DeviceMode::Paused;
    if (sounding && m_player.TemplateRecording())
        m_player.StopTrack();
    else if (mode == DeviceMode::Playing)
        m_player.PauseTrack();
    m_saved = {f.caption, f.channels, f.NoTemplate, f.TemplateTick, f.CurrentListBox.visible, f.MyListsBox.visible,
        mode == DeviceMode::Playing && m_services.device.Mode() == DeviceMode::Paused};
    m_source = source.empty() ? ReadOptions(f.ProgramDir / kOptionsFileName).soundSource : source;
    m_listening = true;
    f.ListenItem.checked = true;
    m_generated = templates::GeneratedChannels(kGeneratedTicks, f.PictureRateSlider.position, m_services.random);
    f.channels.Reset(0);
    f.NoTemplate = true;
    m_tick = 0;
    m_quietTicks = kStalledTicks;
    m_problemShown = false;
    m_description.clear();
    // The picture shows in place of the lists, as when a track starts.
    if (f.MyListsBox.visible)
        m_lists.ToggleMyLists();
    if (f.CurrentListBox.visible)
        m_player.ToggleListView();
    StartCapture();
    WriteTick(m_generated.Blue(0), m_generated.Green(0), m_generated.Red(0), m_generated.Speed(0));
    f.ListenTimer.enabled = true;
    m_patterns.RunPatterns(f.GraphicsItem.tag == 0);
    ShowCaption(m_capture->Status());
}

void ListenCommands::StartCapture()
{
    if (m_sound.listSources)
        m_listing = std::async(std::launch::async, m_sound.listSources);
    m_ticker = m_sound.newTicker({.lookAheadSeconds = LookAhead({}),
        .pictureChangeTicks = std::clamp(m_form.PictureRateSlider.position, 1, 1000)});
    m_capture->Start({.source = m_source, .sampleRate = analysis::kAnalysisRate, .channels = 1});
}

void ListenCommands::StopListening()
{
    if (!m_listening)
        return;
    Form& f = m_form;
    m_listening = false;
    f.ListenItem.checked = false;
    f.ListenTimer.enabled = false;
    m_capture->Stop();
    m_capture.reset();
    m_ticker.reset();
    m_scheduler.FollowLiveTick(std::nullopt);
    m_patterns.RunPatterns(false);
    f.caption = std::move(m_saved.caption);
    f.channels = std::move(m_saved.channels);
    f.NoTemplate = m_saved.noTemplate;
    f.TemplateTick = m_saved.templateTick;
    if (m_saved.myListsVisible && !f.MyListsBox.visible)
        m_lists.ToggleMyLists();
    else if (m_saved.listVisible && !f.CurrentListBox.visible)
        m_player.ToggleListView();
}

void ListenCommands::ChooseSource()
{
    if (!m_sound.listSources) {
        m_services.dialogs.ShowMessage(m_sound.unavailable ? m_sound.unavailable() : kNoLiveSound);
        return;
    }
    // A second click while the server is still answering the first adds nothing.
    if (m_choiceListing.valid())
        return;
    m_choiceListing = std::async(std::launch::async, m_sound.listSources);
    m_form.SourceListTimer.enabled = true;
}

void ListenCommands::OnSourceListTick()
{
    if (!m_choiceListing.valid()) {
        m_form.SourceListTimer.enabled = false;
        return;
    }
    if (m_choiceListing.wait_for(std::chrono::seconds{0}) != std::future_status::ready)
        return;
    m_form.SourceListTimer.enabled = false;
    const SoundSourceList list = m_choiceListing.get();
    if (!list.ok || list.sources.empty()) {
        m_services.dialogs.ShowMessage(list.message);
        return;
    }
    const std::filesystem::path file = m_form.ProgramDir / kOptionsFileName;
    Options options = ReadOptions(file);
    std::vector<std::string> descriptions;
    int current{};
    for (const SoundSource& source : list.sources) {
        if (source.name == options.soundSource)
            current = static_cast<int>(descriptions.size());
        descriptions.push_back(source.description);
    }
    const std::optional<int> chosen = m_services.dialogs.ChooseItem(kSourceCaption, kSourcePrompt, descriptions, current);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(list.sources.size()))
        return;
    const SoundSource& source = list.sources[static_cast<std::size_t>(*chosen)];
    // The first is the default output's monitor: kept as "the default output", it follows
    // the user to headphones plugged in later.
    options.soundSource = *chosen == 0 && source.monitor ? std::string{} : source.name;
    if (const WriteResult written = WriteOptions(file, options); !written.ok)
        m_services.dialogs.ShowMessage(written.message);
    if (m_listening) {
        m_capture->Stop();
        m_source = options.soundSource;
        m_description = source.description;
        m_problemShown = false;
        StartCapture();
        ShowCaption(m_capture->Status());
    }
}

double ListenCommands::LookAhead(const CaptureStatus& status) const
{
    return std::max(0.0, status.latencySeconds + kPictureOwnDelaySeconds - m_form.PictureDelayMs / 1000.0);
}

void ListenCommands::ShowCaption(const CaptureStatus& status)
{
    Form& f = m_form;
    if (status.state == CaptureState::NoServer || status.state == CaptureState::NoSource) {
        f.caption = f.CaptionPrefix + kCaptionGap + status.message;
        return;
    }
    if (m_description.empty() && m_listing.valid()
        && m_listing.wait_for(std::chrono::seconds{0}) == std::future_status::ready) {
        const SoundSourceList list = m_listing.get();
        const std::string& name = m_source.empty() ? status.source : m_source;
        for (const SoundSource& source : list.sources)
            if (source.name == name || (name.empty() && source.monitor)) {
                m_description = source.description;
                break;
            }
    }
    const std::string& named = !m_description.empty() ? m_description
        : !status.source.empty()                       ? status.source
        : !m_source.empty()                            ? m_source
                                                       : std::string{kComputerSound};
    f.caption = f.CaptionPrefix + kListeningCaption + named;
}

void ListenCommands::OnListenTick()
{
    if (!m_listening)
        return;
    Form& f = m_form;
    const CaptureStatus status = m_capture->Status();
    const bool lost = status.state == CaptureState::NoServer || status.state == CaptureState::NoSource;
    ShowCaption(status);
    if (lost && !m_problemShown) {
        // Once per loss: the capture keeps trying on its own, and this box may run a
        // nested event loop in which this tick comes again.
        m_problemShown = true;
        m_services.dialogs.ShowMessage(status.message);
    } else if (status.state == CaptureState::Capturing) {
        m_problemShown = false;
    }

    m_samples.clear();
    m_capture->Take(m_samples);
    m_ticker->SetLookAhead(LookAhead(status));
    m_ticker->Add(m_samples);
    const std::vector<analysis::LiveTick> ticks = m_ticker->TakeTicks();
    if (!ticks.empty()) {
        m_quietTicks = 0;
        m_last = ticks.back();
        // Two ticks may come in one listen tick: a change of picture or figures among
        // them is not lost.
        for (const analysis::LiveTick& tick : ticks) {
            if (tick.speed >= analysis::kPictureChangeMarker)
                m_last.speed = tick.speed;
            if ((tick.blue & 1) != 0)
                m_last.blue = tick.blue;
        }
    } else if (m_quietTicks < kStalledTicks) {
        ++m_quietTicks;
        // The last tick of sound again, without its marker or new figures.
        m_last.speed = static_cast<std::uint8_t>(m_last.speed % analysis::kPictureChangeMarker);
        m_last.blue = static_cast<std::uint8_t>(m_last.blue & ~1);
    }

    ++m_tick;
    if (m_tick >= kMostLiveTicks) {
        const int dropped = m_tick / 2;
        for (auto* channel : {&f.channels.blue, &f.channels.green, &f.channels.red, &f.channels.speed})
            channel->erase(channel->begin(), channel->begin() + dropped);
        m_tick -= dropped;
    }
    const bool generated = m_quietTicks >= kStalledTicks || m_last.silent;
    f.NoTemplate = generated;
    if (generated) {
        const int at = m_tick % kGeneratedTicks;
        WriteTick(m_generated.Blue(at), m_generated.Green(at), m_generated.Red(at), m_generated.Speed(at));
    } else {
        WriteTick(m_last.blue, m_last.green, m_last.red, m_last.speed);
    }
    KeepPatternsRunning();
}

void ListenCommands::WriteTick(std::uint8_t blue, std::uint8_t green, std::uint8_t red, std::uint8_t speed)
{
    TemplateChannels& channels = m_form.channels;
    const auto at = static_cast<std::size_t>(m_tick);
    for (auto* channel : {&channels.blue, &channels.green, &channels.red, &channels.speed})
        channel->resize(at + 1);
    channels.blue[at] = blue;
    channels.green[at] = green;
    channels.red[at] = red;
    channels.speed[at] = speed;
    m_scheduler.FollowLiveTick(m_tick);
}

void ListenCommands::KeepPatternsRunning()
{
    // Hiding a list starts the patterns only while a track plays; listening counts too.
    Form& f = m_form;
    const bool running = std::ranges::any_of(f.PatternTimers(), [](const TimerControl* t) { return t->enabled; });
    if (!running && !f.CurrentListBox.visible && !f.MyListsBox.visible && f.GraphicsItem.tag == 0)
        m_patterns.RunPatterns(true);
}

} // namespace kalvotune::app
