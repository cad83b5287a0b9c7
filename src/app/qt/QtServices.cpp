#include "app/qt/QtServices.hpp"

#include "core/Form.hpp"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateTime>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>

namespace kalvotune::app {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QString Title()
{
    return QString::fromUtf8(kApplicationTitle);
}

} // namespace

void QtDialogs::ShowMessage(const std::string& text)
{
    QMessageBox::information(m_parent, Title(), Q(text), QMessageBox::Ok);
}

void QtDialogs::ShowError(const std::string& text)
{
    QMessageBox::critical(m_parent, Title(), Q(text), QMessageBox::Ok);
}

bool QtDialogs::AskYesNo(const std::string& text, const std::string& caption)
{
    return QMessageBox::question(m_parent, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> QtDialogs::InputBox(
    const std::string& caption, const std::string& prompt, const std::string& value)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, Q(caption), Q(prompt), QLineEdit::Normal, Q(value), &ok);
    if (!ok)
        return std::nullopt;
    return text.toStdString();
}

std::vector<std::filesystem::path> QtDialogs::OpenAudioFiles(const std::filesystem::path& initialFolder)
{
    const QStringList files
        = QFileDialog::getOpenFileNames(m_parent, QString{}, QString::fromStdString(initialFolder.string()),
            QStringLiteral("Audio Files (*.wma, *.mp3, *.wav) (*.wma *.WMA *.mp3 *.MP3 "
                           "*.wav *.WAV *.Wma *.Mp3 *.Wav)"));
    std::vector<std::filesystem::path> paths;
    for (const QString& f : files)
        paths.emplace_back(f.toStdString());
    return paths;
}

std::optional<std::filesystem::path> QtDialogs::ChooseFolder(const std::string& title)
{
    const QString folder = QFileDialog::getExistingDirectory(m_parent, Q(title));
    if (folder.isEmpty())
        return std::nullopt;
    return std::filesystem::path{folder.toStdString()};
}

std::int64_t SystemClock::UnixSeconds() const
{
    return QDateTime::currentSecsSinceEpoch();
}

LocalDateTime SystemClock::Now() const
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

int QtScreen::Width() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->size().width() : 0;
}

int QtScreen::Height() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->size().height() : 0;
}

int QtScreen::PhysicalWidth() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? qRound(screen->size().width() * screen->devicePixelRatio()) : 0;
}

void QtScreen::SetCursorPos(int x, int y)
{
    QCursor::setPos(x, y);
}

void DBusUserActivity::Poke()
{
    static const QString service = QStringLiteral("org.freedesktop.ScreenSaver");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr || !bus.interface()->isServiceRegistered(service))
        return;
    bus.asyncCall(QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/freedesktop/ScreenSaver"), service, QStringLiteral("SimulateUserActivity")));
}

} // namespace kalvotune::app
