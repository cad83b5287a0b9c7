#pragma once

#include "app/MediaControls.hpp"
#include "core/Surface.hpp"
#include "core/Version.hpp"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <filesystem>
#include <functional>
#include <vector>

namespace kalvotune::app {

class MainWindow;

/// What the D-Bus side needs of the running window.
struct MprisHooks {
    MainWindow& window;
    /// Opens files as handed over from outside (`ExternalFiles::OpenFiles`).
    std::function<void(const std::vector<std::filesystem::path>&)> open;
};

/// The player on the session bus as `org.mpris.MediaPlayer2.kalvotune`: the desktop's media
/// controls and the keyboard's media keys drive it through `MediaControls`, and every
/// change of what they show is announced with `PropertiesChanged`, every jump in the
/// track with `Seeked`. The track's art is the kaleidoscope's picture, written as a PNG
/// into the runtime folder at every picture change.
class Mpris : public QObject {
    Q_OBJECT
public:
    Mpris(MediaControls& controls, MprisHooks hooks, const Surface& picture);
    /// Removes the picture files.
    ~Mpris() override;

    /// Registers on the session bus; false, silently, when there is none or the name is
    /// taken.
    bool Register();

    // Used by the two interfaces.
    MediaControls& Controls() { return m_controls; }
    QVariantMap Metadata() const;
    QString Status() const { return QString::fromStdString(m_state.status); }
    const MediaState& State() const { return m_state; }
    void Raise();
    void Quit();
    void OpenUri(const QString& uri);
    /// `SetPosition`: jumps only when `trackId` names the open track.
    void SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs);
    /// Runs a command like a window event (an error it raises is shown and the program
    /// goes on), mirrors the model in the window and announces what changed.
    void Run(const std::function<void()>& command);

private:
    /// Compares the model with what was last announced and announces the difference.
    void Announce();
    QString TrackId() const;
    /// Writes the picture into the other of the two art files and points the art there:
    /// a new name makes the desktop read the picture again.
    void WriteArt();

    MediaControls& m_controls;
    MprisHooks m_hooks;
    const Surface& m_picture;
    MediaState m_state;
    QTimer m_poll;
    QString m_artFiles[2];
    int m_artIndex{};
    QString m_artUrl;
};

/// `org.mpris.MediaPlayer2`.
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRoot(Mpris* mpris);
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Kalvotune"); }
    QString DesktopEntry() const { return QString::fromUtf8(kDesktopId); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const;

public slots:
    void Raise();
    void Quit();

private:
    Mpris* m_mpris;
};

/// `org.mpris.MediaPlayer2.Player`.
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayer(Mpris* mpris);
    QString PlaybackStatus() const { return m_mpris->Status(); }
    double Rate() const { return 1.0; }
    QVariantMap Metadata() const { return m_mpris->Metadata(); }
    double Volume() const { return 1.0; }
    qlonglong Position() const { return m_mpris->Controls().PositionUs(); }
    bool CanGoNext() const { return m_mpris->State().canGoNext; }
    bool CanGoPrevious() const { return m_mpris->State().canSeek; }
    bool CanPlay() const { return m_mpris->State().canPlay; }
    bool CanPause() const { return m_mpris->State().canPause; }
    bool CanSeek() const { return m_mpris->State().canSeek; }
    bool CanControl() const { return true; }

public slots:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qlonglong offsetUs);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs);
    void OpenUri(const QString& uri);

private:
    Mpris* m_mpris;
};

} // namespace kalvotune::app
