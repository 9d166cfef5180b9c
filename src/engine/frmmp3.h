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
class ctlLive365TitleReader;
class ctlMP3Server;
class ctlSocket;
class ctlURIGrabber;

// The hidden main window that hosts the recording engine. It is loaded once at
// start (ProgramContext::loadMainWindow), never shown, and kept for the whole run.
//
// Layout, for those who extend it:
//  - public fields are the engine state other windows read and write by polling;
//    stream data (song names, header text, server lists) are bytes;
//  - the invisible components it hosts are children created in the constructor;
//  - handlers and operations keep their established names (Form_Load, ...);
class frmMP3 final : public QObject, private MetadataParser::Sink
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMP3)

public:
    explicit frmMP3(QObject *parent = nullptr);
    ~frmMP3() override;

    // Start-up and exit.
    // The load handler: start values, volume, tray icon, then the command line.
    void Form_Load();
    // Unloading the main window removes the tray icon.
    void Form_Unload();
    // Runs the load handler again.
    void Initialize();
    // Opens a preset (.mvr) or playlist (.pls) named on the command line or stored
    // for the tray's Start Recording. Removes quotes and "-noop" from the text.
    // True when the file was accepted.
    bool LoadConfigurationFile(QString &strFileToLoad);
    // The tray menu's exit entry; also how an interrupt or terminate signal ends
    // the program. Closes a running recording first, then exits.
    void mPopExit_Click();

    // Recording: the station's servers, the connection and the stream request.
    // Prepares a recording and starts resolving the station's playlist.
    bool InitializeMP3Recorder();
    // Appends one server to the server list (one URLRaise of the playlist reader).
    void AddServer(const QByteArray &sIPAddress, const QByteArray &sPath, const QByteArray &sPort,
                   const QByteArray &sQueryString);
    // Begins the recording with server 1.
    void StartRecording();
    // Connects to server lServer, moving it on while servers cannot be reached,
    // and sends the stream request. The request text, its length and the third
    // value are not used: the request is always built from the template. With
    // blnReconnect the open file goes on; without it modes 1 and 3 open theirs.
    void ConnectToServer(const QByteArray &strRequest, qint32 lngRequestLength, qint32 lngUnused, qint32 &lServer,
                         bool blnReconnect);

    // Recording files. Names are the uncleaned titles, followed by ".mp3".
    // Starts (or, while paused, schedules) the file of that name; blnICYName
    // tells that the name came from stream metadata.
    void OpenMP3File(QByteArray strFileName, bool blnICYName = false);
    // Creates the file empty (or continues it, see openRecordingFile); false
    // when the fallback name had to be used, which then replaces strFileName.
    bool CreateMP3File(QByteArray &strFileName);
    // Appends audio to the open file (unless paused) and hands it to the relay.
    void WriteAudio(const QByteArray &data);
    // Closes the file with its tag and closes the stream socket.
    void CloseRecording();
    // Tags a finished file: artist and title from the name, or the station title.
    void TagMP3File(const QByteArray &strFileName, bool blnICYName);
    // Where the recording file of that name lives.
    QString recordingPath(const QByteArray &name) const;

    // Supervisor.
    // Ends the recording: the file gets its tag, the socket closes, the state
    // and the tray menu return to idle.
    void StopRecording();
    // Pauses (audio is no longer written) or resumes; resuming opens the file of
    // a paused start or of a title that changed during the pause.
    void TogglePause();
    // Ends the program after a failed or finished recording when the
    // configuration asks for it and the recording was not started from the
    // setup window (or data has flowed).
    void ApplyExitRule();
    // The supervisor tick, every 100 ms once the first request was sent.
    void Timer1_Timer();
    // Deletes dated archive recordings older than the days to keep.
    void MP3Cleanup();
    // The current tick count, corrected when the counter changed sign since the
    // reference: elapsed times are the result minus the reference.
    static qint64 GetTickCountWrapCompensation(qint32 current, qint32 reference);

    // Sets the status caption and tells the front end.
    void setSongCaption(const QString &caption);
    // Sets the tray tip and tells the front end.
    void setTrayTip(const QString &tip);
    const platform::TrayState &trayState() const { return m_tray; }
    bool hasTrayIcon() const { return m_trayIconAdded; }

    // Components hosted by the main window.
    ::ctlMP3Server *ctlMP3Server = nullptr;      // the preview relay
    ctlLive365TitleReader *ctlLive365 = nullptr; // the Live365 station reader
    ctlURIGrabber *URIGrabber = nullptr;         // resolves the station's playlist
    ctlURIGrabber *ctlURIPLSRead = nullptr;      // reads playlist files opened as documents
    ctlSocket *WS = nullptr;                     // the stream socket
    QTimer *Timer1 = nullptr;                    // the supervisor, every 100 ms

    // Engine state.
    bool bIcy = true; // the response header is still expected
    qint16 FF = -1;   // file number of the open recording; -1 when none
    bool blnRecording = false;
    bool blnIcyReal = false; // title metadata requested and in use
    bool blnLive365 = false;
    bool blnPaused = false;
    bool blnPreviewToggle = false; // listening through the relay is on
    qint32 lServerNumber = 0;
    qint32 lngMetaDataLength = 0;
    qint32 lngMetaDataCounter = 0;
    qint32 lngBitRate = 0;
    QByteArray strSongName;  // current song file name (title + ".mp3")
    QByteArray strICYHeader; // the stream response header collected so far
    QString sSongCaption;    // status caption shown by the recording display
    // The server list: parallel lists with an unused empty entry 0.
    QList<QByteArray> sServerHosts{QByteArray()};
    QList<QByteArray> sServerPorts{QByteArray()};
    QList<QByteArray> sServerPaths{QByteArray()};
    QList<QByteArray> sServerQueries{QByteArray()};
    // Wanted listening volume 0-100; -1 when the mixer cannot be read.
    qint32 lngVolume = -1;

    // Connection and response.
    qint32 lngLeftoverStrip = 0;     // bytes of a metadata block still to come
    QByteArray strLeftoverSongStrip; // the part of that block gathered so far
    qint32 lByteCount = 0;           // bytes received since the request was sent
    QString strConfigName;           // the preset of the running recording
    qint32 headerLoc = 0;            // 1-based position of the blank line in the header packet
    bool blnDisconnect = false;      // asks the supervisor to change server
    // Files and pause.
    QByteArray sPendingFileName;  // file to open when a paused start ends
    QByteArray blnPausedFileName; // strSongName when the pause began
    // Supervisor.
    qint32 lRecordStart = 0;  // tick at which the elapsed clock started
    qint32 lLastDataTick = 0; // tick of the last packet
    qint32 lRetryCount = 0;   // timeouts since the last packet
    qint32 lPauseStart = 0;
    qint32 lngHoursPassed = 0;
    qint32 lngMinutesPassed = 0;
    qint32 lngSecondsPassed = 0;
    qint32 lngHoursLeft = 0;
    qint32 lngMinutesLeft = 0;
    qint32 lngSecondsLeft = 0;
    qint32 lngRawLeft = 0;

private:
    void setStartValues();
    void addTrayIcon(const QString &tip);
    void removeTrayIcon();
    bool loadFile(QString &strFileToLoad);
    // Reads a playlist file named on the command line through ctlURIPLSRead;
    // its servers start a recording when the reader is done.
    void startPlaylistFileRead(const QString &path);

    // Recording engine (frmmp3connection.cpp, frmmp3stream.cpp, frmmp3files.cpp).
    void connectRecordingComponents();
    void WS_DataArrival();
    void takePacket(QByteArray packet);
    void handleRefusal(const QByteArray &packet);
    void handleRedirect(const QByteArray &packet);
    void lateHeaderChecks(const QByteArray &packet);
    void titleModeHeader(const QByteArray &packet);
    void plainModeHeader(const QByteArray &packet);
    void ParseResponseHeader(const QByteArray &packet, qsizetype headerPosition);
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
    MetadataParser m_parser{lngMetaDataLength, lngMetaDataCounter, lngLeftoverStrip, strLeftoverSongStrip};
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
