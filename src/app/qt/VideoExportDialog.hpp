#pragma once

#include "app/SaveVideo.hpp"
#include "video/VideoModule.hpp"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <thread>

class QProgressDialog;

namespace kalvotune::app {

class Kalvotune;
class MainWindow;

/// Runs "Сохранить видео…" behind a progress dialog (the track, the time left, Cancel) on
/// a worker thread; the result goes back on the window's thread to `SaveVideo::Finished`.
/// The dialog is not modal, so the window stays usable and the music plays on. Cancel
/// stops the worker soon; the half-written file is removed.
class VideoExportDialog : public QObject, public VideoExportRunner {
public:
    /// `exportVideo` writes the video, on the worker thread.
    VideoExportDialog(Kalvotune& app, MainWindow& window, video::VideoExporter exportVideo);
    ~VideoExportDialog() override;

    bool Run(video::VideoRequest request) override;

private:
    void Progress(std::uint64_t generation, double share);
    void Finished(std::uint64_t generation, const std::filesystem::path& output, const video::VideoResult& result);
    void Cancel();

    Kalvotune& m_app;
    MainWindow& m_window;
    video::VideoExporter m_export;
    std::jthread m_worker;
    QPointer<QProgressDialog> m_dialog;
    QElapsedTimer m_started;
    QString m_title;
    /// Grows with every video started or cancelled, so a late call from an abandoned one is ignored.
    std::uint64_t m_generation{};
    bool m_busy{};
};

} // namespace kalvotune::app
