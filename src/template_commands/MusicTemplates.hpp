#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "core/TemplateChannels.hpp"
#include "playback/PlayerEvents.hpp"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kalvotune::template_commands {

/// One track to analyse; `replace` when the user agreed to replace its template.
struct MusicTemplateJob {
    std::string track;
    bool replace{};
    /// Started by "Сам создавать ЦМШ": no progress dialog and no message on failure.
    bool background{};
};

/// What installing an analysed template gave: the new folder, or the program's message.
/// `kept` when the track had a template that was not to be replaced: `folder` names it,
/// `message` says so, nothing was written.
struct MusicTemplateInstall {
    bool ok{};
    std::string folder;
    std::string message;
    bool kept{};
};

/// Runs the analysis of a batch of tracks away from the window's thread and hands each
/// result back to `MusicTemplates::Analysed` on the window's thread. The Qt window
/// implements it with a worker thread and a progress dialog; tests analyse at once.
class MusicAnalysisRunner {
public:
    virtual ~MusicAnalysisRunner() = default;
    /// Starts analysing `jobs` in order, markers at least `pictureChangeTicks` ticks apart.
    virtual void Run(std::vector<MusicTemplateJob> jobs, int pictureChangeTicks) = 0;
};

/// Installs `channels` as the template of `track` in the program folder `programDir`: a new folder in `Data` made by
/// the `templates::MakeTemplateFolder` rules, the four channel files written atomically, and the registry line (any
/// older line of the track replaced). The registry is read as it is now, so a template registered while the track was
/// analysed (a recording saved, another program) counts: without `replace` it is kept and nothing is written. Nothing
/// is left behind when a write fails; the folder the track had before is removed only once the registry names the new
/// one and no other line names the old one.
MusicTemplateInstall InstallMusicTemplate(const std::filesystem::path& programDir, Random& random,
    const std::string& track, const TemplateChannels& channels, bool replace);

/// The line of `kalvotune --analyse` and of the window for a track whose template `folder`
/// stays: "ЦМШ уже есть (folder), оставлен".
std::string KeptTemplateMessage(const std::string& folder);

/// "Создать ЦМШ по музыке": templates made from the music of the selected tracks of the
/// current list (or the playing track when none is selected). Every handler runs on the
/// window's thread.
class MusicTemplates {
public:
    /// Both references must outlive the object; follows the player through `events`.
    MusicTemplates(Form& form, Services& services, playback::PlayerEvents& events);

    /// The runner that analyses the tracks; without one the command does nothing.
    void SetRunner(MusicAnalysisRunner* runner) { m_runner = runner; }

    /// The menu command: gathers the tracks, asks about each that already has a template
    /// ("No" keeps it and leaves the track out) and hands the rest to the runner.
    void MakeTemplatesFromMusic();

    /// The tracks the command works on: `playlists::SelectedOrPlayingTracks`.
    std::vector<std::string> TracksToAnalyse() const;

    /// An analysis finished for `job`: installs its template, and when the track is the
    /// one playing switches it to the new channels at once (the tick is the play
    /// position, so the picture goes on where it was). A failed install shows its message.
    /// A template the track got meanwhile stays unless the job replaces (said for a job
    /// of the menu, silent in the background). While the track is being recorded with
    /// Build the result waits: the recording owns the track's template, and whatever it
    /// saves wins over an analysis that did not replace.
    void Analysed(const MusicTemplateJob& job, const TemplateChannels& channels);

    /// Installs the results that waited for a recording once that recording has ended
    /// (saved, declined or stopped). Runs after every event that may end one.
    void InstallDeferred();

    /// Runs after every event that may start a track: first `InstallDeferred`, then, when
    /// "Сам создавать ЦМШ" is ticked and a track without any template has started
    /// playing, hands it to the runner in the background, once per start of a new track.
    void AnalyseStartedTrack();

    /// An analysis failed: shows the message.
    void AnalysisFailed(const std::string& message);

private:
    /// True while Build records `track`.
    bool Recording(const std::string& track) const;
    void Follow(const playback::PlayerEvent& event);

    Form& m_form;
    Services& m_services;
    MusicAnalysisRunner* m_runner{};
    /// The track last handed over in the background, so it is analysed once.
    std::string m_backgroundTrack;
    /// What the playing track plays with: as it started, or the template made for it since.
    templates::TemplateState m_playingTemplate{templates::TemplateState::None};
    playback::PlayerEvents::Subscription m_subscription;
    /// Results for the track being recorded, in the order they came.
    std::vector<std::pair<MusicTemplateJob, TemplateChannels>> m_deferred;
};

} // namespace kalvotune::template_commands
