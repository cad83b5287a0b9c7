#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "core/SoundCapture.hpp"
#include "kaleidoscope/Scheduler.hpp"
#include "playback/Player.hpp"
#include "playlists/Lists.hpp"
#include "template_commands/LiveTemplate.hpp"

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

namespace kalvotune::app {

class PatternCommands;

/// What listening needs from the sound server and the analysis; the window takes them from
/// the live module, tests from fakes. A function that cannot give its object (the module
/// missing) gives null, and `unavailable` says why.
struct LiveSound {
    std::function<SoundSourceList()> listSources;
    std::function<std::unique_ptr<SoundCapture>()> newCapture;
    std::function<std::unique_ptr<template_commands::LiveTicker>(const analysis::LiveSettings&)> newTicker;
    std::function<std::string()> unavailable;
};

/// "Слушать звук компьютера" and "Источник звука…": the kaleidoscope follows whatever the
/// computer plays (or a microphone) instead of a track. While listening, the player's own
/// playback is stopped, the caption names the source, and every 100 ms (`ListenTimer`) the
/// samples captured are analysed live and the bytes of the newest tick steer the picture at
/// a template tick of their own, as a template's channels do. Silence for 2 s, a capture
/// that stalls, a missing server: generated motion, as for a track without a template.
/// Leaving (the item again, Play, Stop, opening tracks) puts back what listening changed; a
/// track that was playing waits paused meanwhile and, when the item ends listening, goes on
/// from where it was. The capture records on its own thread; nothing here waits for it.
class ListenCommands {
public:
    /// All references must outlive the object.
    ListenCommands(Form& form, Services& services, PatternCommands& patterns, kaleidoscope::Scheduler& scheduler,
        playback::Player& player, playlists::Lists& lists);
    ~ListenCommands();
    ListenCommands(const ListenCommands&) = delete;
    ListenCommands& operator=(const ListenCommands&) = delete;

    void SetLiveSound(LiveSound sound) { m_sound = std::move(sound); }

    /// "Слушать звук компьютера": starts listening, or leaves when listening and lets the
    /// track that was playing go on.
    void ToggleListening();
    /// Starts listening to `source` (its server name), or to the source kept in the options
    /// file when empty. Nothing when already listening.
    void StartListening(const std::string& source = {});
    /// Puts back the window as it was before listening, for the player's own sound that
    /// follows (Play, Stop, opening tracks); nothing when not listening.
    void StopListening();
    /// "Источник звука…": asks the server for its sources on a thread of their own, so a
    /// slow server never holds the window; `SourceListTimer` offers them when they come.
    void ChooseSource();
    /// `SourceListTimer`: once the sources have come, offers them by description, keeps the
    /// one chosen in the options file and listens to it from now on.
    void OnSourceListTick();
    /// `ListenTimer`: one tick of live channels.
    void OnListenTick();

    bool Listening() const { return m_listening; }

private:
    /// What listening changes in the window, as it was before.
    struct Saved {
        std::string caption;
        TemplateChannels channels;
        bool noTemplate{};
        int templateTick{};
        bool listVisible{};
        bool myListsVisible{};
        bool trackWasPlaying{}; ///< paused for listening, to go on afterwards
    };

    void StartCapture();
    /// The look-ahead of the analysis: the capture's latency and the picture's own delay,
    /// less the user's picture delay.
    double LookAhead(const CaptureStatus& status) const;
    void ShowCaption(const CaptureStatus& status);
    void WriteTick(std::uint8_t blue, std::uint8_t green, std::uint8_t red, std::uint8_t speed);
    void KeepPatternsRunning();

    Form& m_form;
    Services& m_services;
    PatternCommands& m_patterns;
    kaleidoscope::Scheduler& m_scheduler;
    playback::Player& m_player;
    playlists::Lists& m_lists;
    LiveSound m_sound;

    bool m_listening{};
    std::string m_source; ///< the server's name of the source listened to; empty the default output's
    Saved m_saved;
    std::unique_ptr<SoundCapture> m_capture;
    std::unique_ptr<template_commands::LiveTicker> m_ticker;
    /// The sources, listed on a thread of their own for the caption's description.
    std::future<SoundSourceList> m_listing;
    /// The sources asked for by "Источник звука…", until they are offered.
    std::future<SoundSourceList> m_choiceListing;
    std::string m_description;
    TemplateChannels m_generated; ///< motion for silence, read round and round
    std::vector<float> m_samples;
    int m_tick{}; ///< the template tick the picture shows
    int m_quietTicks{}; ///< listen ticks in a row the analysis gave nothing for
    analysis::LiveTick m_last; ///< the newest tick of sound
    bool m_problemShown{}; ///< the message of a missing server or source was shown
};

} // namespace kalvotune::app
