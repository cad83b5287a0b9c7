#pragma once

#include "core/Form.hpp"
#include "core/Services.hpp"
#include "video/VideoExport.hpp"

#include <filesystem>

namespace kalvotune::app {

/// The picture settings as the window has them now.
video::VideoLook LookOf(const Form& form);

/// Writes a video away from the window's thread and hands the result back to
/// `SaveVideo::Finished` on the window's thread. The Qt window implements it with a worker
/// thread and a progress dialog; tests write at once.
class VideoExportRunner {
public:
    virtual ~VideoExportRunner() = default;
    /// Starts writing; false (and nothing started) while another video is being written.
    virtual bool Run(video::VideoRequest request) = 0;
};

/// "Сохранить видео…": the kaleidoscope of the selected track (or the playing one) with
/// its music as an MP4 file, at the size of the screen, with the picture settings of the
/// window and the picture's shape picked in the dialog (stretched, as full screen, at first). Every handler runs on the
/// window's thread.
class SaveVideo {
public:
    /// Both references must outlive the object.
    SaveVideo(Form& form, Services& services);

    /// The runner that writes the video; without one the command does nothing.
    void SetRunner(VideoExportRunner* runner) { m_runner = runner; }

    /// The menu command: asks where to save, then hands the work to the runner. A name
    /// without an extension gets ".mp4"; the track itself is refused, and replacing any
    /// other existing file is asked first.
    void ChooseFileAndSaveVideo();

    /// The track the command works on: the first of `playlists::SelectedOrPlayingTracks`.
    std::filesystem::path TrackToSave() const;

    /// A video finished: a failure shows its message, a written video where it is.
    void Finished(const std::filesystem::path& output, const video::VideoResult& result);

private:
    Form& m_form;
    Services& m_services;
    VideoExportRunner* m_runner{};
};

} // namespace kalvotune::app
