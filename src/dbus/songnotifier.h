#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

class Recorder;

// A desktop notification (org.freedesktop.Notifications) each time a new song
// file starts. Off unless the user turned it on; the choice is kept in
// ombrex.ini. Each notification replaces the previous one, so a station that
// changes titles quickly leaves one bubble, not a pile.
class SongNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SongNotifier)

public:
    SongNotifier(Recorder *recorder, const QDBusConnection &bus, QObject *parent = nullptr);
    ~SongNotifier() override;

    bool isEnabled() const { return m_enabled; }
    // Turns notifications on or off and keeps the choice.
    void setEnabled(bool enabled);

    static bool enabledInSettings();
    // The id the notification server gave the last notification (0: none yet).
    quint32 lastNotificationId() const { return m_lastId; }

    // The text a notification shows for a song file name (bytes as the station sent them).
    static QString songText(const QByteArray &fileName);

private:
    void notify(const QByteArray &fileName);

    QPointer<Recorder> m_recorder;
    QDBusConnection m_bus;
    bool m_enabled;
    quint32 m_lastId = 0;
};
