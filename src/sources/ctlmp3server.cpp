#include "sources/ctlmp3server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#include "platform/frontend.h"
#include "platform/mdlmixervalues.h"
#include "sources/mp3p.h"

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

} // namespace

ctlMP3Server::ctlMP3Server(QObject *parent)
    : QObject(parent)
    , wsServer(new QTcpServer(this))
    , tmrAudio(new QTimer(this))
    , m_player(new Mp3P(this))
{
    tmrAudio->setInterval(kTickMs);
    connect(tmrAudio, &QTimer::timeout, this, &ctlMP3Server::onAudioTick);
    connect(wsServer, &QTcpServer::newConnection, this, &ctlMP3Server::onConnectionRequest);
    connect(wsServer, &QTcpServer::acceptError, this,
            [this](QAbstractSocket::SocketError) { showSocketError(wsServer->errorString()); });
    // The player starts at the volume lSetVolume says it has.
    m_player->setVolume(kBalanceCentre, -1, static_cast<qint16>(lSetVolume));
}

ctlMP3Server::~ctlMP3Server()
{
    // No messages while the program winds down: close quietly.
    wsServer->close();
    if (wsData)
        wsData->disconnect(this);
}

void ctlMP3Server::PushData(const QByteArray &lInData)
{
    if (lInData.isEmpty())
        return;
    m_pending.append(lInData);
    m_pendingBytes += lInData.size();
    while (m_pendingBytes > kMaxPending && m_pending.size() > 1)
        m_pendingBytes -= m_pending.takeFirst().size();
}

void ctlMP3Server::StartPreviewing()
{
    blnEnablePreviewStream = true;
    if (!tmrAudio->isActive())
        tmrAudio->start();
}

void ctlMP3Server::StopPreviewing()
{
    wsServer->close();
    closeData();
    m_player->stop();
    m_player->close();
    tmrAudio->stop();
    blnEnablePreviewStream = false;
    m_clientStreaming = false;
    m_playerStarted = false;
    m_pending.clear();
    m_pendingBytes = 0;
}

void ctlMP3Server::SetVolume(qint32 lngVolume)
{
    const qint32 master = GetMasterVolume();
    const auto toShort = [](qint32 value) { return static_cast<qint16>(std::clamp<qint32>(value, -32768, 32767)); };
    m_player->setVolume(kBalanceCentre, toShort(master), toShort(lngVolume));
    lSetVolume = lngVolume;
}

void ctlMP3Server::onAudioTick()
{
    if (!blnEnablePreviewStream)
        return;
    if (m_clientStreaming) {
        if (!wsData || wsData->state() != QAbstractSocket::ConnectedState) {
            onDataDropped();
            return;
        }
        QByteArray chunk;
        chunk.reserve(m_pendingBytes);
        for (const QByteArray &block : std::as_const(m_pending))
            chunk += block;
        m_pending.clear();
        m_pendingBytes = 0;
        if (!chunk.isEmpty())
            wsData->write(chunk);
        return;
    }
    if (m_pendingBytes > kStartThreshold && !m_playerStarted)
        startRelay();
}

void ctlMP3Server::startRelay()
{
    m_playerStarted = true;
    tmrAudio->start();
    // After a dropped player the listener is still up; the player is simply pointed at it again.
    const bool listening = wsServer->isListening() || wsServer->listen(QHostAddress::LocalHost, kRelayPort);
    if (!listening || !m_player->open(relayAddress()) || !m_player->play()) {
        platform::frontEnd().showMessage(QStringLiteral("You cannot listen on more than one instance of the Ombrex!"));
        StopPreviewing();
    }
}

void ctlMP3Server::onConnectionRequest()
{
    while (QTcpSocket *socket = wsServer->nextPendingConnection()) {
        const bool local = socket->peerAddress().toString() == QStringLiteral("127.0.0.1");
        // One player at a time: a second client while the first is connected is
        // turned away, and the stream to the first goes on.
        const bool busy = wsData && wsData->state() == QAbstractSocket::ConnectedState;
        if (!local || busy) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        closeData();
        wsData = socket;
        connect(wsData, &QTcpSocket::readyRead, this, &ctlMP3Server::onDataArrival);
        connect(wsData, &QTcpSocket::disconnected, this, &ctlMP3Server::onDataDropped);
        connect(wsData, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                return; // a player that goes away is not an error; disconnected follows
            showSocketError(wsData->errorString());
        });
    }
}

void ctlMP3Server::onDataArrival()
{
    const QByteArray request = wsData->readAll();
    if (request.contains("GET /streamer.mp3")) {
        wsData->write("ICY 200 OK");
        m_clientStreaming = true;
        m_playerStarted = false;
        return;
    }
    platform::frontEnd().showMessage(QStringLiteral("Invalid request!"));
    StopPreviewing();
}

void ctlMP3Server::onDataDropped()
{
    // The player went away: stop sending and let it (or the player restarted
    // by the next tick once audio waits) connect again.
    closeData();
    m_clientStreaming = false;
    m_playerStarted = false;
}

void ctlMP3Server::closeData()
{
    if (!wsData)
        return;
    wsData->disconnect(this);
    wsData->abort();
    wsData->deleteLater();
    wsData = nullptr;
}

void ctlMP3Server::showSocketError(const QString &description)
{
    platform::frontEnd().showMessage(description);
    StopPreviewing();
}
