#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

#include <functional>

#include "engine/recordingstatus.h"

class Recorder;

// The recorder as a media player on the session bus (MPRIS), so that media
// keys and desktop widgets can pause, resume and stop the recording and show
// the current title. Recording reads as Playing, a pause as Paused, no
// recording as Stopped. Nothing here blocks: property changes go out as
// signals, and calls act through the recorder's commands.
class MprisService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MprisService)

public:
    static const QString kServiceName;
    static const QString kObjectPath;

    MprisService(Recorder *recorder, const QDBusConnection &bus, QObject *parent = nullptr);
    ~MprisService() override;

    // False when the bus refused the name or the object (another copy runs, or no bus).
    bool isRegistered() const { return m_registered; }
    // What Raise does (shows the display); without it the service cannot raise.
    void setRaiseHandler(std::function<void()> raise) { m_raise = std::move(raise); }

    // Player state, as the adaptors report it.
    QString playbackStatus() const;
    QVariantMap metadata() const;
    bool canPause() const;
    bool canPlay() const;
    bool canRaise() const { return static_cast<bool>(m_raise); }

    void play();
    void pause();
    void playPause();
    void stop();
    void raise();
    void quit();

private:
    void onStatusChanged(const RecordingStatus &status);
    void announce(const QString &interface, const QVariantMap &changed);

    QPointer<Recorder> m_recorder;
    QDBusConnection m_bus;
    RecordingStatus m_status;
    std::function<void()> m_raise;
    bool m_registered = false;
};

// org.mpris.MediaPlayer2: the application as a whole.
class MprisRootAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    explicit MprisRootAdaptor(MprisService *service);
    ~MprisRootAdaptor() override;

    bool canQuit() const { return true; }
    bool canRaise() const;
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Vorlane"); }
    QString desktopEntry() const { return QStringLiteral("vorlane"); }
    QStringList supportedUriSchemes() const { return {}; }
    QStringList supportedMimeTypes() const { return {}; }

public Q_SLOTS:
    void Raise();
    void Quit();

private:
    MprisService *m_service;
};

// org.mpris.MediaPlayer2.Player: the recording as something that plays.
class MprisPlayerAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Rate READ rate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ no)
    Q_PROPERTY(bool CanGoPrevious READ no)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ no)
    Q_PROPERTY(bool CanControl READ yes)

public:
    explicit MprisPlayerAdaptor(MprisService *service);
    ~MprisPlayerAdaptor() override;

    QString playbackStatus() const;
    QVariantMap metadata() const;
    double rate() const { return 1.0; }
    qlonglong position() const { return 0; }
    bool no() const { return false; }
    bool yes() const { return true; }
    bool canPlay() const;
    bool canPause() const;

public Q_SLOTS:
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next() {}
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath &, qlonglong) {}
    void OpenUri(const QString &) {}

private:
    MprisService *m_service;
};
