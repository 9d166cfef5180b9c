#include "dbus/songnotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "config/inivalues.h"
#include "engine/recorder.h"

namespace
{

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kSection = QStringLiteral("Desktop");
const QString kKey = QStringLiteral("SongNotifications");
constexpr int kShownMs = 6000;

} // namespace

SongNotifier::SongNotifier(Recorder *recorder, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_bus(bus)
    , m_enabled(enabledInSettings())
{
    if (recorder)
        connect(recorder, &Recorder::songStarted, this, &SongNotifier::notify);
}

SongNotifier::~SongNotifier() = default;

bool SongNotifier::enabledInSettings()
{
    return readIniValue(kSection, kKey, ombrexIniPath()).trimmed() == QStringLiteral("1");
}

void SongNotifier::setEnabled(bool enabled)
{
    m_enabled = enabled;
    writeIniValue(kSection, kKey, enabled ? QStringLiteral("1") : QStringLiteral("0"), ombrexIniPath());
}

QString SongNotifier::songText(const QByteArray &fileName)
{
    QByteArray name = fileName;
    for (const char *extension : {".mp3", ".aac", ".ogg"}) {
        if (name.endsWith(extension)) {
            name.chop(4);
            break;
        }
    }
    // Decoded only to be shown.
    return QString::fromLocal8Bit(name);
}

void SongNotifier::notify(const QByteArray &fileName)
{
    if (!m_enabled || !m_bus.isConnected())
        return;
    const QString station = m_recorder ? m_recorder->status().stationTitle : QString();
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    call << QStringLiteral("Vorlane") << m_lastId
         << QStringLiteral("media-record")
         // The body is markup: a title such as "Tom & Jerry <Live>" must show as sent.
         << (station.isEmpty() ? tr("Now recording") : station) << songText(fileName).toHtmlEscaped() << QStringList()
         << QVariantMap{{QStringLiteral("category"), QStringLiteral("x-vorlane.song")},
                        {QStringLiteral("transient"), true}}
         << kShownMs;
    // Never waits: the answer only tells which notification to replace next time.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        const QDBusPendingReply<quint32> reply = *finished;
        if (reply.isValid())
            m_lastId = reply.value();
        finished->deleteLater();
    });
}
