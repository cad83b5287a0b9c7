#include "app/qt/VideoExportDialog.hpp"

#include "app/Kalvotune.hpp"
#include "app/qt/MainWindow.hpp"
#include "playlists/ListLine.hpp"

#include <QMetaObject>
#include <QProgressDialog>

#include <memory>

namespace kalvotune::app {

VideoExportDialog::VideoExportDialog(Kalvotune& app, MainWindow& window, video::VideoExporter exportVideo)
    : m_app{app}
    , m_window{window}
    , m_export{std::move(exportVideo)}
{
}

VideoExportDialog::~VideoExportDialog()
{
    ++m_generation;
    m_worker.request_stop();
    if (m_worker.joinable())
        m_worker.join();
    delete m_dialog.data();
}

bool VideoExportDialog::Run(video::VideoRequest request)
{
    if (m_busy)
        return false;
    if (m_dialog == nullptr) {
        m_dialog = new QProgressDialog(&m_window);
        m_dialog->setWindowTitle(QStringLiteral("Сохранить видео…"));
        m_dialog->setAccessibleName(QStringLiteral("Сохранить видео"));
        m_dialog->setCancelButtonText(QStringLiteral("Отмена"));
        m_dialog->setRange(0, 1000);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setWindowModality(Qt::NonModal);
        connect(m_dialog, &QProgressDialog::canceled, this, &VideoExportDialog::Cancel);
    }
    m_busy = true;
    m_title = QString::fromStdString(playlists::TrackTitleOf(request.track.string()));
    m_dialog->setLabelText(QStringLiteral("Видео: %1\nОсталось: считаю…").arg(m_title));
    m_dialog->setValue(0);
    m_dialog->show();
    m_started.start();
    const std::uint64_t generation = ++m_generation;
    if (m_worker.joinable())
        m_worker.join();
    m_worker = std::jthread{[this, generation, request = std::move(request)](std::stop_token stop) {
        video::VideoResult result = m_export(request, stop, [this, generation](double share) {
            QMetaObject::invokeMethod(
                this, [this, generation, share] { Progress(generation, share); }, Qt::QueuedConnection);
        });
        auto shared = std::make_shared<video::VideoResult>(std::move(result));
        const std::filesystem::path output = request.output;
        QMetaObject::invokeMethod(
            this, [this, generation, output, shared] { Finished(generation, output, *shared); }, Qt::QueuedConnection);
    }};
    return true;
}

void VideoExportDialog::Progress(std::uint64_t generation, double share)
{
    if (generation != m_generation || m_dialog == nullptr || share <= 0)
        return;
    m_dialog->setValue(static_cast<int>(share * 1000));
    const auto left = static_cast<qint64>(static_cast<double>(m_started.elapsed()) * (1 - share) / share / 1000);
    m_dialog->setLabelText(QStringLiteral("Видео: %1\nОсталось: %2:%3")
                               .arg(m_title)
                               .arg(left / 60)
                               .arg(left % 60, 2, 10, QLatin1Char('0')));
}

void VideoExportDialog::Finished(
    std::uint64_t generation, const std::filesystem::path& output, const video::VideoResult& result)
{
    if (generation != m_generation)
        return;
    m_busy = false;
    if (m_dialog != nullptr)
        m_dialog->hide();
    m_app.HandleEvent([&] { m_app.saveVideo().Finished(output, result); });
    m_window.Sync();
}

void VideoExportDialog::Cancel()
{
    ++m_generation;
    m_worker.request_stop();
    m_busy = false;
    if (m_dialog != nullptr)
        m_dialog->hide();
}

} // namespace kalvotune::app
