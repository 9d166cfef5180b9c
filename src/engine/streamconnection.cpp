#include "engine/streamconnection.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/responseheader.h"
#include "engine/streamrequest.h"
#include "engine/streamtitle.h"
#include "sources/connectionwait.h"
#include "sources/socket.h"

namespace
{

// A host that neither answers nor refuses is given up after this long.
constexpr qint64 kConnectLimitMs = 10000;

const QByteArray kTitleKey = QByteArrayLiteral("StreamTitle='");

} // namespace

StreamConnection::StreamConnection(platform::Clock &clock, QObject *parent)
    : QObject(parent)
    , m_time(clock)
    , m_socket(new Socket(this))
    , m_wait(new ConnectionWait(m_socket, clock, this))
{
    connect(m_socket, &Socket::dataArrived, this, [this](qint64) { onDataArrived(); });
    connect(m_socket, &Socket::peerClosed, this, [this] {
        if (m_phase == Phase::Idle || m_phase == Phase::Connecting)
            return;
        m_peerClosed = true;
        finishClosedStream();
    });
    connect(m_wait, &ConnectionWait::finished, this, [this](ConnectionWait::Outcome outcome) {
        if (m_phase != Phase::Connecting)
            return;
        if (outcome == ConnectionWait::Outcome::Connected) {
            m_phase = Phase::AwaitingHeader;
            m_header.clear();
            m_parser.dropPartialBlock();
            Q_EMIT connected();
            return;
        }
        const bool tls = m_socket->errorNumber() == Socket::kTlsError;
        const QString text = m_socket->errorDescription();
        close();
        Q_EMIT connectFailed(tls, text);
    });
}

StreamConnection::~StreamConnection() = default;

void StreamConnection::connectTo(const StreamServer &server)
{
    dropHold();
    m_socket->close();
    m_readThreshold = 1;
    m_server = server;
    m_phase = Phase::Connecting;
    m_peerClosed = false;
    m_discarding = false;
    m_wait->start(server.host, server.port.trimmed().toUShort(), kConnectLimitMs, server.secure);
}

void StreamConnection::sendRequest(bool titleMode, bool browserAgent)
{
    m_socket->send(
        buildStreamRequest(m_server.host, m_server.port, m_server.path, m_server.query, titleMode, browserAgent));
    m_byteCount = 0;
}

void StreamConnection::close()
{
    m_wait->cancel();
    dropHold();
    m_socket->close();
    m_readThreshold = 1;
    m_phase = Phase::Idle;
    m_header.clear();
    m_body.clear();
    m_separating = false;
    m_discarding = false;
    m_peerClosed = false;
}

void StreamConnection::startStream(qint32 metaInterval)
{
    m_phase = Phase::Streaming;
    m_separating = metaInterval > 0;
    if (m_separating)
        m_parser.restart(metaInterval);
}

void StreamConnection::hold(int milliseconds)
{
    if (m_holdCall != 0)
        m_time.cancelCall(m_holdCall);
    m_holdCall = m_time.callAfter(milliseconds, this, [this] {
        m_holdCall = 0;
        releaseHold();
    });
}

void StreamConnection::dropHold()
{
    // Data held back belongs to the connection that is being closed.
    if (m_holdCall != 0) {
        m_time.cancelCall(m_holdCall);
        m_holdCall = 0;
    }
}

void StreamConnection::releaseHold()
{
    Q_EMIT holdEnded();
    // What arrived meanwhile waits in the socket; no new notification comes for it.
    if (m_socket->bytesPending() > 0)
        onDataArrived();
    if (m_peerClosed)
        finishClosedStream();
}

bool StreamConnection::takeWaitingData()
{
    if (m_holdCall != 0 || m_socket->bytesWaiting() == 0)
        return false;
    setReadThreshold(1);
    return true;
}

void StreamConnection::setReadThreshold(int bytes)
{
    m_readThreshold = bytes;
    m_socket->setReadThreshold(bytes);
}

void StreamConnection::onDataArrived()
{
    Q_EMIT activity();
    // During a hold the data stays in the socket, in order, and the station is
    // slowed down by the socket's own buffer rather than by our memory.
    if (m_holdCall != 0)
        return;
    QByteArray packet = m_socket->receiveAll();
    if (packet.isEmpty())
        return;
    takePacket(std::move(packet));
    Q_EMIT packetHandled();
}

// A stream the server closed is reported only once everything it sent before
// closing has been handled.
void StreamConnection::finishClosedStream()
{
    if (m_holdCall == 0 && m_socket->bytesPending() > 0)
        onDataArrived();
    if (!m_peerClosed || m_holdCall != 0 || m_socket->bytesPending() > 0)
        return;
    // A body read to its end by the close is judged now; a playlist ends the connection.
    if (m_phase == Phase::ReadingBody && !m_discarding) {
        judgeBody(m_body.finish());
        if (!m_peerClosed || m_holdCall != 0)
            return;
    }
    m_peerClosed = false;
    Q_EMIT closed();
}

void StreamConnection::takePacket(QByteArray packet)
{
    // This connection is being dropped for the next server.
    if (m_discarding)
        return;
    m_byteCount = static_cast<qint32>(
        std::min<qint64>(static_cast<qint64>(m_byteCount) + packet.size(), std::numeric_limits<qint32>::max()));
    if (m_phase == Phase::ReadingBody) {
        judgeBody(m_body.add(packet));
        return;
    }

    // While the response header is expected it is gathered until its blank line,
    // and the screening looks at all of it.
    const bool awaitingHeader = m_phase != Phase::Streaming;
    bool headerComplete = false;
    if (awaitingHeader)
        headerComplete = m_header.add(packet);

    switch (engine::screenPacket(awaitingHeader ? m_header.collected() : packet, awaitingHeader)) {
    case engine::PacketKind::Refusal:
        Q_EMIT refused(awaitingHeader ? m_header.take() : packet);
        return;
    case engine::PacketKind::BrowserPage:
        m_header.clear();
        Q_EMIT browserPage();
        return;
    case engine::PacketKind::Redirect:
        Q_EMIT redirected(awaitingHeader ? m_header.take() : packet);
        return;
    case engine::PacketKind::Stream:
        break;
    }

    if (awaitingHeader && headerComplete && !m_header.ended()) {
        m_header.clear();
        Q_EMIT endlessHeader();
        return;
    }
    Q_EMIT accepted();
    if (awaitingHeader) {
        if (!headerComplete)
            return;
        QByteArray reply = m_header.take();
        if (PlaylistReply::mayBePlaylist(reply)) {
            m_phase = Phase::ReadingBody;
            judgeBody(m_body.begin(std::move(reply)));
        } else {
            Q_EMIT headerArrived(reply);
        }
        return;
    }
    feed(std::move(packet));
}

void StreamConnection::judgeBody(PlaylistReply::Verdict verdict)
{
    switch (verdict) {
    case PlaylistReply::Verdict::Reading:
        return;
    case PlaylistReply::Verdict::Playlist: {
        const QByteArray playlist = m_body.takePlaylist();
        m_phase = Phase::AwaitingHeader;
        m_discarding = true;
        Q_EMIT hlsPlaylist(playlist);
        return;
    }
    case PlaylistReply::Verdict::Stream:
        // Handled as if the reply had come in one piece.
        m_phase = Phase::AwaitingHeader;
        Q_EMIT headerArrived(m_body.takeReply());
        return;
    }
}

void StreamConnection::feed(QByteArray bytes)
{
    if (m_separating)
        separate(std::move(bytes));
    else if (!bytes.isEmpty())
        Q_EMIT audio(bytes);
}

void StreamConnection::separate(QByteArray packet)
{
    // The audio of the packet is gathered in place, over the metadata it
    // carried, and reported at once (twice when a title starts inside it).
    m_work = std::move(packet);
    m_work.detach();
    m_writePos = 0;
    m_flushPos = 0;
    m_parser.separate(m_work, *this, 0);
    if (m_flushPos == 0 && m_writePos > 0) {
        m_work.truncate(m_writePos);
        Q_EMIT audio(m_work);
    } else {
        flushAudio();
    }
    m_work = QByteArray();
}

void StreamConnection::streamAudio(const QByteArray &packet, qsizetype from, qsizetype length)
{
    // Only ever moves bytes towards the front, over bytes already handled.
    if (from != m_writePos)
        std::memmove(m_work.data() + m_writePos, packet.constData() + from, static_cast<size_t>(length));
    m_writePos += length;
}

void StreamConnection::metadataBlock(const QByteArray &text)
{
    if (engine::containsNoCase(text, kTitleKey))
        Q_EMIT title(extractStreamTitle(text));
}

void StreamConnection::flushAudio()
{
    if (m_writePos == m_flushPos)
        return;
    const QByteArray bytes = m_work.mid(m_flushPos, m_writePos - m_flushPos);
    m_flushPos = m_writePos;
    Q_EMIT audio(bytes);
}
