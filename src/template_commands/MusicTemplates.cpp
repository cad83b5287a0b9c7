#include "template_commands/MusicTemplates.hpp"

#include "core/AudioDevice.hpp"
#include "core/FileIO.hpp"
#include "playback/Player.hpp"
#include "playlists/CurrentList.hpp"
#include "playlists/ListFile.hpp"
#include "playlists/ListLine.hpp"
#include "playlists/Registry.hpp"
#include "playlists/TemplateRegistration.hpp"
#include "templates/TemplateFolders.hpp"
#include "templates/TemplateLoader.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace kalvotune::template_commands {

namespace fs = std::filesystem;

namespace {

constexpr const char* kReplaceCaption{"ВНИМАНИЕ"};

std::string ReplaceQuestion(const std::string& track)
{
    return "У трека " + playlists::TrackTitleOf(track) + " уже есть ЦМШ. Заменить его шаблоном, созданным по музыке?";
}

std::string Bytes(const std::vector<std::uint8_t>& channel)
{
    return {channel.begin(), channel.end()};
}

} // namespace

std::string KeptTemplateMessage(const std::string& folder)
{
    return "ЦМШ уже есть (" + folder + "), оставлен";
}

MusicTemplateInstall InstallMusicTemplate(const fs::path& programDir, Random& random, const std::string& track,
    const TemplateChannels& channels, bool replace)
{
    if (!playlists::FitsListLine(track))
        return {false, {}, playlists::UnlistableTracksMessage({track})};
    playlists::TemplateRegistration registration{programDir};
    playlists::ListReadResult registry = playlists::ReadRegistryWorkList(playlists::RegistryFile(programDir));
    if (!registry.ok() && !registry.missing())
        return {false, {}, registry.message};
    const std::vector<std::string> read{registry.lines};
    const std::string oldFolder = playlists::RegisteredFolder(registry.lines, track);
    if (!replace && !oldFolder.empty())
        return {false, oldFolder, KeptTemplateMessage(oldFolder), true};

    const fs::path data = programDir / playlists::kDataFolder;
    // An empty old folder name is never touched: the new folder starts empty instead of
    // taking over a handed-out folder that happens to carry the track's title.
    const templates::TemplateFolderResult made = templates::MakeTemplateFolder(
        data, playlists::TrackTitleOf(track), random, std::string{}, registration.AnnounceFor(track));
    if (!made.ok)
        return {false, {}, made.message};
    const fs::path folder = data / made.name;
    const std::array<std::pair<const char*, const std::vector<std::uint8_t>*>, 4> files{{
        {templates::kBlueFile, &channels.blue},
        {templates::kGreenFile, &channels.green},
        {templates::kRedFile, &channels.red},
        {templates::kSpeedFile, &channels.speed},
    }};
    for (const auto& [name, channel] : files)
        if (const WriteResult written = WriteFileAtomically(folder / name, Bytes(*channel)); !written.ok) {
            templates::DeleteFolderTree(folder);
            return {false, {}, written.message};
        }

    std::erase_if(registry.lines, [&](const std::string& line) { return playlists::LinePath(line) == track; });
    playlists::AddRegistryLine(registry.lines, "*" + track + "*" + made.name + "*");
    if (const WriteResult written = playlists::WriteRegistry(programDir, read, registry.lines); !written.ok) {
        templates::DeleteFolderTree(folder);
        return {false, {}, written.message};
    }
    registration.Registered();
    const bool oldStillNamed = std::any_of(registry.lines.begin(), registry.lines.end(),
        [&](const std::string& line) { return playlists::LineTemplate(line) == oldFolder; });
    if (!oldFolder.empty() && oldFolder != made.name && !oldStillNamed && templates::IsPlainFolderName(oldFolder))
        templates::DeleteFolderTree(data / oldFolder);
    return {true, made.name, {}};
}

MusicTemplates::MusicTemplates(Form& form, Services& services, playback::PlayerEvents& events)
    : m_form{form}
    , m_services{services}
    , m_subscription{events.Subscribe([this](const playback::PlayerEvent& event) { Follow(event); })}
{
}

void MusicTemplates::Follow(const playback::PlayerEvent& event)
{
    if (event.kind == playback::PlayerEvent::Kind::TrackStarted)
        m_playingTemplate = event.templateState;
    else if (event.kind == playback::PlayerEvent::Kind::TrackEnded)
        m_playingTemplate = templates::TemplateState::None;
}

std::vector<std::string> MusicTemplates::TracksToAnalyse() const
{
    return playlists::SelectedOrPlayingTracks(m_form);
}

void MusicTemplates::MakeTemplatesFromMusic()
{
    if (m_runner == nullptr)
        return;
    const std::vector<std::string> tracks = TracksToAnalyse();
    if (tracks.empty())
        return;
    playlists::ListReadResult registry = playlists::ReadRegistryWorkList(playlists::RegistryFile(m_form.ProgramDir));
    if (!registry.ok() && !registry.missing()) {
        m_services.dialogs.ShowMessage(registry.message);
        return;
    }
    std::vector<MusicTemplateJob> jobs;
    for (const std::string& track : tracks) {
        const bool has = !playlists::RegisteredFolder(registry.lines, track).empty();
        if (has && !m_services.dialogs.AskYesNo(ReplaceQuestion(track), kReplaceCaption))
            continue;
        jobs.push_back({track, has});
    }
    if (!jobs.empty())
        m_runner->Run(std::move(jobs), m_form.PictureRateSlider.position);
}

bool MusicTemplates::Recording(const std::string& track) const
{
    return m_form.BuildButton.tag == 1 && m_form.CurrentTrackName.string() == track;
}

void MusicTemplates::Analysed(const MusicTemplateJob& job, const TemplateChannels& channels)
{
    // Installing now would register a folder the recording's save does not know of
    // (`TemplateName` was looked up when the track started), and a background result
    // would take the place of the user's own picture changes.
    if (Recording(job.track)) {
        m_deferred.emplace_back(job, channels);
        return;
    }
    const MusicTemplateInstall installed
        = InstallMusicTemplate(m_form.ProgramDir, m_services.random, job.track, channels, job.replace);
    if (!installed.ok) {
        if (!installed.kept)
            m_services.dialogs.ShowMessage(installed.message);
        else if (!job.background)
            m_services.dialogs.ShowMessage(playlists::TrackTitleOf(job.track) + ": " + installed.message);
        return;
    }
    const DeviceMode mode = m_services.device.Mode();
    const bool running = mode == DeviceMode::Playing || mode == DeviceMode::Paused;
    // A still-picture recording of another track owns the channels until it ends; the
    // new template is there for the next start.
    const bool recording = m_form.BuildButton.tag == 1;
    if (running && !recording && m_form.CurrentTrackName.string() == job.track) {
        m_form.TemplateName = installed.folder;
        templates::TrackTemplate loaded = templates::LoadTrackTemplate(m_form.ProgramDir, installed.folder,
            m_form.TrackSeconds, m_form.PictureRateSlider.position, m_services.random);
        m_playingTemplate = loaded.state;
        playback::ApplyTrackTemplate(m_form, std::move(loaded));
    }
}

void MusicTemplates::InstallDeferred()
{
    if (std::all_of(
            m_deferred.begin(), m_deferred.end(), [this](const auto& entry) { return Recording(entry.first.track); }))
        return;
    std::vector<std::pair<MusicTemplateJob, TemplateChannels>> deferred;
    deferred.swap(m_deferred);
    // A result for a track that is still being recorded waits again.
    for (const auto& [job, channels] : deferred)
        Analysed(job, channels);
}

void MusicTemplates::AnalyseStartedTrack()
{
    InstallDeferred();
    if (!m_form.AutoMusicTemplatesItem.checked || m_runner == nullptr || !m_form.NoTemplate)
        return;
    const std::string track = m_form.CurrentTrackName.string();
    if (track.empty() || track == m_backgroundTrack || m_services.device.Mode() != DeviceMode::Playing)
        return;
    // Only a track with no template at all: a recorded still picture is the user's work,
    // and so is the one being recorded now.
    if (m_playingTemplate != templates::TemplateState::None || Recording(track))
        return;
    m_backgroundTrack = track;
    m_runner->Run({{track, false, true}}, m_form.PictureRateSlider.position);
}

void MusicTemplates::AnalysisFailed(const std::string& message)
{
    m_services.dialogs.ShowMessage(message);
}

} // namespace kalvotune::template_commands
