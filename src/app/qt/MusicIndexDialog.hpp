#pragma once

#include "service/TrackService.hpp"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <filesystem>
#include <thread>

class QProgressDialog;

namespace kalvotune::app {

class Kalvotune;
class MainWindow;

/// Builds the index of "Найти перемещённые треки…" on a worker thread behind a progress
/// dialog (files found so far, Cancel) and hands it to `TrackService::MusicIndexed` on
/// the window's thread. The dialog is modal to the window, so no list command runs while
/// the folder is walked; the music plays on. Cancel stops the walk and changes nothing.
class MusicIndexDialog : public QObject, public service::MusicIndexRunner {
public:
    MusicIndexDialog(Kalvotune& app, MainWindow& window);
    ~MusicIndexDialog() override;

    void Run(std::filesystem::path folder) override;

private:
    void Finished(std::uint64_t generation, const service::MusicIndexResult& result);
    void Cancel();

    Kalvotune& m_app;
    MainWindow& m_window;
    std::jthread m_thread;
    QPointer<QProgressDialog> m_dialog;
    /// Grows with every walk started or cancelled, so a late call from an abandoned one is ignored.
    std::uint64_t m_generation{};
};

} // namespace kalvotune::app
