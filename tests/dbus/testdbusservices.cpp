// The session bus services against a private bus of their own.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <memory>

#include "dbus/mprisservice.h"
#include "dbus/songnotifier.h"
#include "engine/recorder.h"
#include "eventwait.h"
#include "recordertestpeer.h"
#include "recordingfrontend.h"
#include "testdevices.h"

namespace
{

// A private bus for one test: started here, ended here.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        m_process.start(daemon,
                        {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!m_process.waitForStarted(5000))
            return;
        waitUntil([this] { return m_process.canReadLine(); }, 5000);
        address = QString::fromLatin1(m_process.readLine().trimmed());
    }
    ~PrivateBus()
    {
        for (const QString &name : std::as_const(m_names))
            QDBusConnection::disconnectFromBus(name);
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // A new connection to the bus under a name of its own.
    QDBusConnection connect(const QString &name)
    {
        m_names.append(name);
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;

private:
    QProcess m_process;
    QStringList m_names;
};

// Stands in for the desktop's notification server.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString summary;
        QString body;
        quint32 replaces;
    };
    QList<Call> calls;

public Q_SLOTS:
    quint32 Notify(const QString &, quint32 replacesId, const QString &, const QString &summary, const QString &body,
                   const QStringList &, const QVariantMap &, qint32)
    {
        calls.append({summary, body, replacesId});
        return 40 + quint32(calls.size());
    }
};

// Hears the player's property changes as a desktop widget would.
class PropertiesWatcher : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> changes;

public Q_SLOTS:
    void changed(const QString &interface, const QVariantMap &properties, const QStringList &)
    {
        if (interface == QStringLiteral("org.mpris.MediaPlayer2.Player"))
            changes.append(properties);
    }
};

class BusTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (bus.address.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not available";
        desktop = std::make_unique<QDBusConnection>(bus.connect(QStringLiteral("desktop")));
        program = std::make_unique<QDBusConnection>(bus.connect(QStringLiteral("program")));
        ASSERT_TRUE(desktop->isConnected());
        ASSERT_TRUE(program->isConnected());
    }
    // Calls a method from the desktop's side and waits for the answer without blocking the loop.
    QDBusMessage callFromDesktop(const QString &interface, const QString &method, const QVariantList &arguments = {})
    {
        QDBusMessage call =
            QDBusMessage::createMethodCall(MprisService::kServiceName, MprisService::kObjectPath, interface, method);
        call.setArguments(arguments);
        QDBusPendingCall pending = desktop->asyncCall(call);
        waitUntil([&] { return pending.isFinished(); });
        return pending.reply();
    }
    QVariant property(const QString &name)
    {
        const QDBusMessage reply =
            callFromDesktop(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                            {QStringLiteral("org.mpris.MediaPlayer2.Player"), name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    PrivateBus bus;
    std::unique_ptr<QDBusConnection> desktop;
    std::unique_ptr<QDBusConnection> program;
    RecordingFrontEnd ui;
    QNetworkAccessManager network;
    platform::SystemClock clock;
    TestDevices devices;
    Recorder recorder{network, clock, devices.audio, {}};
};

RecordingStatus recordingSong(const QByteArray &song)
{
    RecordingStatus status;
    status.state = RecordingStatus::State::Recording;
    status.recording = true;
    status.song = song;
    status.stationTitle = QStringLiteral("Jazz Radio");
    return status;
}

} // namespace

TEST_F(BusTest, SongNotificationsAreOffUntilChosenAndReplaceEachOther)
{
    NotificationServer server;
    ASSERT_TRUE(desktop->registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                        QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktop->registerService(QStringLiteral("org.freedesktop.Notifications")));

    SongNotifier notifier(&recorder, *program);
    EXPECT_FALSE(notifier.isEnabled());
    Q_EMIT recorder.songStarted("Artist - First.mp3");
    settle(200);
    EXPECT_TRUE(server.calls.isEmpty());

    notifier.setEnabled(true);
    // The choice is kept for the next run.
    EXPECT_TRUE(SongNotifier(&recorder, *program).isEnabled());
    Q_EMIT recorder.songStarted("Artist - First.mp3");
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 1; }));
    EXPECT_EQ(server.calls[0].body, QStringLiteral("Artist - First"));
    EXPECT_EQ(server.calls[0].replaces, 0u);
    ASSERT_TRUE(waitUntil([&] { return notifier.lastNotificationId() == 41; }));
    Q_EMIT recorder.songStarted("Artist - Second.mp3");
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 2; }));
    EXPECT_EQ(server.calls[1].body, QStringLiteral("Artist - Second"));
    EXPECT_EQ(server.calls[1].replaces, 41u);
    // The body is markup; a title is text.
    Q_EMIT recorder.songStarted("Tom & Jerry - <b>Live</b>.aac");
    ASSERT_TRUE(waitUntil([&] { return server.calls.size() == 3; }));
    EXPECT_EQ(server.calls[2].body, QStringLiteral("Tom &amp; Jerry - &lt;b&gt;Live&lt;/b&gt;"));

    notifier.setEnabled(false);
    EXPECT_FALSE(SongNotifier::enabledInSettings());
}

TEST_F(BusTest, MediaPlayerShowsTheRecordingAndPausesAndStopsIt)
{
    MprisService service(&recorder, *program);
    ASSERT_TRUE(service.isRegistered());
    EXPECT_EQ(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
    // Nothing to pause while nothing records.
    callFromDesktop(QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Pause"));
    EXPECT_FALSE(inside(recorder).isPaused());

    PropertiesWatcher watcher;
    ASSERT_TRUE(desktop->connect(QString(), MprisService::kObjectPath,
                                 QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"),
                                 &watcher, SLOT(changed(QString, QVariantMap, QStringList))));

    Q_EMIT recorder.statusChanged(recordingSong("Artist - Song.mp3"));
    EXPECT_EQ(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));
    const QVariantMap metadata = qdbus_cast<QVariantMap>(property(QStringLiteral("Metadata")));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:title")).toString(), QStringLiteral("Artist - Song"));
    EXPECT_EQ(metadata.value(QStringLiteral("xesam:album")).toString(), QStringLiteral("Jazz Radio"));
    EXPECT_TRUE(property(QStringLiteral("CanPause")).toBool());
    // Widgets hear of it without asking.
    ASSERT_TRUE(waitUntil([&] { return !watcher.changes.isEmpty(); }));
    EXPECT_EQ(watcher.changes.last().value(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Playing"));

    callFromDesktop(QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Pause"));
    EXPECT_TRUE(inside(recorder).isPaused());
    // (The recorder here runs no recording of its own; the test says what it shows.)
    RecordingStatus paused = recordingSong("Artist - Song.mp3");
    paused.paused = true;
    Q_EMIT recorder.statusChanged(paused);
    EXPECT_EQ(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Paused"));
    EXPECT_TRUE(property(QStringLiteral("CanPlay")).toBool());
    callFromDesktop(QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("PlayPause"));
    EXPECT_FALSE(inside(recorder).isPaused());
    Q_EMIT recorder.statusChanged(recordingSong("Artist - Song.mp3"));

    // Stop reaches the recorder, whose own status then reads Stopped.
    callFromDesktop(QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Stop"));
    EXPECT_EQ(inside(recorder).trayState().tip, QStringLiteral("Vorlane"));
    EXPECT_EQ(property(QStringLiteral("PlaybackStatus")).toString(), QStringLiteral("Stopped"));
}

#include "testdbusservices.moc"
