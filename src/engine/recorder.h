#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

#include "config/preset.h"
#include "engine/recordingclock.h"
#include "engine/recordingrequest.h"
#include "engine/recordingstatus.h"
#include "engine/recordingwriter.h"
#include "engine/responseheader.h"
#include "engine/streamconnection.h"
#include "engine/streamoverlap.h"
#include "engine/streamtype.h"
#include "engine/supervisor.h"
#include "platform/audiodevices.h"
#include "platform/clock.h"
#include "platform/frontend.h"

class Live365Reader;
class PlaylistReader;
class PreviewRelay;
class QNetworkAccessManager;
namespace sources
{
class HlsStation;
namespace hls
{
enum class AudioFormat;
}
} // namespace sources

// The recording engine: resolves the station's playlist, connects to one
// server after another, separates audio from title metadata, writes the
// recording files and supervises the recording. Supervision runs when
// something is due (a silence deadline, the time limit, a server change, the
// next second of a clock a window shows), and the stream is read in batches
// of about a second, so that a steady recording wakes the program rarely.
//
// Windows and front ends never touch its state: they read it through status()
// and the other const accessors, hear of changes through the signals, and act
// through the commands. A recording starts from a copy of everything it needs
// (a RecordingRequest, or the draft a command was given) and works from that
// copy alone; the run-time flags of a recording (started from the setup
// window, a paused start) are its own.
//
// Nothing here blocks: connection waits are ConnectionWait states, and the
// short holds after a new file or a title-mode header defer the data that
// arrives meanwhile, which is then handled in order.
//
// The class is spread over files by duty: recorder.cpp (start-up, commands,
// status), recorderconnection.cpp, recorderstream.cpp, recorderfiles.cpp,
// recorderoutage.cpp and recordersupervisor.cpp; the deadlines, retries and
// outage rounds it acts on are kept by its engine::Supervisor.
class Recorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Recorder)
    friend class RecorderTestPeer;

public:
    struct Options
    {
        // Windows can show what went wrong: a failed start or recording does
        // not end the program by itself.
        bool showsWindows = true;
        // Something shows the elapsed time: it is brought up to date every second.
        bool showsTime = true;
        // A recording that can no longer write asks to exit with status 1 (a run
        // without windows, which has nothing else to do).
        bool exitOnWriteFailure = false;
        // The stream is read in batches of about a second rather than packet by packet.
        bool readInBatches = true;
    };

    // audio is what listening plays through and where the master volume is read.
    Recorder(QNetworkAccessManager &network, platform::Clock &clock, const platform::AudioDevices &audio,
             const Options &options, QObject *parent = nullptr);
    ~Recorder() override;

    // Start-up and exit.
    // The commands that open files fill the draft they are given (the record
    // that windows and preset files fill) and start from a copy of it; the
    // recorder keeps no hold on it.
    // Start values, volume and tray, then the file named on the command line
    // (empty: none). A failed start asks to exit with status 1.
    void load(Preset &draft, const QString &commandLine = QString());
    // The recorder is going away; its supervisor stops and it does nothing more.
    void unload();

    // Commands.
    // Starts the recording the request describes, from the request alone.
    bool start(const RecordingRequest &request);
    // The tray's Start Recording: the stored preset again.
    void startStoredPreset(Preset &draft);
    // A preset file was loaded or saved, so startStoredPreset has something to start.
    bool hasStoredPreset() const { return !m_presetPath.isEmpty(); }
    // Ends the recording: the file gets its tag, the socket closes.
    void stopRecording();
    // Pauses (audio is no longer written) or resumes.
    void togglePause();
    // Listening on or off (the tray's and the display's Listen).
    void toggleListening();
    // The tray's exit: asks to exit; the exit closes a running recording.
    void exitFromMenu();
    // The program ends: a running recording's file is completed, closed and
    // tagged, without telling anyone.
    void closeForExit();
    // The listening volume the display asks for, 0-100.
    void setVolume(qint32 volume);
    // The display was shown or hidden: the tray's display entry offers the other.
    void setDisplayShown(bool shown);

    // What windows read.
    RecordingStatus status() const;
    bool isRecording() const { return m_recording; }
    qint32 volume() const { return m_volume; }
    // The network access manager its readers use, for windows that read playlists too.
    QNetworkAccessManager &network() const { return m_network; }

Q_SIGNALS:
    // At most once per event or tick, when anything in status() changed.
    void statusChanged(const RecordingStatus &status);
    void captionChanged(const QString &caption);
    void trayChanged(const platform::TrayState &tray);
    // A new song file was opened (title mode) under this name.
    void songStarted(const QByteArray &fileName);
    void recordingStarted();
    void recordingStopped();
    // A message for the user; the recorder goes on without waiting for it.
    void messageRequested(const QString &text);
    void setupWindowRequested(bool fillFromPreset);
    // A playlist file named its station: the draft learns it, so that the
    // setup window offers it again.
    void stationNamed(const QString &title);
    void displayRequested();
    // The program should end with this status once control is back in the event loop.
    void exitRequested(int status);

private:
    // What tests and benchmarks drive and read through RecorderTestPeer, beyond
    // the commands, the status and the signals.
    // Runs the start-up again without a command line.
    void reload(Preset &draft);
    // Opens a preset (.mvr) or playlist (.pls) as named on the command line or
    // stored for the tray's Start Recording; quotes and "-noop" are taken out of
    // the text. True when the file was accepted.
    bool openFile(QString &fileToLoad, Preset &draft);
    // Steps of a recording.
    // Appends one server to the server list.
    void addServer(const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query,
                   bool secure = false);
    // Replaces entry number (1-based) of the server list; forgets the whole list.
    void replaceServer(qint32 number, const StreamServer &server);
    void clearServers() { m_servers.clear(); }
    // Begins recording the servers already in the list, with server 1, from a
    // copy of the preset.
    void beginRecording(const Preset &preset);
    // One supervision pass (run whenever something is due).
    void superviseTick();
    // Ends the program after a failed or finished recording when the preset
    // asks for it and the recording was not started from the setup window.
    void applyExitRule(bool failed = false);
    // Off: supervision runs only when superviseTick is called (tests drive it).
    void setAutomaticSupervision(bool on);

    // State.
    const platform::TrayState &trayState() const { return m_tray; }
    bool hasTrayIcon() const { return m_trayIconAdded; }
    const QString &caption() const { return m_caption; }
    bool isPaused() const { return m_paused; }
    bool isListening() const { return m_listening; }
    bool isTitleMode() const { return m_titleMode; }
    bool isConnecting() const { return m_connecting; }
    const QByteArray &songName() const { return m_songName; }
    const QByteArray &pendingFileName() const { return m_pendingFileName; }
    const QByteArray &responseHeader() const { return m_responseHeader; }
    qint32 bitRate() const { return m_bitRate; }
    qint32 serverNumber() const { return m_serverNumber; }
    const QList<StreamServer> &servers() const { return m_servers; }
    qint32 byteCount() const { return isHls() ? m_hlsBytes : m_stream->byteCount(); }
    bool isServerChangePending() const { return m_changeServerPending; }
    bool isFileOpen() const;
    // The file being written, or the last one; empty before the first.
    QString recordingFilePath() const;
    bool isAwaitingHeader() const { return awaitingHeader(); }
    // Bytes of reconnected streams that repeated audio already written, and
    // the reconnects they came with.
    qint64 repeatedBytesSkipped() const { return m_repeatedSkipped; }
    qint32 reconnectCount() const { return m_reconnects; }
    // What the current stream carries, from its last response header.
    engine::StreamType streamType() const { return m_streamType; }
    const MetadataParser &metadataParser() const { return m_stream->metadataParser(); }
    const PreviewRelay &relay() const { return *m_relay; }
    Live365Reader &live365Reader() const { return *m_live365; }
    bool startedFromSetupWindow() const { return m_startedFromSetupWindow; }
    // Marks the recording as the setup window's: a failure then never ends the program.
    void setStartedFromSetupWindow(bool fromSetupWindow) { m_startedFromSetupWindow = fromSetupWindow; }
    bool isPausedStart() const { return m_pausedStart; }
    const engine::RecordingClock &recordingClock() const { return m_clock; }
    // A recording that can no longer write asks to exit with status 1.
    void setExitOnWriteFailure(bool exit) { m_options.exitOnWriteFailure = exit; }
    // Windows were opened or closed meanwhile.
    void setShowsWindows(bool shows) { m_options.showsWindows = shows; }

    // Start-up and files named on the command line (recorder.cpp).
    void setStartValues();
    bool loadFile(QString &fileToLoad, Preset &draft);
    void startPlaylistFileRead(const QString &path);
    void setCaption(const QString &caption);
    void setTrayTip(const QString &tip);
    void addTrayIcon(const QString &tip);
    void pushTray();
    platform::TrayLook trayLook() const;
    void publishStatus();
    void requestExit(int status);

    // Connection (recorderconnection.cpp).
    void connectComponents();
    void connectToServer(qint32 server, bool reconnect);
    // Begins the recording from the copy it already holds.
    void beginTakenRecording();
    void onConnectFailed(bool tls, const QString &text);
    void onConnected();
    void connectionFailed();
    void playlistFailed(const QString &text);

    // Stream (recorderstream.cpp).
    void connectStream();
    bool awaitingHeader() const { return !isHls() && m_stream->phase() != StreamConnection::Phase::Streaming; }
    // Where the audio and titles of any source arrive.
    void takeTitle(const QByteArray &title);
    // The title names a song other than the one being recorded.
    bool titleStartsSong(const QByteArray &title) const;
    void handleRefusal(const QByteArray &packet);
    void refuseServer(const engine::RefusalTexts &texts, const QString &lastServerMessage);
    void refuseEndlessHeader();
    bool acceptStreamType(const QByteArray &header);
    QByteArray plainFileName() const;
    void retypePlainFile();
    void onStreamClosed();
    void handleRedirect(const QByteArray &packet);
    void lateHeaderChecks(const QByteArray &packet);
    void titleModeHeader(const QByteArray &packet);
    void plainModeHeader(const QByteArray &packet);
    void parseResponseHeader(const QByteArray &packet, qsizetype headerPosition, qint32 metaInterval);

    // Files (recorderfiles.cpp).
    void openSongFile(QByteArray fileName, bool fromTitle = false);
    void finishFile(bool fromTitle);
    bool createRecordingFile(const QByteArray &songName, bool fromTitle);
    void setStreamType(engine::StreamType type);
    engine::CaptureMode captureMode() const { return engine::captureModeOf(m_preset); }
    void writeAudio(const QByteArray &data);
    void checkRecordingFile();
    void recordingFailed(const QString &path, const QString &reason);
    void closeRecording();
    // Ends the stream connection and forgets what it had begun to deliver.
    void dropConnection();

    // HTTP Live Streaming stations (recorderhls.cpp): the playlist of a
    // server marked hls (the station's address, or an entry that answered
    // with one) stands in for its stream, and the segments' audio and titles
    // enter where a stream's do.
    bool isHls() const { return m_hls != nullptr; }
    void beginHlsRecording(const QUrl &url, const QByteArray &playlist);
    void createHlsStation(const QUrl &url, qint32 server);
    void followHlsServer(const QByteArray &playlist);
    static QUrl hlsServerUrl(const StreamServer &server);
    void dropHls();
    void startHlsStation();
    void takeHlsAudio(const QByteArray &data, sources::hls::AudioFormat format);
    void takeHlsTitle(const QString &artist, const QString &title);
    QString hlsLostText() const;

    // Outages and repeated audio (recorderoutage.cpp).
    bool survivesOutage() const;
    void streamFailed();
    void outageStep();
    void outageExpired();
    void endOutage();
    void cancelOutage();
    void setOutageCaption();
    void takeAudio(const QByteArray &data);
    void settleFreshAudio(bool final);
    void rememberWritten(const QByteArray &data);
    void failRecording(const QString &message);

    // Supervisor (recordersupervisor.cpp).
    void changeServer();
    void supervise(qint64 now);
    void superviseSilence();
    void reconnectAfterTimeout(bool closedByPeer = false);
    void superviseClock(qint64 now);
    // Supervision is wanted now (a server change, a pause, a new connection).
    void superviseSoon();
    // The connection is dropped at the next supervision, for the next server.
    void requestServerChange();
    // Reads the stream in batches of about a second unless it must be heard at once.
    void updateReadThreshold();
    void setSupervisorCaption(const QString &caption);
    void setSupervisorTip(const QString &tip);
    void endProgramAfterRecording(int status);
    void setTrayMenuRecording(bool recording);
    void setTrayEntryOn(platform::TrayMenuEntry &entry, bool on);
    void clearClock();

    platform::Clock &m_time;
    Options m_options;
    // The running recording's own copy of it, taken when the recording starts, so
    // that editing or saving the draft meanwhile never changes where or how it records.
    Preset m_preset;

    // Components.
    QNetworkAccessManager &m_network;
    platform::Mixer &m_mixer;
    PreviewRelay *m_relay;
    Live365Reader *m_live365;
    PlaylistReader *m_playlistReader;     // resolves the station's playlist
    PlaylistReader *m_playlistFileReader; // reads playlist files opened as documents
    StreamConnection *m_stream;           // the connection to the current server
    // Deadlines, retries and outages of the running recording.
    engine::Supervisor *m_supervisor;

    // Tray and caption.
    platform::TrayState m_tray;
    bool m_trayIconAdded = false;
    QString m_caption;
    RecordingStatus m_publishedStatus;

    // Recording state.
    bool m_recording = false;
    bool m_titleMode = false; // title metadata requested and in use
    bool m_live365Station = false;
    bool m_paused = false;
    bool m_listening = false; // listening through the relay is on
    bool m_startedFromSetupWindow = false;
    bool m_pausedStart = false;        // the first file waits for the end of a pause
    bool m_startPausedPending = false; // the preset asks to start paused; taken at the first connection
    qint32 m_serverNumber = 0;         // 1-based; 0 before the first connection
    qint32 m_bitRate = 0;
    QByteArray m_songName;       // current song file name (title + ".mp3")
    QByteArray m_responseHeader; // the stream response header
    QList<StreamServer> m_servers;
    qint32 m_volume = -1; // wanted listening volume 0-100; -1 when the mixer cannot be read

    // Connection and response.
    QString m_presetPath; // the preset of the running recording
    bool m_changeServerPending = false;
    bool m_connecting = false;
    bool m_connectionIsReconnect = false; // this connection continues the open file
    qint32 m_connectServer = 0;           // the server a connection attempt is on
    engine::StreamType m_streamType = engine::StreamType::Mp3;
    int m_redirectsInRow = 0; // redirects followed for server entry m_redirectEntry
    qint32 m_redirectEntry = 0;
    bool m_commandLineStart = false; // the recording being started was named on the command line

    // Once a server delivered audio, losing it is an outage, reconnected for a while.
    bool m_audioSeen = false;       // a server delivered audio in this recording
    bool m_connectionAudio = false; // the current connection delivered audio
    // Repeats after a reconnect: the last audio written, and the start of the
    // reconnected stream while it is being compared with it.
    engine::WrittenTail m_writtenTail;
    QByteArray m_freshAudio;
    bool m_comparingFresh = false;
    qint64 m_repeatedSkipped = 0;
    qint32 m_reconnects = 0;

    // HLS: the station of the current server (none for a stream), the
    // playlist it was found with, a title waiting for its audio, seconds lost.
    sources::HlsStation *m_hls = nullptr;
    QUrl m_hlsUrl;
    qint32 m_hlsServer = 0; // the server m_hls follows
    QByteArray m_hlsPlaylist;
    QByteArray m_hlsTitle;
    double m_hlsLostSeconds = 0;
    qint32 m_hlsBytes = 0; // audio bytes since "connecting", as a stream counts its bytes

    // Files and pause.
    std::unique_ptr<engine::RecordingWriter> m_writer; // the running (or last) recording's files
    QByteArray m_pendingFileName;                      // file to open when a paused start ends
    QByteArray m_songAtPause;                          // m_songName when the pause began

    engine::RecordingClock m_clock; // elapsed and remaining time shown
    bool m_inTick = false;
    bool m_unloaded = false;
};
