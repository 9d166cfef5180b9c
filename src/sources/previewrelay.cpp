#include "sources/previewrelay.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

#include "platform/mastervolume.h"
#include "sources/mp3player.h"
#include "sources/socket.h"

namespace
{

constexpr int kTickMs = 100;
constexpr qsizetype kStartThreshold = 4000;
// Audio kept while no external player takes it: about two minutes at 128 kb/s.
// Without a bound an unanswered relay would grow by some 60 MB an hour.
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

PreviewRelay::PreviewRelay(const platform::AudioDevices &audio, QObject *parent)
    : QObject(parent)
    , m_mixer(audio.mixer)
    , m_listener(new Socket(this))
    , m_client(new Socket(this))
    , m_sendTimer(new QTimer(this))
    , m_player(new Mp3Player(audio.makeOutput, this))
    , m_path(randomPath())
{
    m_sendTimer->setInterval(kTickMs);
    connect(m_sendTimer, &QTimer::timeout, this, &PreviewRelay::sendPending);
    connect(m_listener, &Socket::connectionRequested, this, &PreviewRelay::onConnectionRequested);
    connect(m_listener, &Socket::failed, this,
            [this](qint32, const QString &description) { failListening(description); });
    connect(m_client, &Socket::dataArrived, this, &PreviewRelay::onClientData);
    connect(m_client, &Socket::peerClosed, this, &PreviewRelay::onClientClosed);
    connect(m_client, &Socket::failed, this,
            [this](qint32, const QString &description) { failListening(description); });
    // A sound output that gives out while playing ends listening; after other
    // failures the next block starts the player afresh.
    connect(m_player, &Mp3Player::failed, this, [this] {
        if (listening && m_player->soundOutputFailed())
            failListening(QStringLiteral("No sound output is available: ") + m_player->errorString());
    });
    // The player starts at the volume appliedVolume says it has.
    m_player->setVolume(kBalanceCentre, -1, toShort(appliedVolume));
}

PreviewRelay::~PreviewRelay() = default;

void PreviewRelay::setExternalPlayer(const QString &program)
{
    m_externalPlayer = program;
}

QString PreviewRelay::address() const
{
    if (m_listener->state() != Socket::State::Listening)
        return QString();
    return QStringLiteral("http://127.0.0.1:%1").arg(m_listener->localPort()) + QString::fromLatin1(m_path);
}

qint64 PreviewRelay::bytesInTransit() const
{
    return m_client->bytesQueued();
}

void PreviewRelay::pushAudio(const QByteArray &data)
{
    if (data.isEmpty() || !listening)
        return;
    if (m_activePlayer.isEmpty()) {
        playEmbedded(data);
        return;
    }
    m_pending.append(data);
    m_pendingBytes += data.size();
    while (m_pendingBytes > kMaxPending && m_pending.size() > 1)
        m_pendingBytes -= m_pending.takeFirst().size();
}

void PreviewRelay::startListening()
{
    if (listening)
        return;
    listening = true;
    m_activePlayer = m_externalPlayer;
    if (!m_activePlayer.isEmpty())
        m_sendTimer->start();
}

void PreviewRelay::playEmbedded(const QByteArray &data)
{
    if (m_player->state() != Mp3Player::State::Playing && !m_player->play()) {
        failListening((m_player->soundOutputFailed() ? QStringLiteral("No sound output is available: ")
                                                     : QStringLiteral("The player could not start: ")) +
                      m_player->errorString());
        return;
    }
    m_player->feed(data);
}

void PreviewRelay::stopListening()
{
    m_listener->close();
    m_client->close();
    m_player->stop();
    m_sendTimer->stop();
    listening = false;
    m_clientStreaming = false;
    m_playerStarted = false;
    m_request.clear();
    m_pending.clear();
    m_pendingBytes = 0;
}

void PreviewRelay::setVolume(qint32 volume)
{
    const qint32 master = masterVolume(m_mixer);
    m_player->setVolume(kBalanceCentre, toShort(master), toShort(volume));
    appliedVolume = volume;
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
    // The player is started once per listening; one that went away may come back to the same address.
    m_playerStarted = true;
    if (!m_listener->listen(0, Socket::ListenScope::LoopbackOnly)) {
        failListening(QStringLiteral("Listening could not start: ") + m_listener->errorDescription());
        return;
    }
    if (!QProcess::startDetached(m_activePlayer, {address()}))
        failListening(QStringLiteral("The external player could not be started: ") + m_activePlayer);
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
    m_client->accept(*m_listener, requestId);
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
}

void PreviewRelay::onClientClosed()
{
    // The player went away: that is no error. Stop sending; it may connect again.
    m_client->close();
    m_clientStreaming = false;
    m_request.clear();
}

void PreviewRelay::failListening(const QString &message)
{
    const bool wasListening = listening;
    Q_EMIT messageRequested(message);
    stopListening();
    if (wasListening)
        Q_EMIT listeningFailed();
}
