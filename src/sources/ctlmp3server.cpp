#include "sources/ctlmp3server.h"

#include <QTimer>

#include <algorithm>

#include "platform/frontend.h"
#include "platform/mdlmixervalues.h"
#include "sources/ctlsocket.h"
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

qint16 toShort(qint32 value)
{
    return static_cast<qint16>(std::clamp<qint32>(value, -32768, 32767));
}

} // namespace

ctlMP3Server::ctlMP3Server(QObject *parent)
    : QObject(parent)
    , wsServer(new ctlSocket(this))
    , wsData(new ctlSocket(this))
    , tmrAudio(new QTimer(this))
    , m_player(new Mp3P(this))
{
    tmrAudio->setInterval(kTickMs);
    connect(tmrAudio, &QTimer::timeout, this, &ctlMP3Server::tmrAudio_Timer);
    connect(wsServer, &ctlSocket::ConnectionRequest, this, &ctlMP3Server::wsServer_ConnectionRequest);
    connect(wsServer, &ctlSocket::Error, this,
            [this](qint32, const QString &description) { showSocketError(description); });
    connect(wsData, &ctlSocket::DataArrival, this, &ctlMP3Server::wsData_DataArrival);
    connect(wsData, &ctlSocket::PeerClosed, this, &ctlMP3Server::wsData_PeerClosed);
    connect(wsData, &ctlSocket::Error, this,
            [this](qint32, const QString &description) { showSocketError(description); });
    // The player starts at the volume lSetVolume says it has.
    m_player->setVolume(kBalanceCentre, -1, toShort(lSetVolume));
}

ctlMP3Server::~ctlMP3Server() = default;

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
    wsData->close();
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
    m_player->setVolume(kBalanceCentre, toShort(master), toShort(lngVolume));
    lSetVolume = lngVolume;
}

void ctlMP3Server::tmrAudio_Timer()
{
    if (!blnEnablePreviewStream)
        return;
    if (m_clientStreaming) {
        if (!wsData->isConnected()) {
            wsData_PeerClosed();
            return;
        }
        QByteArray chunk;
        chunk.reserve(m_pendingBytes);
        for (const QByteArray &block : std::as_const(m_pending))
            chunk += block;
        m_pending.clear();
        m_pendingBytes = 0;
        if (!chunk.isEmpty())
            wsData->send(chunk);
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
    const bool listening = wsServer->state() == ctlSocket::State::Listening ||
                           wsServer->listen(kRelayPort, ctlSocket::ListenScope::LoopbackOnly);
    if (!listening || !m_player->open(relayAddress()) || !m_player->play()) {
        platform::frontEnd().showMessage(QStringLiteral("You cannot listen on more than one instance of the Ombrex!"));
        StopPreviewing();
    }
}

void ctlMP3Server::wsServer_ConnectionRequest(qint32 requestID)
{
    if (wsServer->peerAddress() != "127.0.0.1")
        return;
    // One player at a time: a second client while the first is connected is
    // turned away (a request left unaccepted is closed), and the stream to the first goes on.
    if (wsData->isConnected())
        return;
    wsData->accept(requestID);
}

void ctlMP3Server::wsData_DataArrival()
{
    const QByteArray request = wsData->receiveAll();
    if (request.contains("GET /streamer.mp3")) {
        wsData->send("ICY 200 OK");
        m_clientStreaming = true;
        m_playerStarted = false;
        return;
    }
    platform::frontEnd().showMessage(QStringLiteral("Invalid request!"));
    StopPreviewing();
}

void ctlMP3Server::wsData_PeerClosed()
{
    // The player went away: that is no error. Stop sending; the player (or the
    // player restarted by the tick once audio waits again) may connect again.
    wsData->close();
    m_clientStreaming = false;
    m_playerStarted = false;
}

void ctlMP3Server::showSocketError(const QString &description)
{
    platform::frontEnd().showMessage(description);
    StopPreviewing();
}
