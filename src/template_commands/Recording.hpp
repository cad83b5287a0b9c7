#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "playback/Player.hpp"
#include "playback/TemplateSaves.hpp"

namespace kalvotune::template_commands {

/// Recording a still-picture template (Build and the key presses), shifting a template
/// while listening ("Синхронизация ЦМШ" with its two buttons) and the two saves the end
/// of a track asks for. Every method is a window event handler on the user-interface
/// thread; the player calls the saves through `playback::TemplateSaves`.
///
/// Typical use: Build → "Yes" starts the current entry from its beginning with its
/// markers cleared; each character key adds a marker at the current tick; at the end of
/// the track the player asks "Сохранить шаблон?" and a "Yes" runs `SaveStillTemplate`.
class Recording : public playback::TemplateSaves {
public:
    /// All references must outlive the recording.
    Recording(Form& form, Services& services, playback::Player& player);

    /// Build: stops the player, asks, and on "Yes" plays the track from its start with
    /// every picture-change marker of its speed channel cleared and key preview on; the
    /// picture-change slider stays hidden while recording. When no track starts the
    /// recording does not begin and Play is enabled again.
    void ToggleTemplateRecording();
    /// A character key reached the window: adds 22 (modulo 256) to the speed byte at
    /// `TemplateTick`. Nothing happens when no channel holds that tick.
    void OnRecordingKey();

    /// Writes the speed channel to Speed.kvt of the track's template folder; a track
    /// without a registered folder gets a new folder and a registry line, and " OK! " is
    /// shown once both are written. Every failure is reported by name and reason.
    void SaveStillTemplate() override;
    /// Replaces the four channel files of the track's existing template folder together:
    /// either all four are written or none is, and a failure is reported. A track without
    /// a template folder saves nothing.
    void SaveSynchronisedTemplate() override;

    /// Toggles synchronisation and the two shift buttons.
    void ToggleTemplateSync();
    /// The picture is ahead of the sound: every channel moves one tick later, element 0
    /// becomes 0. Only while playing.
    void ShiftTemplateBack();
    /// The picture lags: every channel moves one tick earlier, the last element becomes 0.
    /// Only while playing.
    void ShiftTemplateAhead();

private:
    bool Playing() const;

    Form& m_form;
    Services& m_services;
    playback::Player& m_player;
};

} // namespace kalvotune::template_commands
