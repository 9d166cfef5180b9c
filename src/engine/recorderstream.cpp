// Recorder, recording engine: the data arrival handler. Every packet of the
// stream is screened for refusals, the browser page and redirects; the response
// header is read and the first file opened; then audio and metadata are
// separated and each new title starts a new file.
#include "engine/recorder.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/recordingnames.h"
#include "engine/responseheader.h"
#include "engine/streamtitle.h"
#include "platform/clock.h"
#include "sources/httpreply.h"
#include "sources/parsedurl.h"
#include "sources/playlistentries.h"
#include "sources/previewrelay.h"
#include "sources/socket.h"

namespace
{

// Data that follows a title-mode header waits this long.
constexpr int kHeaderPauseMs = 500;
// Redirects followed in a row for one server entry before it counts as refused.
constexpr int kMaxRedirects = 10;
// The largest batch the stream socket gathers before it reports data.
constexpr int kMaxBatchBytes = 64 * 1024;

const QByteArray kTitleKey = QByteArrayLiteral("StreamTitle='");

} // namespace

void Recorder::onDataArrived()
{
    m_retryCount = 0;
    m_lastDataTick = m_time.monotonicMs();
    // During a hold the data stays in the socket, in order, and the station is
    // slowed down by the socket's own buffer rather than by our memory.
    if (m_holdCall != 0)
        return;
    QByteArray packet = m_socket->receiveAll();
    if (packet.isEmpty())
        return;
    takePacket(std::move(packet));
    updateReadThreshold();
    // Without a clock on screen the supervisor runs along with the batches.
    if (!m_options.showsTime && m_supervising && m_time.monotonicMs() - m_lastSupervised >= 1000)
        superviseSoon();
    publishStatus();
}

void Recorder::updateReadThreshold()
{
    // About a second of audio at the stream's rate: fewer wake-ups, and still
    // well inside the silence that counts as an outage. Everything at once while
    // the header is read or while the stream is heard.
    int threshold = 1;
    if (m_options.readInBatches && m_recording && !m_connecting && !m_awaitingHeader && !m_listening &&
        !m_relay->listening && m_bitRate > 0)
        threshold = std::clamp(m_bitRate * 125, 1, kMaxBatchBytes);
    if (threshold == m_readThreshold)
        return;
    m_readThreshold = threshold;
    m_socket->setReadThreshold(threshold);
}

bool Recorder::takeWaitingData()
{
    if (m_holdCall != 0 || m_socket->bytesWaiting() == 0)
        return false;
    m_readThreshold = 1;
    m_socket->setReadThreshold(1);
    return true;
}

void Recorder::holdIncomingData(int milliseconds)
{
    if (m_holdCall != 0)
        m_time.cancelCall(m_holdCall);
    m_holdCall = m_time.callAfter(milliseconds, this, [this] {
        m_holdCall = 0;
        releaseHeldData();
    });
}

void Recorder::releaseHeldData()
{
    // Time spent holding was not silence: the silence counts from now.
    if (m_recording)
        m_lastDataTick = m_time.monotonicMs();
    // What arrived meanwhile waits in the socket; no new notification comes for it.
    if (m_socket->bytesPending() > 0)
        onDataArrived();
    if (m_peerClosed)
        finishClosedStream();
    publishStatus();
}

void Recorder::dropHeldData()
{
    // Data held back belongs to the connection that is being closed.
    if (m_holdCall != 0) {
        m_time.cancelCall(m_holdCall);
        m_holdCall = 0;
    }
}

void Recorder::onPeerClosed()
{
    if (!m_recording || m_connecting || m_unloaded)
        return;
    m_peerClosed = true;
    finishClosedStream();
    publishStatus();
}

// A stream the server closed is lost at once, as if it had timed out, but only
// once everything it sent before closing has been recorded.
void Recorder::finishClosedStream()
{
    if (m_holdCall == 0 && m_socket->bytesPending() > 0)
        onDataArrived();
    if (!m_peerClosed || m_holdCall != 0 || m_socket->bytesPending() > 0)
        return;
    m_peerClosed = false;
    // A refusal or redirect already decided where to go next.
    if (m_changeServerPending || !m_recording || m_connecting)
        return;
    reconnectAfterTimeout(true);
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

    switch (engine::screenPacket(m_awaitingHeader ? m_header.collected() : packet, m_awaitingHeader)) {
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

    if (m_awaitingHeader && headerComplete && !m_header.ended()) {
        refuseEndlessHeader();
        return;
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
        takeAudio(packet);
}

// A reply that filled the collector without ending its header is no stream;
// nothing of it is written, and a file opened for it while empty goes again.
void Recorder::refuseEndlessHeader()
{
    m_header.clear();
    if (!m_titleMode && !m_connectionIsReconnect) {
        setStreamType(engine::StreamType::Other);
        retypePlainFile();
    }
    const QString n = QString::number(m_serverNumber + 1);
    refuseServer({m_preset.stationTitle + QStringLiteral(" -- Not an audio stream... trying server ") + n,
                  QStringLiteral("[ERR]: The station's reply is not an audio stream, trying server ") + n +
                      QStringLiteral("...")},
                 QStringLiteral("The station's reply is not an audio stream."));
}

void Recorder::handleRefusal(const QByteArray &packet)
{
    // Nothing of the reply (an error page) goes to any file.
    refuseServer(engine::refusalTexts(packet, m_preset.stationTitle, m_serverNumber + 1),
                 QStringLiteral("The shoutcast stream you are trying to record is experiencing network problems, or "
                                "is full. Please try again later!"));
}

void Recorder::refuseServer(const engine::RefusalTexts &texts, const QString &lastServerMessage)
{
    // After audio has come, a refusal is part of an outage.
    if (survivesOutage()) {
        streamFailed();
        return;
    }
    const qint32 lastServer = static_cast<qint32>(m_servers.size());
    if (m_serverNumber != lastServer) {
        setTrayTip(texts.tip);
        setCaption(texts.caption);
        requestServerChange();
        return;
    }
    failRecording(lastServerMessage);
}

// Takes the stream's type from its header. A type that is no audio we can
// record refuses the server, and nothing of it is written.
bool Recorder::acceptStreamType(const QByteArray &header)
{
    const std::optional<QByteArray> contentType = sources::headerValue(header, QByteArrayLiteral("Content-Type"));
    setStreamType(engine::streamType(contentType));
    if (m_streamType != engine::StreamType::Other)
        return true;
    if (browserAgentEnabled() && contentType && contentType->toLower().startsWith("text/html")) {
        // The page a server gives browsers: say so, as its text would.
        m_header.clear();
        Q_EMIT messageRequested(
            QStringLiteral("This station does not support faking Internet Explorer as the agent. Please turn this "
                           "option off to listen to this station."));
        stopRecording();
        return false;
    }
    const QString type = QString::fromLatin1(contentType.value_or(QByteArray()));
    const QString n = QString::number(m_serverNumber + 1);
    refuseServer({m_preset.stationTitle + QStringLiteral(" -- Not an audio stream (") + type +
                      QStringLiteral(")... trying server ") + n,
                  QStringLiteral("[ERR]: Not an audio stream (") + type + QStringLiteral("), trying server ") + n +
                      QStringLiteral("...")},
                 QStringLiteral("The station sends \"") + type +
                     QStringLiteral("\" instead of an audio stream, which cannot be recorded."));
    return false;
}

void Recorder::handleRedirect(const QByteArray &packet)
{
    if (m_redirectEntry == m_serverNumber && m_redirectsInRow >= kMaxRedirects) {
        const QString n = QString::number(m_serverNumber + 1);
        refuseServer({m_preset.stationTitle + QStringLiteral(" -- Too many redirects... trying server ") + n,
                      QStringLiteral("[ERR]: Too many redirects, trying server ") + n + QStringLiteral("...")},
                     QStringLiteral("The stream redirects in a circle and cannot be recorded."));
        return;
    }
    setCaption(QStringLiteral("[ERR]: Found new location, reconnecting..."));
    std::optional<QByteArray> location = engine::redirectLocation(packet);
    if (location && m_serverNumber >= 1 && m_serverNumber <= m_servers.size()) {
        const StreamServer &current = m_servers.at(m_serverNumber - 1);
        // A location on the same server may leave the server out.
        if (location->startsWith('/'))
            *location = (current.secure ? "https://" : "http://") + current.host + ':' + current.port + *location;
        // Screened as a playlist entry is: only http(s), nothing that could
        // end our request line; anything else moves on to the next server.
        if (const std::optional<sources::PlaylistEntry> entry = sources::screenEntry(*location)) {
            m_redirectEntry = m_serverNumber;
            ++m_redirectsInRow;
            m_servers[m_serverNumber - 1] = {entry->host, entry->port, entry->path, entry->query, entry->secure};
            // The supervisor's move to the next server lands on this entry again.
            --m_serverNumber;
            requestServerChange();
            return;
        }
    }
    setCaption(QStringLiteral("[ERR]: Found new location... reconnecting..."));
    requestServerChange();
}

// Checks for a header that arrives where a station's header was expected but
// does not name the station (or in plain mode, any header).
void Recorder::lateHeaderChecks(const QByteArray &packet)
{
    if (engine::containsNoCase(packet, QByteArrayLiteral("Redirect"))) {
        setCaption(QStringLiteral("[ERR]: Server full, trying next server..."));
        requestServerChange();
    }
    if (engine::containsNoCase(packet, QByteArrayLiteral("302 found")))
        handleRedirect(packet);
}

void Recorder::titleModeHeader(const QByteArray &packet)
{
    const QDate today = m_time.now().date();
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
    if (!acceptStreamType(packet))
        return;
    m_redirectsInRow = 0;

    // After a reconnection to the same server the open file simply continues
    // with the audio; the next title decides the rest.
    if (!(m_connectionIsReconnect && isFileOpen())) {
        openSongFile(engine::withStreamExtension(firstFile, m_streamType), false);
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
    if (!m_connectionIsReconnect) {
        setStreamType(engine::streamType(sources::headerValue(packet, QByteArrayLiteral("Content-Type"))));
        retypePlainFile();
    }
    if (!acceptStreamType(packet))
        return;
    m_redirectsInRow = 0;
    parseResponseHeader(packet, engine::findHeaderEnd(packet));
}

QByteArray Recorder::plainFileName() const
{
    const QByteArray name = m_preset.recordingFileName.toLocal8Bit();
    return captureMode() == SetupSettings::CaptureSingleFile ? engine::singleFileName(name, std::nullopt)
                                                             : engine::datedFileName(name, m_time.now().date());
}

// The file of modes 1 and 3 opens with the request, before the stream's type
// is known: while it is still empty it takes the name its type asks for, and
// a stream that is refused leaves no empty file behind.
void Recorder::retypePlainFile()
{
    const QByteArray wanted = captureMode() == SetupSettings::CaptureSingleFile
                                  ? engine::singleFileName(plainFileName(), m_streamType)
                                  : engine::withStreamExtension(plainFileName(), m_streamType);
    if (m_streamType != engine::StreamType::Other && wanted == m_songName)
        return;
    if (!m_pendingFileName.isEmpty()) {
        m_pendingFileName = wanted;
        m_songName = wanted;
        return;
    }
    if (!m_writer->discardEmptyFile())
        return;
    m_songName.clear();
    if (m_streamType != engine::StreamType::Other)
        openSongFile(wanted, false);
}

void Recorder::parseResponseHeader(const QByteArray &packet, qsizetype headerPosition)
{
    if (const std::optional<qint32> rate = engine::bitRate(packet))
        m_bitRate = *rate;

    // Files hold the stream alone: reply header text in front of the first
    // frame is noise to every player.
    const qsizetype audioStart = headerPosition >= 1 ? headerPosition - 1 + 4 : 0;
    const QByteArray audio = packet.mid(audioStart);

    if (!packet.contains("icy-metaint")) {
        m_awaitingHeader = false;
        m_titleMode = false;
        takeAudio(audio);
        return;
    }

    m_responseHeader = packet;
    m_awaitingHeader = false;
    if (!m_titleMode || headerPosition < 1) {
        takeAudio(audio);
        return;
    }
    // The audio after the blank line is already on the metadata grid and is
    // separated like any packet.
    separateStream(audio);
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
        takeAudio(m_work);
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
    // An Ogg stream's files begin with the streams of its chain; a title that
    // comes in-band names the next of them when its comments do not.
    if (!engine::containsNoCase(text, kTitleKey))
        return;
    const QByteArray title = extractStreamTitle(text);
    // An empty title (a source starting or falling back) names no song: its
    // audio continues the current file.
    if (title == QByteArrayLiteral(".mp3") || !m_recording)
        return;
    const QByteArray name = engine::withStreamExtension(title, m_streamType);
    if (name == m_songName)
        return;
    // The audio before the block belongs to the title that is ending, and so
    // does a reconnected stream's start still being compared.
    flushPacketAudio();
    settleFreshAudio(true);
    openSongFile(name, true);
}

void Recorder::flushPacketAudio()
{
    if (m_writePos == m_flushPos)
        return;
    takeAudio(m_work.mid(m_flushPos, m_writePos - m_flushPos));
    m_flushPos = m_writePos;
}
