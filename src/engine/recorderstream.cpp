// Recorder, recording engine: the data arrival handler. Every packet of the
// stream is screened for refusals, the browser page and redirects; the response
// header is read and the first file opened; then audio and metadata are
// separated and each new title starts a new file.
#include "engine/recorder.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "config/preset.h"
#include "engine/recordingnames.h"
#include "engine/responseheader.h"
#include "engine/streamtitle.h"
#include "platform/clock.h"
#include "sources/parsedurl.h"
#include "sources/socket.h"

namespace
{

// Data that follows a title-mode header waits this long.
constexpr int kHeaderPauseMs = 500;

const QByteArray kTitleKey = QByteArrayLiteral("StreamTitle='");

} // namespace

void Recorder::onDataArrived()
{
    m_retryCount = 0;
    m_lastDataTick = platform::clock().tickCount();
    // During a hold the data stays in the socket, in order, and the station is
    // slowed down by the socket's own buffer rather than by our memory.
    if (m_holdCall != 0)
        return;
    QByteArray packet = m_socket->receiveAll();
    if (packet.isEmpty())
        return;
    takePacket(std::move(packet));
    publishStatus();
}

void Recorder::holdIncomingData(int milliseconds)
{
    if (m_holdCall != 0)
        platform::clock().cancelCall(m_holdCall);
    m_holdCall = platform::clock().callAfter(milliseconds, this, [this] {
        m_holdCall = 0;
        releaseHeldData();
    });
}

void Recorder::releaseHeldData()
{
    // Time spent holding was not silence: the silence counts from now.
    if (m_recording)
        m_lastDataTick = platform::clock().tickCount();
    // What arrived meanwhile waits in the socket; no new notification comes for it.
    if (m_socket->bytesPending() > 0)
        onDataArrived();
    publishStatus();
}

void Recorder::dropHeldData()
{
    // Data held back belongs to the connection that is being closed.
    if (m_holdCall != 0) {
        platform::clock().cancelCall(m_holdCall);
        m_holdCall = 0;
    }
}

void Recorder::takePacket(QByteArray packet)
{
    // This connection is being dropped; the supervisor closes it at its next tick.
    if (m_changeServerPending)
        return;
    // Bytes of this connection; it stays at the largest count instead of wrapping.
    m_byteCount = static_cast<qint32>(
        std::min<qint64>(static_cast<qint64>(m_byteCount) + packet.size(), std::numeric_limits<qint32>::max()));

    // While the response header is expected it is gathered until its blank line,
    // and the screening looks at all of it.
    bool headerComplete = false;
    if (m_awaitingHeader)
        headerComplete = m_header.add(packet);

    switch (engine::screenPacket(m_awaitingHeader ? m_header.collected() : packet)) {
    case engine::PacketKind::Refusal:
        handleRefusal(m_awaitingHeader ? m_header.take() : packet);
        return;
    case engine::PacketKind::BrowserPage:
        m_header.clear();
        Q_EMIT messageRequested(
            QStringLiteral("This station does not support faking Internet Explorer as the agent. Please turn this "
                           "option off to listen to this station."));
        stopRecording();
        return;
    case engine::PacketKind::Redirect:
        handleRedirect(m_awaitingHeader ? m_header.take() : packet);
        return;
    case engine::PacketKind::Stream:
        break;
    }

    m_startedFromSetupWindow = false;
    if (m_awaitingHeader) {
        if (!headerComplete)
            return;
        const QByteArray header = m_header.take();
        if (m_titleMode)
            titleModeHeader(header);
        else
            plainModeHeader(header);
        return;
    }
    if (m_titleMode)
        separateStream(std::move(packet));
    else
        writeAudio(packet);
}

void Recorder::handleRefusal(const QByteArray &packet)
{
    const qint32 lastServer = static_cast<qint32>(m_servers.size());
    if (m_serverNumber != lastServer) {
        const engine::RefusalTexts texts = engine::refusalTexts(packet, m_preset.stationTitle, m_serverNumber);
        setTrayTip(texts.tip);
        setCaption(texts.caption);
        m_changeServerPending = true;
        return;
    }
    Q_EMIT messageRequested(
        QStringLiteral("The shoutcast stream you are trying to record is experiencing network problems, or is full. "
                       "Please try again later!"));
    stopRecording();
    applyExitRule();
}

void Recorder::handleRedirect(const QByteArray &packet)
{
    setCaption(QStringLiteral("[ERR]: Found new location, reconnecting..."));
    const std::optional<QByteArray> location = engine::redirectLocation(packet);
    if (location) {
        ParsedUrl uri;
        if (uri.setUri(*location) && m_serverNumber >= 1 && m_serverNumber <= m_servers.size()) {
            m_servers[m_serverNumber - 1] = {uri.host(), QByteArray::number(uri.port()), uri.path(), uri.query()};
            // The supervisor's move to the next server lands on this entry again.
            --m_serverNumber;
            m_changeServerPending = true;
            return;
        }
    }
    setCaption(QStringLiteral("[ERR]: Found new location... reconnecting..."));
    m_changeServerPending = true;
}

// Checks for a header that arrives where a station's header was expected but
// does not name the station (or in plain mode, any header).
void Recorder::lateHeaderChecks(const QByteArray &packet)
{
    if (engine::containsNoCase(packet, QByteArrayLiteral("Redirect"))) {
        setCaption(QStringLiteral("[ERR]: Server full, trying next server..."));
        m_changeServerPending = true;
    }
    if (engine::containsNoCase(packet, QByteArrayLiteral("302 found")))
        handleRedirect(packet);
}

void Recorder::titleModeHeader(const QByteArray &packet)
{
    const QDate today = platform::clock().now().date();
    QByteArray firstFile;
    if (packet.contains("icy-name:")) {
        const std::optional<QByteArray> name = engine::icyName(packet);
        firstFile = name ? engine::datedFileName(*name, today) : engine::unknownFileName(today);
    } else {
        lateHeaderChecks(packet);
        if (m_changeServerPending)
            return;
        firstFile = engine::unknownFileName(today);
    }

    // After a reconnection to the same server the open file simply continues:
    // the header text lands in its middle and the next title decides the rest.
    if (!(m_connectionIsReconnect && m_file.isOpen())) {
        openSongFile(firstFile, false);
        if (!m_recording)
            return; // the file could not be created
    }

    if (const std::optional<qint32> interval = engine::metaInterval(packet)) {
        m_parser.restart(*interval);
    } else {
        m_titleMode = false;
    }
    parseResponseHeader(packet, engine::findHeaderEnd(packet));
    holdIncomingData(kHeaderPauseMs);
}

void Recorder::plainModeHeader(const QByteArray &packet)
{
    lateHeaderChecks(packet);
    if (m_changeServerPending)
        return;
    parseResponseHeader(packet, engine::findHeaderEnd(packet));
}

void Recorder::parseResponseHeader(const QByteArray &packet, qsizetype headerPosition)
{
    if (const std::optional<qint32> rate = engine::bitRate(packet))
        m_bitRate = *rate;

    if (!packet.contains("icy-metaint")) {
        m_awaitingHeader = false;
        m_titleMode = false;
        writeAudio(packet);
        return;
    }

    m_responseHeader = packet;
    m_awaitingHeader = false;
    if (!m_titleMode || headerPosition < 1) {
        writeAudio(packet);
        return;
    }
    // The header text goes to the file as it came; the audio after its blank
    // line is already on the metadata grid and is separated like any packet.
    separateStream(packet, headerPosition - 1 + 4);
}

void Recorder::separateStream(QByteArray packet, qsizetype from)
{
    // The audio of the packet is gathered in place, over the metadata it
    // carried, and written with one write (two when a title starts inside it).
    m_work = std::move(packet);
    m_work.detach();
    m_writePos = from;
    m_flushPos = 0;
    m_parser.separate(m_work, *this, from);
    if (m_flushPos == 0 && m_writePos > 0) {
        m_work.truncate(m_writePos);
        writeAudio(m_work);
    } else {
        flushPacketAudio();
    }
    m_work = QByteArray();
}

void Recorder::streamAudio(const QByteArray &packet, qsizetype from, qsizetype length)
{
    // Only ever moves bytes towards the front, over bytes already handled.
    if (from != m_writePos)
        std::memmove(m_work.data() + m_writePos, packet.constData() + from, static_cast<size_t>(length));
    m_writePos += length;
}

void Recorder::metadataBlock(const QByteArray &text)
{
    if (!engine::containsNoCase(text, kTitleKey))
        return;
    const QByteArray name = extractStreamTitle(text);
    // An empty title (a source starting or falling back) names no song: its
    // audio continues the current file.
    if (name == m_songName || name == QByteArrayLiteral(".mp3") || !m_recording)
        return;
    // The audio before the block belongs to the title that is ending.
    flushPacketAudio();
    openSongFile(name, true);
}

void Recorder::flushPacketAudio()
{
    if (m_writePos == m_flushPos)
        return;
    writeAudio(m_work.mid(m_flushPos, m_writePos - m_flushPos));
    m_flushPos = m_writePos;
}
