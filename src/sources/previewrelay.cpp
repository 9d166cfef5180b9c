#include "sources/previewrelay.h"

#include <QTimer>

#include <algorithm>

#include "platform/frontend.h"
#include "platform/mastervolume.h"
#include "sources/mp3player.h"
#include "sources/socket.h"

namespace
{

constexpr int kTickMs = 100;
constexpr quint16 kRelayPort = 29174;
constexpr qsizetype kStartThreshold = 4000;
// Audio kept while no player takes it: about two minutes at 128 kb/s. Without
// a bound an unanswered relay would grow by some 60 MB an hour.
constexpr qsizetype kMaxPending = 2 * 1024 * 1024;
// Our player's balance argument: centred.
constexpr qint16 kBalanceCentre = 50;

QString relayAddress()
{
    return QStringLiteral("http://127.0.0.1:29174/streamer.mp3");
}

qint16 toShort(qint32 value)
{
    return static_cast<qint16>(std::clamp<qint32>(value, -32768, 32767));
}

} // namespace

PreviewRelay::PreviewRelay(QObject *parent)
    : QObject(parent)
    , m_listener(new Socket(this))
    , m_client(new Socket(this))
    , m_sendTimer(new QTimer(this))
    , m_player(new Mp3Player(this))
{
    m_sendTimer->setInterval(kTickMs);
    connect(m_sendTimer, &QTimer::timeout, this, &PreviewRelay::sendPending);
    connect(m_listener, &Socket::connectionRequested, this, &PreviewRelay::onConnectionRequested);
    connect(m_listener, &Socket::failed, this,
            [this](qint32, const QString &description) { showSocketError(description); });
    connect(m_client, &Socket::dataArrived, this, &PreviewRelay::onClientData);
    connect(m_client, &Socket::peerClosed, this, &PreviewRelay::onClientClosed);
    connect(m_client, &Socket::failed, this,
            [this](qint32, const QString &description) { showSocketError(description); });
    // A sound output that gives out while playing ends listening; other
    // failures end only this connection, and the tick points the player again.
    connect(m_player, &Mp3Player::failed, this, [this] {
        if (listening && m_player->soundOutputFailed())
            failListening(QStringLiteral("No sound output is available: ") + m_player->errorString());
    });
    // The player starts at the volume appliedVolume says it has.
    m_player->setVolume(kBalanceCentre, -1, toShort(appliedVolume));
}

PreviewRelay::~PreviewRelay() = default;

void PreviewRelay::pushAudio(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    m_pending.append(data);
    m_pendingBytes += data.size();
    while (m_pendingBytes > kMaxPending && m_pending.size() > 1)
        m_pendingBytes -= m_pending.takeFirst().size();
}

void PreviewRelay::startListening()
{
    listening = true;
    if (!m_sendTimer->isActive())
        m_sendTimer->start();
}

void PreviewRelay::stopListening()
{
    m_listener->close();
    m_client->close();
    m_player->stop();
    m_player->close();
    m_sendTimer->stop();
    listening = false;
    m_clientStreaming = false;
    m_playerStarted = false;
    m_pending.clear();
    m_pendingBytes = 0;
}

void PreviewRelay::setVolume(qint32 m_volume)
{
    const qint32 master = masterVolume();
    m_player->setVolume(kBalanceCentre, toShort(master), toShort(m_volume));
    appliedVolume = m_volume;
}

void PreviewRelay::sendPending()
{
    if (!listening)
        return;
    if (m_clientStreaming) {
        if (!m_client->isConnected()) {
            onClientClosed();
            return;
        }
        QByteArray chunk;
        chunk.reserve(m_pendingBytes);
        for (const QByteArray &block : std::as_const(m_pending))
            chunk += block;
        m_pending.clear();
        m_pendingBytes = 0;
        if (!chunk.isEmpty())
            m_client->send(chunk);
        return;
    }
    if (m_pendingBytes > kStartThreshold && !m_playerStarted)
        startRelay();
}

void PreviewRelay::startRelay()
{
    m_playerStarted = true;
    m_sendTimer->start();
    // After a dropped player the listener is still up; the player is simply pointed at it again.
    const bool listening = m_listener->state() == Socket::State::Listening ||
                           m_listener->listen(kRelayPort, Socket::ListenScope::LoopbackOnly);
    if (!listening || !m_player->open(relayAddress()) || !m_player->play()) {
        // A missing sound device is no second instance: say what is wrong.
        if (listening && m_player->soundOutputFailed())
            failListening(QStringLiteral("No sound output is available: ") + m_player->errorString());
        else
            failListening(QStringLiteral("You cannot listen on more than one instance of the Ombrex!"));
    }
}

void PreviewRelay::onConnectionRequested(qint32 requestId)
{
    if (m_listener->peerAddress() != "127.0.0.1")
        return;
    // One player at a time: a second client while the first is connected is
    // turned away (a request left unaccepted is closed), and the stream to the first goes on.
    if (m_client->isConnected())
        return;
    m_client->accept(requestId);
}

void PreviewRelay::onClientData()
{
    const QByteArray request = m_client->receiveAll();
    if (request.contains("GET /streamer.mp3")) {
        m_client->send("ICY 200 OK");
        m_clientStreaming = true;
        m_playerStarted = false;
        return;
    }
    failListening(QStringLiteral("Invalid request!"));
}

void PreviewRelay::onClientClosed()
{
    // The player went away: that is no error. Stop sending; the player (or the
    // player restarted by the tick once audio waits again) may connect again.
    m_client->close();
    m_clientStreaming = false;
    m_playerStarted = false;
}

void PreviewRelay::showSocketError(const QString &description)
{
    failListening(description);
}

void PreviewRelay::failListening(const QString &message)
{
    const bool wasListening = listening;
    platform::frontEnd().showMessage(message);
    stopListening();
    if (wasListening)
        Q_EMIT listeningFailed();
}
