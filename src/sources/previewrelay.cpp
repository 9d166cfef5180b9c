#include "sources/previewrelay.h"

#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

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

// Audio handed to a client that does not read is held back beyond this; the
// pending audio then drops its oldest blocks.
constexpr qint64 kMaxInTransit = 256 * 1024;
// A request line longer than this is no player's.
constexpr qsizetype kMaxRequestLine = 2048;

QByteArray randomPath()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QByteArray token;
    for (const quint32 word : words)
        token += QByteArray::number(word, 16).rightJustified(8, '0');
    return '/' + token + QByteArrayLiteral("/streamer.mp3");
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
    , m_path(randomPath())
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

QString PreviewRelay::address() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(kRelayPort) + QString::fromLatin1(m_path);
}

qint64 PreviewRelay::bytesInTransit() const
{
    return m_client->bytesQueued();
}

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
    m_request.clear();
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
        // A client that does not read gets no more; what waits is bounded.
        if (m_client->bytesQueued() > kMaxInTransit)
            return;
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
    if (!listening || !m_player->open(address()) || !m_player->play()) {
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
    // One player at a time: a client while the player streams is turned away
    // (a request left unaccepted is closed), and the stream goes on. A client
    // that has not asked for the stream yet gives way, so that a connection
    // held open by another program never keeps our player out.
    if (m_client->isConnected() && m_clientStreaming)
        return;
    m_request.clear();
    m_client->accept(requestId);
}

void PreviewRelay::onClientData()
{
    const QByteArray data = m_client->receiveAll();
    if (m_clientStreaming)
        return; // the player says nothing more that matters
    m_request += data;
    const qsizetype end = m_request.indexOf('\n');
    if (end < 0 && m_request.size() <= kMaxRequestLine)
        return;
    // Only the request of the player pointed at this relay gets the stream;
    // anything else closes that connection and nothing more.
    QByteArray line = m_request.left(std::min(end, kMaxRequestLine + 1));
    if (line.endsWith('\r'))
        line.chop(1);
    m_request.clear();
    if (end < 0 || end > kMaxRequestLine || !line.startsWith(QByteArray("GET " + m_path + " HTTP/"))) {
        m_client->close();
        return;
    }
    m_client->send("ICY 200 OK");
    m_clientStreaming = true;
    m_playerStarted = false;
}

void PreviewRelay::onClientClosed()
{
    // The player went away: that is no error. Stop sending; the player (or the
    // player restarted by the tick once audio waits again) may connect again.
    m_client->close();
    m_clientStreaming = false;
    m_playerStarted = false;
    m_request.clear();
}

void PreviewRelay::showSocketError(const QString &description)
{
    failListening(description);
}

void PreviewRelay::failListening(const QString &message)
{
    const bool wasListening = listening;
    Q_EMIT messageRequested(message);
    stopListening();
    if (wasListening)
        Q_EMIT listeningFailed();
}
