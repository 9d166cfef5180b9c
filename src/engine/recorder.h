#pragma once

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include "engine/headercollector.h"
#include "engine/metadataparser.h"
#include "platform/frontend.h"

class QTimer;
class Live365Reader;
class PreviewRelay;
class Socket;
class PlaylistReader;

// The hidden main window that hosts the recording engine. It is loaded once at
// start (ProgramContext::loadRecorder), never shown, and kept for the whole run.
//
// Layout, for those who extend it:
//  - public fields are the engine state other windows read and write by polling;
//    stream data (song names, header text, server lists) are bytes;
//  - the invisible components it hosts are children created in the constructor;
//  - handlers and operations keep their established names (load, ...);
class Recorder final : public QObject, private MetadataParser::Sink
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Recorder)

public:
    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override;

    // Start-up and exit.
    // The load handler: start values, volume, tray icon, then the command line.
    void load();
    // Unloading the main window removes the tray icon.
    void unload();
    // Runs the load handler again.
    void reload();
    // Opens a preset (.mvr) or playlist (.pls) named on the command line or stored
    // for the tray's Start Recording. Removes quotes and "-noop" from the text.
    // True when the file was accepted.
    bool openFile(QString &fileToLoad);
    // The tray menu's exit entry; also how an interrupt or terminate signal ends
    // the program. Closes a running recording first, then exits.
    void exitFromMenu();

    // Recording: the station's servers, the connection and the stream request.
    // Prepares a recording and starts resolving the station's playlist.
    bool startRecording();
    // Appends one server to the server list (one serverFound of the playlist reader).
    void addServer(const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query);
    // Begins the recording with server 1.
    void beginRecording();
    // Connects to server server, moving it on while servers cannot be reached,
    // and sends the stream request. The request text, its length and the third
    // value are not used: the request is always built from the template. With
    // reconnect the open file goes on; without it modes 1 and 3 open theirs.
    void connectToServer(const QByteArray &request, qint32 requestLength, qint32 unused, qint32 &server,
                         bool reconnect);

    // Recording files. Names are the uncleaned titles, followed by ".mp3".
    // Starts (or, while paused, schedules) the file of that name; fromTitle
    // tells that the name came from stream metadata.
    void openSongFile(QByteArray fileName, bool fromTitle = false);
    // Creates the file empty (or continues it, see openRecordingFile); false
    // when the fallback name had to be used, which then replaces fileName.
    bool createRecordingFile(QByteArray &fileName);
    // Appends audio to the open file (unless paused) and hands it to the relay.
    void writeAudio(const QByteArray &data);
    // Closes the file with its tag and closes the stream socket.
    void closeRecording();
    // Tags a finished file: artist and title from the name, or the station title.
    void tagRecordingFile(const QByteArray &fileName, bool fromTitle);
    // Where the recording file of that name lives.
    QString recordingPath(const QByteArray &name) const;

    // Supervisor.
    // Ends the recording: the file gets its tag, the socket closes, the state
    // and the tray menu return to idle.
    void stopRecording();
    // Pauses (audio is no longer written) or resumes; resuming opens the file of
    // a paused start or of a title that changed during the pause.
    void togglePause();
    // Ends the program after a failed or finished recording when the
    // configuration asks for it and the recording was not started from the
    // setup window (or data has flowed).
    void applyExitRule();
    // The supervisor tick, every 100 ms once the first request was sent.
    void superviseTick();
    // Deletes dated archive recordings older than the days to keep.
    void deleteOldArchives();
    // The current tick count, corrected when the counter changed sign since the
    // reference: elapsed times are the result minus the reference.
    static qint64 wrapCompensatedTick(qint32 current, qint32 reference);

    // Sets the status caption and tells the front end.
    void setCaption(const QString &caption);
    // Sets the tray tip and tells the front end.
    void setTrayTip(const QString &tip);
    const platform::TrayState &trayState() const { return m_tray; }
    bool hasTrayIcon() const { return m_trayIconAdded; }

    // Components hosted by the main window.
    PreviewRelay *m_relay = nullptr;                // the preview relay
    Live365Reader *m_live365 = nullptr;             // the Live365 station reader
    PlaylistReader *m_playlistReader = nullptr;     // resolves the station's playlist
    PlaylistReader *m_playlistFileReader = nullptr; // reads playlist files opened as documents
    Socket *m_socket = nullptr;                     // the stream socket
    QTimer *m_supervisorTimer = nullptr;            // the supervisor, every 100 ms

    // Engine state.
    bool m_awaitingHeader = true; // the response header is still expected
    qint16 m_fileNumber = -1;     // file number of the open recording; -1 when none
    bool m_recording = false;
    bool m_titleMode = false; // title metadata requested and in use
    bool m_live365Station = false;
    bool m_paused = false;
    bool m_listening = false; // listening through the relay is on
    qint32 m_serverNumber = 0;
    qint32 m_metaInterval = 0;
    qint32 m_metaCounter = 0;
    qint32 m_bitRate = 0;
    QByteArray m_songName;       // current song file name (title + ".mp3")
    QByteArray m_responseHeader; // the stream response header collected so far
    QString m_caption;           // status caption shown by the recording display
    // The server list: parallel lists with an unused empty entry 0.
    QList<QByteArray> m_serverHosts{QByteArray()};
    QList<QByteArray> m_serverPorts{QByteArray()};
    QList<QByteArray> m_serverPaths{QByteArray()};
    QList<QByteArray> m_serverQueries{QByteArray()};
    // Wanted listening volume 0-100; -1 when the mixer cannot be read.
    qint32 m_volume = -1;

    // Connection and response.
    qint32 m_metaLeftover = 0;          // bytes of a metadata block still to come
    QByteArray m_metaBlock;             // the part of that block gathered so far
    qint32 m_byteCount = 0;             // bytes received since the request was sent
    QString m_presetPath;               // the preset of the running recording
    qint32 m_headerEnd = 0;             // 1-based position of the blank line in the header packet
    bool m_changeServerPending = false; // asks the supervisor to change server
    // Files and pause.
    QByteArray m_pendingFileName; // file to open when a paused start ends
    QByteArray m_songAtPause;     // m_songName when the pause began
    // Supervisor.
    qint32 m_recordStart = 0;  // tick at which the elapsed clock started
    qint32 m_lastDataTick = 0; // tick of the last packet
    qint32 m_retryCount = 0;   // timeouts since the last packet
    qint32 m_pauseStart = 0;
    qint32 m_hoursPassed = 0;
    qint32 m_minutesPassed = 0;
    qint32 m_secondsPassed = 0;
    qint32 m_hoursLeft = 0;
    qint32 m_minutesLeft = 0;
    qint32 m_secondsLeft = 0;
    qint32 m_rawLeft = 0;

private:
    void setStartValues();
    void addTrayIcon(const QString &tip);
    void removeTrayIcon();
    bool loadFile(QString &fileToLoad);
    // Reads a playlist file named on the command line through m_playlistFileReader;
    // its servers start a recording when the reader is done.
    void startPlaylistFileRead(const QString &path);

    // Recording engine (frmmp3connection.cpp, frmmp3stream.cpp, frmmp3files.cpp).
    void connectRecordingComponents();
    void onDataArrived();
    void takePacket(QByteArray packet);
    void handleRefusal(const QByteArray &packet);
    void handleRedirect(const QByteArray &packet);
    void lateHeaderChecks(const QByteArray &packet);
    void titleModeHeader(const QByteArray &packet);
    void plainModeHeader(const QByteArray &packet);
    void parseResponseHeader(const QByteArray &packet, qsizetype headerPosition);
    void separateStream(QByteArray packet, qsizetype from = 0);
    void flushPacketAudio();
    void streamAudio(const QByteArray &packet, qsizetype from, qsizetype length) override;
    void metadataBlock(const QByteArray &text) override;
    bool openRecordingFile(const QString &path, bool mayContinue);
    // Supervisor (frmmp3supervisor.cpp).
    void changeServer();
    void supervise(qint64 now);
    void superviseSilence();
    void superviseClock(qint64 now);
    void setSupervisorCaption(const QString &caption);
    void setSupervisorTip(const QString &tip);
    void resetDataWatch();
    void endProgramAfterRecording();
    void setTrayMenuRecording(bool recording);
    void setTrayMenuEntry(platform::TrayMenuEntry &entry, const QString &caption, bool enabled);
    void pushTray();

    platform::TrayState m_tray;
    bool m_trayIconAdded = false;

    QFile m_file;             // the open recording file
    HeaderCollector m_header; // the response header while it arrives
    MetadataParser m_parser{m_metaInterval, m_metaCounter, m_metaLeftover, m_metaBlock};
    QByteArray m_work;                      // the packet being separated; its audio is gathered at its front
    qsizetype m_writePos = 0;               // end of the gathered audio in m_work
    qsizetype m_flushPos = 0;               // end of the audio already written from m_work
    QSet<QString> m_recordingFiles;         // files created by the running recording
    QHash<QString, qint64> m_taggedLengths; // audio length of files this recording tagged
    bool m_connecting = false;              // a connection attempt is waiting
    bool m_inTick = false;
    bool m_unloaded = false;              // the exit routine has unloaded the window; it only waits to be deleted
    bool m_connectionIsReconnect = false; // this connection continues the open file
};

// The system speaker volume in percent, or -1 when it cannot be read.
qint32 readMasterVolume();
