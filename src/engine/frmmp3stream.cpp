// frmMP3, recording engine: the data arrival handler. Every packet of the
// stream is screened for refusals, the browser page and redirects; the response
// header is read and the first file opened; then audio and metadata are
// separated and each new title starts a new file.
#include "engine/frmmp3.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "config/clsconfiguration.h"
#include "engine/programcontext.h"
#include "engine/recordingnames.h"
#include "engine/responseheader.h"
#include "engine/streamtitle.h"
#include "platform/clock.h"
#include "platform/frontend.h"
#include "sources/ctlsocket.h"
#include "sources/curi.h"

namespace
{

// The handler blocks this long after a title-mode header packet.
constexpr int kHeaderPauseMs = 500;

const QByteArray kTitleKey = QByteArrayLiteral("StreamTitle='");

} // namespace

void frmMP3::WS_DataArrival()
{
    lRetryCount = 0;
    QByteArray packet = WS->receiveAll();
    lLastDataTick = platform::clock().tickCount();
    if (packet.isEmpty())
        return;
    takePacket(std::move(packet));
    // The handler may have blocked (500 ms for each new file): the stream was
    // not silent meanwhile, so the silence counts from the end of the packet.
    lLastDataTick = platform::clock().tickCount();
}

void frmMP3::takePacket(QByteArray packet)
{
    // This connection is being dropped; the supervisor closes it at its next tick.
    if (blnDisconnect)
        return;
    // Bytes of this connection; it stays at the largest count instead of wrapping.
    lByteCount = static_cast<qint32>(
        std::min<qint64>(static_cast<qint64>(lByteCount) + packet.size(), std::numeric_limits<qint32>::max()));

    // While the response header is expected it is gathered until its blank line,
    // and the screening looks at all of it.
    bool headerComplete = false;
    if (bIcy)
        headerComplete = m_header.add(packet);

    switch (engine::screenPacket(bIcy ? m_header.collected() : packet)) {
    case engine::PacketKind::Refusal:
        handleRefusal(bIcy ? m_header.take() : packet);
        return;
    case engine::PacketKind::BrowserPage:
        m_header.clear();
        platform::frontEnd().showMessage(
            QStringLiteral("This station does not support faking Internet Explorer as the agent. Please turn this "
                           "option off to listen to this station."));
        StopRecording();
        return;
    case engine::PacketKind::Redirect:
        handleRedirect(bIcy ? m_header.take() : packet);
        return;
    case engine::PacketKind::Stream:
        break;
    }

    program().configuration().bCalledFromGUI = false;
    if (bIcy) {
        if (!headerComplete)
            return;
        const QByteArray header = m_header.take();
        if (blnIcyReal)
            titleModeHeader(header);
        else
            plainModeHeader(header);
        return;
    }
    if (blnIcyReal)
        separateStream(std::move(packet));
    else
        WriteAudio(packet);
}

void frmMP3::handleRefusal(const QByteArray &packet)
{
    const qint32 lastServer = static_cast<qint32>(sServerHosts.size()) - 1;
    if (lServerNumber != lastServer) {
        const engine::RefusalTexts texts =
            engine::refusalTexts(packet, program().configuration().sRecordingTitle, lServerNumber);
        setTrayTip(texts.tip);
        setSongCaption(texts.caption);
        blnDisconnect = true;
        return;
    }
    platform::frontEnd().showMessage(
        QStringLiteral("The shoutcast stream you are trying to record is experiencing network problems, or is full. "
                       "Please try again later!"));
    StopRecording();
    ApplyExitRule();
}

void frmMP3::handleRedirect(const QByteArray &packet)
{
    setSongCaption(QStringLiteral("[ERR]: Found new location, reconnecting..."));
    const std::optional<QByteArray> location = engine::redirectLocation(packet);
    if (location) {
        CUri uri;
        if (uri.setUri(*location) && lServerNumber >= 1 && lServerNumber < sServerHosts.size()) {
            sServerHosts[lServerNumber] = uri.Host();
            sServerPaths[lServerNumber] = uri.Resource();
            sServerPorts[lServerNumber] = QByteArray::number(uri.Port());
            sServerQueries[lServerNumber] = uri.QueryString();
            // The supervisor's move to the next server lands on this entry again.
            --lServerNumber;
            blnDisconnect = true;
            return;
        }
    }
    setSongCaption(QStringLiteral("[ERR]: Found new location... reconnecting..."));
    blnDisconnect = true;
}

// Checks for a header that arrives where a station's header was expected but
// does not name the station (or in plain mode, any header).
void frmMP3::lateHeaderChecks(const QByteArray &packet)
{
    if (engine::containsNoCase(packet, QByteArrayLiteral("Redirect"))) {
        setSongCaption(QStringLiteral("[ERR]: Server full, trying next server..."));
        blnDisconnect = true;
    }
    if (engine::containsNoCase(packet, QByteArrayLiteral("302 found")))
        handleRedirect(packet);
}

void frmMP3::titleModeHeader(const QByteArray &packet)
{
    const QDate today = platform::clock().now().date();
    QByteArray firstFile;
    if (packet.contains("icy-name:")) {
        const std::optional<QByteArray> name = engine::icyName(packet);
        firstFile = name ? engine::datedFileName(*name, today) : engine::unknownFileName(today);
    } else {
        lateHeaderChecks(packet);
        if (blnDisconnect)
            return;
        firstFile = engine::unknownFileName(today);
    }

    // After a reconnection to the same server the open file simply continues:
    // the header text lands in its middle and the next title decides the rest.
    if (!(m_connectionIsReconnect && m_file.isOpen()))
        OpenMP3File(firstFile, false);

    if (const std::optional<qint32> interval = engine::metaInterval(packet)) {
        lngMetaDataLength = *interval;
        lngMetaDataCounter = 0;
    } else {
        blnIcyReal = false;
    }
    ParseResponseHeader(packet, engine::findHeaderEnd(packet));
    platform::clock().sleep(kHeaderPauseMs);
}

void frmMP3::plainModeHeader(const QByteArray &packet)
{
    lateHeaderChecks(packet);
    if (blnDisconnect)
        return;
    ParseResponseHeader(packet, engine::findHeaderEnd(packet));
}

void frmMP3::ParseResponseHeader(const QByteArray &packet, qsizetype headerPosition)
{
    if (const std::optional<qint32> rate = engine::bitRate(packet))
        lngBitRate = *rate;

    if (!packet.contains("icy-metaint")) {
        bIcy = false;
        blnIcyReal = false;
        WriteAudio(packet);
        return;
    }

    strICYHeader = packet;
    headerLoc = static_cast<qint32>(headerPosition);
    bIcy = false;
    if (!blnIcyReal || headerPosition < 1) {
        WriteAudio(packet);
        return;
    }
    // The header text goes to the file as it came; the audio after its blank
    // line is already on the metadata grid and is separated like any packet.
    separateStream(packet, headerPosition - 1 + 4);
}

void frmMP3::separateStream(QByteArray packet, qsizetype from)
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
        WriteAudio(m_work);
    } else {
        flushPacketAudio();
    }
    m_work = QByteArray();
}

void frmMP3::streamAudio(const QByteArray &packet, qsizetype from, qsizetype length)
{
    // Only ever moves bytes towards the front, over bytes already handled.
    if (from != m_writePos)
        std::memmove(m_work.data() + m_writePos, packet.constData() + from, static_cast<size_t>(length));
    m_writePos += length;
}

void frmMP3::metadataBlock(const QByteArray &text)
{
    if (!engine::containsNoCase(text, kTitleKey))
        return;
    const QByteArray name = ExtractStreamTitle(text);
    if (name == strSongName)
        return;
    // The audio before the block belongs to the title that is ending.
    flushPacketAudio();
    OpenMP3File(name, true);
}

void frmMP3::flushPacketAudio()
{
    if (m_writePos == m_flushPos)
        return;
    WriteAudio(m_work.mid(m_flushPos, m_writePos - m_flushPos));
    m_flushPos = m_writePos;
}
