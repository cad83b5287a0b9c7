#pragma once

#include "analysis/AnalysisWorker.hpp"
#include "template_commands/MusicTemplates.hpp"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <vector>

class QProgressDialog;

namespace kalvotune::app {

class Kalvotune;
class MainWindow;

/// Runs "Создать ЦМШ по музыке" behind a progress dialog (track n of m, percent, the
/// time left at the pace so far, Cancel): one track at a time on an `AnalysisWorker`,
/// each result handed back on the window's thread to `MusicTemplates::Analysed`, which
/// writes the files. The dialog is not modal, so the window stays usable and the music
/// plays on. Cancel abandons the track under analysis (nothing is written for it) and the
/// ones after it. Background jobs run without the dialog and fail silently.
class MusicAnalysisDialog : public QObject, public template_commands::MusicAnalysisRunner {
public:
    /// `analyse` runs on the worker's thread.
    MusicAnalysisDialog(Kalvotune& app, MainWindow& window, analysis::Analyser analyse);
    ~MusicAnalysisDialog() override;

    /// Queues `jobs` behind any batch that is running.
    void Run(std::vector<template_commands::MusicTemplateJob> jobs, int pictureChangeTicks) override;

private:
    void StartNext();
    void Finished(std::uint64_t generation, const analysis::AnalysisResult& result);
    void Cancel();
    void UpdateLabel();

    Kalvotune& m_app;
    MainWindow& m_window;
    analysis::AnalysisWorker m_worker;
    QPointer<QProgressDialog> m_dialog;
    std::vector<template_commands::MusicTemplateJob> m_jobs;
    std::size_t m_next{};
    int m_pictureChangeTicks{20};
    /// Since the batch began, and the share of the track in work: the time left.
    QElapsedTimer m_elapsed;
    double m_share{};
    /// Grows with every track started, so a late call from an abandoned one is ignored.
    std::uint64_t m_generation{};
    bool m_busy{};
};

} // namespace kalvotune::app
