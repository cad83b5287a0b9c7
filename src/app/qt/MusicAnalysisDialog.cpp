#include "app/qt/MusicAnalysisDialog.hpp"

#include "app/Kalvotune.hpp"
#include "app/qt/MainWindow.hpp"
#include "cli/BatchProgress.hpp"
#include "playlists/ListLine.hpp"

#include <QMetaObject>
#include <QProgressDialog>

#include <memory>

namespace kalvotune::app {

MusicAnalysisDialog::MusicAnalysisDialog(Kalvotune& app, MainWindow& window, analysis::Analyser analyse)
    : m_app{app}
    , m_window{window}
    , m_worker{std::move(analyse)}
{
}

MusicAnalysisDialog::~MusicAnalysisDialog()
{
    ++m_generation;
    m_worker.RequestStop();
    delete m_dialog.data();
}

void MusicAnalysisDialog::Run(std::vector<template_commands::MusicTemplateJob> jobs, int pictureChangeTicks)
{
    m_pictureChangeTicks = pictureChangeTicks;
    if (!m_busy)
        m_elapsed.start();
    m_jobs.insert(m_jobs.end(), jobs.begin(), jobs.end());
    if (m_dialog == nullptr) {
        m_dialog = new QProgressDialog(&m_window);
        m_dialog->setWindowTitle(QStringLiteral("Создать ЦМШ по музыке"));
        m_dialog->setCancelButtonText(QStringLiteral("Отмена"));
        m_dialog->setRange(0, 100);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setWindowModality(Qt::NonModal);
        connect(m_dialog, &QProgressDialog::canceled, this, &MusicAnalysisDialog::Cancel);
    }
    if (!m_busy)
        StartNext();
}

void MusicAnalysisDialog::UpdateLabel()
{
    if (m_dialog == nullptr || m_next >= m_jobs.size())
        return;
    const std::string title = playlists::TrackTitleOf(m_jobs[m_next].track);
    QString text
        = QStringLiteral("Трек %1 из %2: %3").arg(m_next + 1).arg(m_jobs.size()).arg(QString::fromStdString(title));
    // The pace so far, tracks and the share of the one in work together, gives the rest.
    const std::string left = cli::TimeLeftText(static_cast<double>(m_next) + m_share,
        static_cast<double>(m_jobs.size()), static_cast<double>(m_elapsed.elapsed()) / 1000.0);
    if (!left.empty())
        text += QStringLiteral("\n(%1)").arg(QString::fromStdString(left));
    m_dialog->setLabelText(text);
}

void MusicAnalysisDialog::StartNext()
{
    if (m_next >= m_jobs.size()) {
        m_busy = false;
        m_jobs.clear();
        m_next = 0;
        if (m_dialog != nullptr)
            m_dialog->hide();
        return;
    }
    m_busy = true;
    m_share = 0;
    UpdateLabel();
    if (m_dialog != nullptr) {
        m_dialog->setValue(0);
        // A track analysed on its own while it plays shows no dialog.
        m_dialog->setVisible(!m_jobs[m_next].background);
    }
    const std::uint64_t generation = ++m_generation;
    m_worker.Start(
        m_jobs[m_next].track, m_pictureChangeTicks,
        [this, generation](double share) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, share] {
                    if (generation != m_generation || m_dialog == nullptr)
                        return;
                    m_share = share;
                    m_dialog->setValue(static_cast<int>(share * 100));
                    UpdateLabel();
                },
                Qt::QueuedConnection);
        },
        [this, generation](analysis::AnalysisResult result) {
            auto shared = std::make_shared<analysis::AnalysisResult>(std::move(result));
            QMetaObject::invokeMethod(
                this, [this, generation, shared] { Finished(generation, *shared); }, Qt::QueuedConnection);
        });
}

void MusicAnalysisDialog::Finished(std::uint64_t generation, const analysis::AnalysisResult& result)
{
    if (generation != m_generation)
        return;
    const template_commands::MusicTemplateJob job = m_jobs[m_next];
    ++m_next;
    if (result.ok)
        m_app.musicTemplates().Analysed(job, result.plan.channels);
    else if (!result.cancelled && !job.background)
        m_app.musicTemplates().AnalysisFailed(result.message);
    m_window.Sync();
    StartNext();
}

void MusicAnalysisDialog::Cancel()
{
    ++m_generation;
    m_worker.RequestStop();
    m_jobs.clear();
    m_next = 0;
    m_busy = false;
    if (m_dialog != nullptr)
        m_dialog->hide();
}

} // namespace kalvotune::app
