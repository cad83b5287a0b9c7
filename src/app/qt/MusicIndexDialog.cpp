#include "app/qt/MusicIndexDialog.hpp"

#include "app/Kalvotune.hpp"
#include "app/qt/MainWindow.hpp"

#include <QMetaObject>
#include <QProgressDialog>

#include <memory>

namespace kalvotune::app {

MusicIndexDialog::MusicIndexDialog(Kalvotune& app, MainWindow& window)
    : m_app{app}
    , m_window{window}
{
}

MusicIndexDialog::~MusicIndexDialog()
{
    ++m_generation;
    m_thread.request_stop();
    if (m_thread.joinable())
        m_thread.join();
    delete m_dialog.data();
}

void MusicIndexDialog::Run(std::filesystem::path folder)
{
    if (m_dialog == nullptr) {
        m_dialog = new QProgressDialog(&m_window);
        m_dialog->setWindowTitle(QStringLiteral("Найти перемещённые треки"));
        m_dialog->setCancelButtonText(QStringLiteral("Отмена"));
        // The number of files is unknown until the walk ends: a busy bar.
        m_dialog->setRange(0, 0);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setWindowModality(Qt::WindowModal);
        connect(m_dialog, &QProgressDialog::canceled, this, &MusicIndexDialog::Cancel);
    }
    m_thread.request_stop();
    if (m_thread.joinable())
        m_thread.join();
    m_dialog->setLabelText(QStringLiteral("Ищу музыку в папке %1…").arg(QString::fromStdString(folder.string())));
    m_dialog->show();
    const std::uint64_t generation = ++m_generation;
    m_thread = std::jthread{[this, generation, folder = std::move(folder)](std::stop_token stop) {
        const auto progress = [this, generation](std::size_t files) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, files] {
                    if (generation == m_generation && m_dialog != nullptr)
                        m_dialog->setLabelText(QStringLiteral("Найдено аудиофайлов: %1").arg(files));
                },
                Qt::QueuedConnection);
        };
        auto result = std::make_shared<service::MusicIndexResult>(service::BuildMusicIndex(folder, progress, stop));
        QMetaObject::invokeMethod(
            this, [this, generation, result] { Finished(generation, *result); }, Qt::QueuedConnection);
    }};
}

void MusicIndexDialog::Finished(std::uint64_t generation, const service::MusicIndexResult& result)
{
    if (generation != m_generation)
        return;
    if (m_dialog != nullptr)
        m_dialog->hide();
    m_app.HandleEvent([this, &result] { m_app.trackService().MusicIndexed(result); });
    m_window.Sync();
}

void MusicIndexDialog::Cancel()
{
    ++m_generation;
    m_thread.request_stop();
    if (m_dialog != nullptr)
        m_dialog->hide();
}

} // namespace kalvotune::app
