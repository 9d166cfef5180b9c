// Recorder, recording engine: turning the station into servers, connecting and
// sending the stream request.
#include "engine/recorder.h"

#include <QFile>
#include <QTimer>

#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/programcontext.h"
#include "engine/recordingnames.h"
#include "engine/streamrequest.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/frontend.h"
#include "sources/live365reader.h"
#include "sources/playlistreader.h"
#include "sources/previewrelay.h"
#include "sources/socket.h"

namespace
{

// A host that neither answers nor refuses is given up after this long.
constexpr qint64 kConnectLimitMs = 10000;
// Pause between two looks at a connecting socket, so the wait does not spin.
constexpr int kConnectPollMs = 5;

bool isWholeNumber(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

} // namespace

void Recorder::connectRecordingComponents()
{
    connect(m_playlistReader, &PlaylistReader::serverFound, this,
            [this](const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query) {
                addServer(host, path, port, query);
            });
    connect(m_playlistReader, &PlaylistReader::finished, this, [this] {
        if (m_serverHosts.size() > 1)
            beginRecording();
        else
            platform::frontEnd().showMessage(QStringLiteral("Empty MP3 server list due to error!"));
    });
    connect(m_playlistReader, &PlaylistReader::failed, this,
            [this](qint32 code) { m_playlistReader->showError(code); });
    connect(m_playlistFileReader, &PlaylistReader::serverFound, this,
            [this](const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query) {
                addServer(host, path, port, query);
            });
    connect(m_playlistFileReader, &PlaylistReader::finished, this, [this] {
        if (m_serverHosts.size() > 1) {
            Preset &config = program().configuration();
            config.stationTitle = QString::fromLocal8Bit(m_playlistFileReader->firstTitle);
            config.valid = true;
            platform::frontEnd().showRecordingDisplay();
            beginRecording();
        } else {
            platform::frontEnd().showMessage(QStringLiteral("Empty MP3 server list due to error!"));
        }
    });
    connect(m_playlistFileReader, &PlaylistReader::failed, this,
            [this](qint32 code) { m_playlistFileReader->showError(code); });
    connect(m_socket, &Socket::dataArrived, this, [this](qint64) { onDataArrived(); });
    connect(m_live365, &Live365Reader::titleChanged, this, [this](const QByteArray &artist, const QByteArray &title) {
        const QByteArray name = artist + QByteArrayLiteral(" - ") + title + QByteArrayLiteral(".mp3");
        // The reader reports the page again when the song should be over
        // and after every reconnect: the song being recorded keeps its
        // file rather than starting it again empty.
        if (name != m_songName)
            openSongFile(name, true);
    });
    connect(m_live365, &Live365Reader::stationNameFound, this,
            [this](const QByteArray &memberName) { m_live365->setStationName(memberName); });
    connect(m_live365, &Live365Reader::failed, this, [this](qint32 code) {
        m_live365->setStationName({});
        const QString message = m_live365->stopWithError(code);
        if (!message.isEmpty())
            platform::frontEnd().showMessage(message);
    });
    m_supervisorTimer->setInterval(100);
    connect(m_supervisorTimer, &QTimer::timeout, this, &Recorder::superviseTick);
}

void Recorder::startPlaylistFileRead(const QString &path)
{
    m_playlistFileReader->start(QFile::encodeName(path));
}

bool Recorder::startRecording()
{
    Preset &config = program().configuration();
    setCaption(QStringLiteral("Connecting to ") + config.stationTitle + QStringLiteral("..."));
    m_awaitingHeader = true;
    m_titleMode = false;
    m_recording = false;
    m_serverHosts = {QByteArray()};
    m_serverPorts = {QByteArray()};
    m_serverPaths = {QByteArray()};
    m_serverQueries = {QByteArray()};
    if (config.captureMode == 3)
        deleteOldArchives();
    m_playlistReader->start(QFile::encodeName(config.playlistAddress));
    m_presetPath = config.presetFilePath;
    return true;
}

void Recorder::addServer(const QByteArray &host, const QByteArray &path, const QByteArray &port,
                         const QByteArray &query)
{
    m_serverHosts.append(host);
    m_serverPorts.append(port);
    m_serverPaths.append(path);
    m_serverQueries.append(query);
}

void Recorder::beginRecording()
{
    setTrayMenuRecording(true);
    m_recordStart = platform::clock().tickCount();
    m_recording = true;
    m_songName.clear();
    m_serverNumber = 1;
    // A new recording starts its files empty; only a change of server within it continues them.
    m_recordingFiles.clear();
    m_taggedLengths.clear();
    resetDataWatch();
    connectToServer({}, 0, 0, m_serverNumber, false);
}

void Recorder::connectToServer(const QByteArray &, qint32, qint32, qint32 &server, bool reconnect)
{
    // Timer ticks and socket events run inside the wait below; none of them may
    // start a second connection attempt while this one waits.
    platform::WaitGuard guard(m_connecting);
    if (!guard.entered())
        return;

    if (m_fileNumber == -1)
        m_fileNumber = 1;
    const qint32 lastServer = static_cast<qint32>(m_serverHosts.size()) - 1;
    if (server > lastServer || server < 1) {
        platform::frontEnd().showMessage(QStringLiteral("All servers are full!"));
        stopRecording();
        applyExitRule();
        return;
    }

    setCaption(QStringLiteral("Connecting to ") + QString::fromLatin1(m_serverHosts.at(server)) +
               QStringLiteral("..."));
    platform::letPendingEventsRun();
    m_socket->close();

    for (;;) {
        m_socket->connectTo(m_serverHosts.at(server), m_serverPorts.at(server).trimmed().toUShort());
        const qint32 started = platform::clock().tickCount();
        Socket::State state = m_socket->state();
        while (state != Socket::State::Connected && state != Socket::State::Error) {
            const qint64 waited = wrapCompensatedTick(platform::clock().tickCount(), started) - started;
            if (waited >= kConnectLimitMs)
                break;
            platform::letPendingEventsRun();
            if (!m_recording) {
                // Stopped by the user (or a failure) while we waited.
                m_socket->close();
                return;
            }
            platform::clock().sleep(kConnectPollMs);
            state = m_socket->state();
        }
        if (state == Socket::State::Connected)
            break;
        if (server < lastServer) {
            ++server;
            m_socket->close();
            continue;
        }
        m_socket->close();
        platform::frontEnd().showMessage(QStringLiteral("The computer could not connect to the stream!"));
        stopRecording();
        applyExitRule();
        return;
    }

    Preset &config = program().configuration();
    if (config.startPaused) {
        config.pausedStart = true;
        config.startPaused = false;
    }

    const QByteArray &host = m_serverHosts.at(server);
    const QByteArray &path = m_serverPaths.at(server);
    const QByteArray &query = m_serverQueries.at(server);

    // Live365 stations send no titles in-band; their reader follows the station's pages.
    if (config.captureMode == 2 && host.contains("live365") && path.contains('/')) {
        const QByteArray station = path.mid(path.lastIndexOf('/') + 1);
        if (isWholeNumber(station))
            m_live365->startStation(station, query.contains("AuthType=AFL"));
    }

    // Everything about the answer of this connection starts afresh.
    m_awaitingHeader = true;
    m_header.clear();
    m_connectionIsReconnect = reconnect;
    m_metaLeftover = 0;
    m_metaBlock.clear();

    if (config.captureMode == 2) {
        m_titleMode = true;
    } else {
        m_titleMode = false;
        if (!reconnect) {
            const QByteArray name = config.recordingFileName.toLocal8Bit();
            openSongFile(config.captureMode == 1 ? name : engine::datedFileName(name, platform::clock().now().date()),
                         false);
        }
    }

    m_socket->send(buildStreamRequest(host, m_serverPorts.at(server), path, query, m_titleMode, browserAgentEnabled()));
    // The supervisor measures the silence of this connection from its request,
    // not from before a connection wait that may have taken seconds.
    m_lastDataTick = platform::clock().tickCount();

    if ((!m_relay->listening && config.listenAtStart) || config.pausedStart) {
        m_relay->startListening();
        m_listening = true;
    }
    m_supervisorTimer->start();
    m_byteCount = 0;
}
