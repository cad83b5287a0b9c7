#pragma once

namespace kalvotune::playback {

/// The template saves the end of a track may ask for. The player asks the questions and
/// resets the recording state; the template code writes the files.
class TemplateSaves {
public:
    virtual ~TemplateSaves() = default;
    /// "Yes" to saving a still-picture template at the end of its recording. Runs with
    /// the device closed and `CurrentTrackName`, `TemplateName` and the channels intact.
    virtual void SaveStillTemplate() = 0;
    /// "Yes" to saving the synchronised template at a natural track end, before the
    /// player moves on to the next track.
    virtual void SaveSynchronisedTemplate() = 0;
};

} // namespace kalvotune::playback
