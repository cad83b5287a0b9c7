#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "playlists/CurrentList.hpp"
#include "service/TrackService.hpp"

namespace kalvotune::testing {

/// The track service's view of a window model, wired as the window wires its own.
inline service::TrackWindow FormTrackWindow(Form& form, Services& services)
{
    return {
        .currentList = form.CurrentListBox,
        .pathView = form.PathsBox,
        .refreshPathView = [&form] { playlists::TogglePathsView(form); },
        .releaseStoppedTrack = [&form, &services] { playlists::ReleaseStoppedTrack(form, services); },
        .currentTrack = [&form] { return form.CurrentTrackName; },
        .currentTrackMoved
        = [&form, &services](const std::filesystem::path& to) { playlists::FollowMovedTrack(form, services, to); },
    };
}

} // namespace kalvotune::testing
