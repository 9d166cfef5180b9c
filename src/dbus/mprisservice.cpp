#include "dbus/mprisservice.h"

#include <QDBusMessage>

#include "engine/recorder.h"

const QString MprisService::kServiceName = QStringLiteral("org.mpris.MediaPlayer2.vorlane");
const QString MprisService::kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

namespace
{

const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");

} // namespace

MprisService::MprisService(Recorder *recorder, const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_recorder(recorder)
    , m_bus(bus)
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    if (recorder) {
        m_status = recorder->status();
        connect(recorder, &Recorder::statusChanged, this, &MprisService::onStatusChanged);
    }
    m_registered =
        m_bus.isConnected() && m_bus.registerObject(kObjectPath, this) && m_bus.registerService(kServiceName);
}

MprisService::~MprisService()
{
    if (m_registered) {
        m_bus.unregisterService(kServiceName);
        m_bus.unregisterObject(kObjectPath);
    }
}

QString MprisService::playbackStatus() const
{
    if (!m_status.recording)
        return QStringLiteral("Stopped");
    return m_status.paused ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

QVariantMap MprisService::metadata() const
{
    // One track stands for the whole recording; its title is the caption the display shows.
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"),
               QVariant::fromValue(QDBusObjectPath(m_status.recording
                                                       ? QStringLiteral("/org/vorlane/recording")
                                                       : QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"))));
    if (m_status.recording) {
        QByteArray song = m_status.song;
        if (song.endsWith(".mp3"))
            song.chop(4);
        const QString title = song.isEmpty() ? m_status.caption : QString::fromLocal8Bit(song);
        map.insert(QStringLiteral("xesam:title"), title);
        if (!m_status.stationTitle.isEmpty())
            map.insert(QStringLiteral("xesam:album"), m_status.stationTitle);
    }
    return map;
}

bool MprisService::canPause() const
{
    return m_status.recording && !m_status.paused;
}

bool MprisService::canPlay() const
{
    return m_status.recording && m_status.paused;
}

void MprisService::play()
{
    if (m_recorder && canPlay())
        m_recorder->togglePause();
}

void MprisService::pause()
{
    if (m_recorder && canPause())
        m_recorder->togglePause();
}

void MprisService::playPause()
{
    if (m_recorder && m_status.recording)
        m_recorder->togglePause();
}

void MprisService::stop()
{
    if (m_recorder && m_status.recording)
        m_recorder->stopRecording();
}

void MprisService::raise()
{
    if (m_raise)
        m_raise();
}

void MprisService::quit()
{
    if (m_recorder)
        m_recorder->exitFromMenu();
}

void MprisService::onStatusChanged(const RecordingStatus &status)
{
    const QString oldPlayback = playbackStatus();
    const QVariantMap oldMetadata = metadata();
    m_status = status;
    QVariantMap changed;
    if (playbackStatus() != oldPlayback) {
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
        changed.insert(QStringLiteral("CanPlay"), canPlay());
        changed.insert(QStringLiteral("CanPause"), canPause());
    }
    const QVariantMap newMetadata = metadata();
    if (newMetadata != oldMetadata)
        changed.insert(QStringLiteral("Metadata"), newMetadata);
    if (!changed.isEmpty())
        announce(kPlayerInterface, changed);
}

void MprisService::announce(const QString &interface, const QVariantMap &changed)
{
    if (!m_registered)
        return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << interface << changed << QStringList();
    m_bus.send(signal);
}

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , m_service(service)
{}

MprisRootAdaptor::~MprisRootAdaptor() = default;

bool MprisRootAdaptor::canRaise() const
{
    return m_service->canRaise();
}

void MprisRootAdaptor::Raise()
{
    m_service->raise();
}

void MprisRootAdaptor::Quit()
{
    m_service->quit();
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service)
    , m_service(service)
{}

MprisPlayerAdaptor::~MprisPlayerAdaptor() = default;

QString MprisPlayerAdaptor::playbackStatus() const
{
    return m_service->playbackStatus();
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return m_service->metadata();
}

bool MprisPlayerAdaptor::canPlay() const
{
    return m_service->canPlay();
}

bool MprisPlayerAdaptor::canPause() const
{
    return m_service->canPause();
}

void MprisPlayerAdaptor::Play()
{
    m_service->play();
}

void MprisPlayerAdaptor::Pause()
{
    m_service->pause();
}

void MprisPlayerAdaptor::PlayPause()
{
    m_service->playPause();
}

void MprisPlayerAdaptor::Stop()
{
    m_service->stop();
}
