// Recorder, recording engine: turning the station into servers, connecting and
// sending the stream request.
#include "engine/recorder.h"

#include <QFile>

#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/archivecleanup.h"
#include "engine/recordingnames.h"
#include "engine/startup.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "sources/hlsstation.h"
#include "sources/live365reader.h"
#include "sources/playlistreader.h"
#include "sources/previewrelay.h"

void Recorder::connectComponents()
{
    const auto addFoundServer = [this](const QByteArray &host, const QByteArray &path, const QByteArray &port,
                                       const QByteArray &query,
                                       bool secure) { addServer(host, path, port, query, secure); };
    connect(m_playlistReader, &PlaylistReader::serverFound, this, addFoundServer);
    connect(m_playlistReader, &PlaylistReader::messageRequested, this, &Recorder::messageRequested);
    connect(m_playlistReader, &PlaylistReader::finished, this, [this] {
        if (m_playlistReader->hlsUrl.isValid())
            beginHlsRecording(m_playlistReader->hlsUrl, m_playlistReader->rawData);
        else if (!m_servers.isEmpty())
            beginTakenRecording();
        else
            playlistFailed(QStringLiteral("Empty MP3 server list due to error!"));
        publishStatus();
    });
    connect(m_playlistReader, &PlaylistReader::failed, this, [this](qint32 code) {
        playlistFailed(m_playlistReader->failureText(code));
        publishStatus();
    });
    connect(m_playlistFileReader, &PlaylistReader::serverFound, this, addFoundServer);
    connect(m_playlistFileReader, &PlaylistReader::messageRequested, this, &Recorder::messageRequested);
    connect(m_playlistFileReader, &PlaylistReader::finished, this, [this] {
        if (!m_servers.isEmpty()) {
            // The recording is of this station, and the draft learns it too.
            m_preset.stationTitle = QString::fromLocal8Bit(m_playlistFileReader->firstTitle);
            m_preset.valid = true;
            Q_EMIT stationNamed(m_preset.stationTitle);
            Q_EMIT displayRequested();
            beginTakenRecording();
        } else {
            playlistFailed(QStringLiteral("Empty MP3 server list due to error!"));
        }
        publishStatus();
    });
    connect(m_playlistFileReader, &PlaylistReader::failed, this, [this](qint32 code) {
        playlistFailed(m_playlistFileReader->failureText(code));
        publishStatus();
    });
    connectStream();
    connect(m_live365, &Live365Reader::titleChanged, this, [this](const QByteArray &artist, const QByteArray &title) {
        const QByteArray name = artist + QByteArrayLiteral(" - ") + title + QByteArrayLiteral(".mp3");
        // The reader reports the page again when the song should be over and
        // after every reconnect: the song being recorded keeps its file rather
        // than starting it again empty.
        if (name != m_songName)
            openSongFile(name, true);
        publishStatus();
    });
    connect(m_live365, &Live365Reader::stationNameFound, this,
            [this](const QByteArray &memberName) { m_live365->setStationName(memberName); });
    connect(m_live365, &Live365Reader::failed, this, [this](qint32 code) {
        m_live365->setStationName({});
        const QString message = m_live365->stopWithError(code);
        if (!message.isEmpty())
            Q_EMIT messageRequested(message);
    });
}

void Recorder::playlistFailed(const QString &text)
{
    if (!text.isEmpty())
        Q_EMIT messageRequested(text);
    // A run without windows that was told what to record on its command line
    // has nothing left to do.
    if (m_commandLineStart && !m_options.showsWindows)
        requestExit(kExitStartFailed);
    m_commandLineStart = false;
}

void Recorder::startPlaylistFileRead(const QString &path)
{
    m_servers.clear();
    m_playlistFileReader->start(QFile::encodeName(path));
    publishStatus();
}

bool Recorder::start(const RecordingRequest &request)
{
    dropHls();
    m_preset = request.preset;
    m_startedFromSetupWindow = request.fromSetupWindow;
    m_pausedStart = request.preview;
    m_relay->setExternalPlayer(request.externalPlayer);
    if (!request.servers.isEmpty()) {
        m_servers = request.servers;
        beginTakenRecording();
        return true;
    }
    setCaption(QStringLiteral("Connecting to ") + m_preset.stationTitle + QStringLiteral("..."));
    m_titleMode = false;
    m_recording = false;
    m_servers.clear();
    if (captureMode() == SetupSettings::CaptureDatedArchive)
        engine::deleteOldArchives(m_preset, m_time.now());
    m_playlistReader->start(QFile::encodeName(m_preset.playlistAddress));
    m_presetPath = m_preset.presetFilePath;
    publishStatus();
    return true;
}

void Recorder::addServer(const QByteArray &host, const QByteArray &path, const QByteArray &port,
                         const QByteArray &query, bool secure)
{
    m_servers.append({host, port, path, query, secure});
}

void Recorder::replaceServer(qint32 number, const StreamServer &server)
{
    if (number >= 1 && number <= m_servers.size())
        m_servers[number - 1] = server;
}

void Recorder::beginRecording(const Preset &preset)
{
    dropHls();
    m_preset = preset;
    beginTakenRecording();
}

void Recorder::beginTakenRecording()
{
    setTrayMenuRecording(true);
    m_recording = true;
    m_songName.clear();
    m_startPausedPending = m_preset.startPaused;
    m_commandLineStart = false;
    // Every recording writes files of its own, in the mode it was started in.
    m_writer = engine::makeRecordingWriter(captureMode(),
                                           {m_preset.saveFolder, m_preset.stationTitle, m_preset.recordingFileName,
                                            &m_time, m_preset.playlistAddress, fileSplitSettings()});
    setStreamType(engine::StreamType::Mp3);
    m_redirectsInRow = 0;
    m_supervisor->begin(
        {m_preset.timeLimited, m_preset.timeLimitMinutes, static_cast<qint64>(reconnectPeriodMinutes()) * 60000});
    m_audioSeen = false;
    m_writtenTail.clear();
    m_freshAudio.clear();
    m_comparingFresh = false;
    m_repeatedSkipped = 0;
    m_reconnects = 0;
    m_hlsLostSeconds = 0;
    Q_EMIT recordingStarted();
    connectToServer(1, false);
    publishStatus();
}

void Recorder::connectToServer(qint32 server, bool reconnect)
{
    // One attempt at a time: a tick or a command that asks again meanwhile is
    // answered by the attempt under way.
    if (m_connecting)
        return;
    // Audio of the last connection still being compared goes to its file first.
    settleFreshAudio(true);
    m_serverNumber = server;
    if (server > static_cast<qint32>(m_servers.size()) || server < 1) {
        failRecording(QStringLiteral("All servers are full!"));
        return;
    }
    m_connectionIsReconnect = reconnect;
    m_connecting = true;
    if (server != m_redirectEntry)
        m_redirectsInRow = 0;
    // During an outage the caption keeps saying since when the station is gone.
    if (!m_supervisor->inOutage())
        setCaption(QStringLiteral("Connecting to ") + QString::fromLatin1(m_servers.at(server - 1).host) +
                   QStringLiteral("..."));
    const StreamServer &target = m_servers.at(server - 1);
    if (target.hls) {
        // Each HLS server of a playlist has a station of its own.
        if (!m_hls || m_hlsServer != server)
            createHlsStation(hlsServerUrl(target), server);
        onConnected();
        return;
    }
    dropHls();
    m_stream->connectTo(target);
}

void Recorder::onConnectFailed(bool tlsFailed, const QString &tlsText)
{
    if (!m_connecting)
        return;
    if (!m_recording || m_unloaded) {
        // Stopped by the user (or a failure) while we waited.
        m_connecting = false;
        return;
    }
    if (survivesOutage()) {
        m_connecting = false;
        streamFailed();
        return;
    }
    // A server that cannot be reached is passed over for the next one; one
    // whose certificate or handshake fails says so, as a refusal does.
    if (m_serverNumber < static_cast<qint32>(m_servers.size())) {
        if (tlsFailed) {
            setTrayTip(m_preset.stationTitle + QStringLiteral(" -- ") + tlsText);
            setCaption(QStringLiteral("[ERR]: ") + tlsText + QStringLiteral(", trying server ") +
                       QString::number(m_serverNumber + 1) + QStringLiteral("..."));
        }
        ++m_serverNumber;
        m_stream->connectTo(m_servers.at(m_serverNumber - 1));
        return;
    }
    m_connecting = false;
    failRecording(tlsFailed ? QStringLiteral("The secure connection to the stream failed. ") + tlsText
                            : QStringLiteral("The computer could not connect to the stream!"));
    publishStatus();
}

void Recorder::onConnected()
{
    if (!m_connecting)
        return;
    m_connecting = false;
    if (!m_recording || m_unloaded) {
        // Stopped by the user (or a failure) while we waited.
        m_stream->close();
        return;
    }
    if (m_startPausedPending) {
        m_pausedStart = true;
        m_startPausedPending = false;
    }

    const StreamServer server = m_servers.at(m_serverNumber - 1);

    // Live365 stations send no titles in-band; their reader follows the station's pages.
    if (captureMode() == SetupSettings::CaptureStreamTitles && server.host.contains("live365") &&
        server.path.contains('/')) {
        const QByteArray station = server.path.mid(server.path.lastIndexOf('/') + 1);
        if (platform::isWholeNumber(station))
            m_live365->startStation(station, server.query.contains("AuthType=AFL"));
    }

    // Everything about the answer of this connection starts afresh.
    m_connectionAudio = false;
    // A stream that continues the open file may begin with audio it already holds.
    m_comparingFresh = m_connectionIsReconnect && !m_writtenTail.isEmpty();
    m_freshAudio.clear();

    if (captureMode() == SetupSettings::CaptureStreamTitles) {
        m_titleMode = true;
    } else {
        m_titleMode = false;
        if (!m_connectionIsReconnect) {
            openSongFile(plainFileName(), false);
            if (!m_recording)
                return; // the file could not be created
        }
    }

    if (isHls())
        startHlsStation();
    else
        m_stream->sendRequest(m_titleMode, browserAgentEnabled());
    // The supervisor measures the silence of this connection from its request,
    // not from before a connection wait that may have taken seconds.
    m_supervisor->requestSent();

    if ((!m_relay->listening && m_preset.listenAtStart) || m_pausedStart) {
        m_relay->startListening();
        m_listening = true;
    }
    m_supervisor->setActive(true);
}
