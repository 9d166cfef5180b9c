// Recorder, recording engine: the data arrival handler. Every packet of the
// stream is screened for refusals, the browser page and redirects; the response
// header is read and the first file opened; then audio and metadata are
// separated and each new title starts a new file.
#include "engine/recorder.h"

#include <algorithm>

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

namespace
{

// Data that follows a title-mode header waits this long.
constexpr int kHeaderPauseMs = 500;
// Redirects followed in a row for one server entry before it counts as refused.
constexpr int kMaxRedirects = 10;
// The largest batch the stream socket gathers before it reports data.
constexpr int kMaxBatchBytes = 64 * 1024;

} // namespace

void Recorder::connectStream()
{
    connect(m_stream, &StreamConnection::connected, this, [this] {
        onConnected();
        publishStatus();
    });
    connect(m_stream, &StreamConnection::connectFailed, this, &Recorder::onConnectFailed);
    connect(m_stream, &StreamConnection::activity, this, [this] { m_supervisor->dataArrived(); });
    connect(m_stream, &StreamConnection::holdEnded, this, [this] {
        // Time spent holding was not silence: the silence counts from now.
        if (m_recording)
            m_supervisor->silenceFromNow();
        publishStatus();
    });
    connect(m_stream, &StreamConnection::packetHandled, this, [this] {
        updateReadThreshold();
        // Without a clock on screen the supervisor runs along with the batches.
        if (!m_options.showsTime && m_supervisor->sinceLastPassMs() >= 1000)
            m_supervisor->soon();
        publishStatus();
    });
    // A packet that arrives while the connection is being changed was dropped
    // by the connection already.
    connect(m_stream, &StreamConnection::refused, this, &Recorder::handleRefusal);
    connect(m_stream, &StreamConnection::browserPage, this, [this] {
        Q_EMIT messageRequested(
            QStringLiteral("This station does not support faking Internet Explorer as the agent. Please turn this "
                           "option off to listen to this station."));
        stopRecording();
    });
    connect(m_stream, &StreamConnection::redirected, this, &Recorder::handleRedirect);
    connect(m_stream, &StreamConnection::endlessHeader, this, &Recorder::refuseEndlessHeader);
    connect(m_stream, &StreamConnection::accepted, this, [this] { m_startedFromSetupWindow = false; });
    connect(m_stream, &StreamConnection::headerArrived, this, [this](const QByteArray &header) {
        if (m_titleMode)
            titleModeHeader(header);
        else
            plainModeHeader(header);
    });
    connect(m_stream, &StreamConnection::hlsPlaylist, this, &Recorder::followHlsServer);
    connect(m_stream, &StreamConnection::audio, this, &Recorder::takeAudio);
    connect(m_stream, &StreamConnection::title, this, [this](const QByteArray &title) {
        if (!titleStartsSong(title))
            return;
        // The audio before the block belongs to the title that is ending.
        m_stream->flushAudio();
        takeTitle(title);
    });
    connect(m_stream, &StreamConnection::closed, this, &Recorder::onStreamClosed);
}

void Recorder::updateReadThreshold()
{
    // About a second of audio at the stream's rate: fewer wake-ups, and still
    // well inside the silence that counts as an outage. Everything at once while
    // the header is read or while the stream is heard.
    int threshold = 1;
    if (m_options.readInBatches && m_recording && !m_connecting && !awaitingHeader() && !m_listening &&
        !m_relay->listening && m_bitRate > 0)
        threshold = std::clamp(m_bitRate * 125, 1, kMaxBatchBytes);
    if (threshold != m_stream->readThreshold())
        m_stream->setReadThreshold(threshold);
}

// A stream the server closed is lost at once, as if it had timed out, once
// everything it sent before closing has been recorded.
void Recorder::onStreamClosed()
{
    // A refusal or redirect already decided where to go next.
    if (m_changeServerPending || !m_recording || m_connecting || m_unloaded)
        return;
    reconnectAfterTimeout(true);
    publishStatus();
}

// A reply that filled the collector without ending its header is no stream;
// nothing of it is written, and a file opened for it while empty goes again.
void Recorder::refuseEndlessHeader()
{
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

    const qint32 interval = engine::metaInterval(packet).value_or(0);
    if (interval == 0)
        m_titleMode = false;
    parseResponseHeader(packet, engine::findHeaderEnd(packet), interval);
    m_stream->hold(kHeaderPauseMs);
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
    parseResponseHeader(packet, engine::findHeaderEnd(packet), 0);
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

void Recorder::parseResponseHeader(const QByteArray &packet, qsizetype headerPosition, qint32 metaInterval)
{
    if (const std::optional<qint32> rate = engine::bitRate(packet))
        m_bitRate = *rate;

    // Files hold the stream alone: reply header text in front of the first
    // frame is noise to every player.
    const qsizetype audioStart = headerPosition >= 1 ? headerPosition - 1 + 4 : 0;
    const QByteArray audio = packet.mid(audioStart);

    if (!packet.contains("icy-metaint")) {
        m_titleMode = false;
        m_stream->startStream(0);
        takeAudio(audio);
        return;
    }

    m_responseHeader = packet;
    m_stream->startStream(m_titleMode ? metaInterval : 0);
    if (!m_titleMode || headerPosition < 1) {
        takeAudio(audio);
        return;
    }
    // The audio after the blank line is already on the metadata grid and is
    // separated like any packet.
    m_stream->feed(audio);
}

bool Recorder::titleStartsSong(const QByteArray &title) const
{
    // An empty title (a source starting or falling back) names no song: its
    // audio continues the current file.
    return m_recording && title != QByteArrayLiteral(".mp3") &&
           engine::withStreamExtension(title, m_streamType) != m_songName;
}

void Recorder::takeTitle(const QByteArray &title)
{
    // An Ogg stream's files begin with the streams of its chain; a title that
    // comes in-band names the next of them when its comments do not.
    if (!titleStartsSong(title))
        return;
    // A reconnected stream's start still being compared belongs to the title that is ending.
    settleFreshAudio(true);
    openSongFile(engine::withStreamExtension(title, m_streamType), true);
}
