#include "app/qt/Mpris.hpp"

#include "app/qt/MainWindow.hpp"
#include "app/qt/WhenIdle.hpp"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStandardPaths>
#include <QUrl>

namespace kalvotune::app {

namespace {

constexpr const char* kService{"org.mpris.MediaPlayer2.kalvotune"};
constexpr const char* kObject{"/org/mpris/MediaPlayer2"};
constexpr const char* kPlayerInterface{"org.mpris.MediaPlayer2.Player"};
/// How often the model is compared with what the bus was last told.
constexpr int kPollMs{250};

} // namespace

Mpris::Mpris(MediaControls& controls, MprisHooks hooks, const Surface& picture)
    : m_controls{controls}
    , m_hooks{std::move(hooks)}
    , m_picture{picture}
    , m_state{controls.State()}
{
    new MprisRoot{this};
    new MprisPlayer{this};
    // The runtime folder is private to the user and emptied at log-out.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty() || !QFileInfo{folder}.isDir())
        folder = QDir::tempPath();
    for (int i = 0; i < 2; ++i)
        m_artFiles[i] = QDir{folder}.filePath(
            QStringLiteral("kalvotune-%1-picture-%2.png").arg(QCoreApplication::applicationPid()).arg(i));
    if (!m_state.track.empty())
        WriteArt();
}

Mpris::~Mpris()
{
    for (const QString& file : m_artFiles)
        QFile::remove(file);
}

void Mpris::WriteArt()
{
    const QImage image{
        m_picture.bytes.data(), Surface::kWidth, Surface::kHeight, Surface::kStride, QImage::Format_BGR888};
    m_artIndex = 1 - m_artIndex;
    const QString& file = m_artFiles[m_artIndex];
    // Fast compression: this runs at every picture change on the window's thread.
    m_artUrl = image.save(file, "PNG", 90) ? QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded) : QString{};
}

QString Mpris::TrackId() const
{
    return m_state.track.empty() ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                                 : QStringLiteral("/org/kalvotune/track/%1").arg(m_state.trackNumber);
}

bool Mpris::Register()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(QString::fromLatin1(kObject), this, QDBusConnection::ExportAdaptors))
        return false;
    if (!bus.registerService(QString::fromLatin1(kService))) {
        bus.unregisterObject(QString::fromLatin1(kObject));
        return false;
    }
    connect(&m_poll, &QTimer::timeout, this, &Mpris::Announce);
    m_poll.start(kPollMs);
    return true;
}

QVariantMap Mpris::Metadata() const
{
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath{TrackId()}));
    if (!m_state.track.empty()) {
        metadata.insert(QStringLiteral("xesam:title"), QString::fromStdString(m_state.title));
        metadata.insert(QStringLiteral("xesam:url"),
            QUrl::fromLocalFile(QString::fromStdString(m_state.track.string())).toString(QUrl::FullyEncoded));
        metadata.insert(QStringLiteral("mpris:length"), QVariant::fromValue(static_cast<qlonglong>(m_state.lengthUs)));
        if (!m_artUrl.isEmpty())
            metadata.insert(QStringLiteral("mpris:artUrl"), m_artUrl);
    }
    return metadata;
}

void Mpris::Raise()
{
    MainWindow& window = m_hooks.window;
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

void Mpris::Quit()
{
    // The window's own close: the close handler runs and writes the settings.
    RunWhenIdle(&m_hooks.window, [this] { m_hooks.window.close(); });
}

void Mpris::OpenUri(const QString& uri)
{
    const QUrl url{uri};
    if (!url.isLocalFile())
        return;
    Run([this, url] { m_hooks.open({url.toLocalFile().toStdString()}); });
}

void Mpris::SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs)
{
    // A call meant for a track that has meanwhile ended is ignored.
    if (trackId.path() != TrackId())
        return;
    Run([this, positionUs] { m_controls.SetPosition(positionUs); });
}

void Mpris::Run(const std::function<void()>& command)
{
    // A bus call answers at once; the handler, which may show a message box, runs after,
    // in the window's error net like every window event.
    RunWhenIdle(this, [this, command] {
        m_hooks.window.Run(command);
        Announce();
    });
}

void Mpris::Announce()
{
    const MediaState previous = m_state;
    m_state = m_controls.State();
    if (m_state == previous)
        return;
    QVariantMap changed;
    if (m_state.status != previous.status)
        changed.insert(QStringLiteral("PlaybackStatus"), Status());
    const bool newPicture = !m_state.track.empty()
        && (m_state.pictureNumber != previous.pictureNumber || m_state.trackNumber != previous.trackNumber);
    if (newPicture)
        WriteArt();
    if (newPicture || m_state.track != previous.track || m_state.trackNumber != previous.trackNumber
        || m_state.title != previous.title || m_state.lengthUs != previous.lengthUs)
        changed.insert(QStringLiteral("Metadata"), Metadata());
    if (m_state.canPlay != previous.canPlay)
        changed.insert(QStringLiteral("CanPlay"), m_state.canPlay);
    if (m_state.canPause != previous.canPause)
        changed.insert(QStringLiteral("CanPause"), m_state.canPause);
    if (m_state.canGoNext != previous.canGoNext)
        changed.insert(QStringLiteral("CanGoNext"), m_state.canGoNext);
    if (m_state.canSeek != previous.canSeek) {
        changed.insert(QStringLiteral("CanSeek"), m_state.canSeek);
        changed.insert(QStringLiteral("CanGoPrevious"), m_state.canSeek);
    }
    if (m_state.seekNumber != previous.seekNumber) {
        QDBusMessage seeked = QDBusMessage::createSignal(
            QString::fromLatin1(kObject), QString::fromLatin1(kPlayerInterface), QStringLiteral("Seeked"));
        seeked << static_cast<qlonglong>(m_controls.PositionUs());
        QDBusConnection::sessionBus().send(seeked);
    }
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObject),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList{};
    QDBusConnection::sessionBus().send(signal);
}

MprisRoot::MprisRoot(Mpris* mpris)
    : QDBusAbstractAdaptor{mpris}
    , m_mpris{mpris}
{
}

QStringList MprisRoot::SupportedMimeTypes() const
{
    return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/x-wav"), QStringLiteral("audio/x-ms-wma"),
        QStringLiteral("audio/x-mpegurl")};
}

void MprisRoot::Raise()
{
    m_mpris->Raise();
}

void MprisRoot::Quit()
{
    m_mpris->Quit();
}

MprisPlayer::MprisPlayer(Mpris* mpris)
    : QDBusAbstractAdaptor{mpris}
    , m_mpris{mpris}
{
}

void MprisPlayer::Play()
{
    m_mpris->Run([this] { m_mpris->Controls().Play(); });
}

void MprisPlayer::Pause()
{
    m_mpris->Run([this] { m_mpris->Controls().Pause(); });
}

void MprisPlayer::PlayPause()
{
    m_mpris->Run([this] { m_mpris->Controls().PlayPause(); });
}

void MprisPlayer::Stop()
{
    m_mpris->Run([this] { m_mpris->Controls().Stop(); });
}

void MprisPlayer::Next()
{
    m_mpris->Run([this] { m_mpris->Controls().Next(); });
}

void MprisPlayer::Previous()
{
    m_mpris->Run([this] { m_mpris->Controls().Previous(); });
}

void MprisPlayer::Seek(qlonglong offsetUs)
{
    m_mpris->Run([this, offsetUs] { m_mpris->Controls().Seek(offsetUs); });
}

void MprisPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs)
{
    m_mpris->SetPosition(trackId, positionUs);
}

void MprisPlayer::OpenUri(const QString& uri)
{
    m_mpris->OpenUri(uri);
}

} // namespace kalvotune::app
