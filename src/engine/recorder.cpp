#include "engine/recorder.h"

#include <exception>

#include "config/inivalues.h"
#include "config/preset.h"
#include "config/setupsettings.h"
#include "engine/startup.h"
#include "platform/mastervolume.h"
#include "platform/paths.h"
#include "sources/live365reader.h"
#include "sources/playlistreader.h"
#include "sources/previewrelay.h"

namespace
{

const QString kNoOperationFlag = QStringLiteral("-noop");

} // namespace

Recorder::Recorder(QNetworkAccessManager &network, platform::Clock &clock, const platform::AudioDevices &audio,
                   const Options &options, QObject *parent)
    : QObject(parent)
    , m_time(clock)
    , m_options(options)
    , m_network(network)
    , m_mixer(audio.mixer)
    , m_relay(new PreviewRelay(audio, this))
    , m_live365(new Live365Reader(network, clock, this))
    , m_playlistReader(new PlaylistReader(network, clock, this))
    , m_playlistFileReader(new PlaylistReader(network, clock, this))
    , m_stream(new StreamConnection(clock, this))
    , m_supervisor(new engine::Supervisor(clock, options.showsTime, this))
{
    connect(m_supervisor, &engine::Supervisor::passDue, this, &Recorder::superviseTick);
    connect(m_supervisor, &engine::Supervisor::outageAttemptDue, this, &Recorder::outageStep);
    connectComponents();
    connect(m_relay, &PreviewRelay::messageRequested, this, &Recorder::messageRequested);
    // Listening that failed is off, in the tray, the display and for the next recording.
    connect(m_relay, &PreviewRelay::listeningFailed, this, [this] {
        m_listening = false;
        setTrayEntryOn(m_tray.listen, false);
        publishStatus();
    });
}

Recorder::~Recorder()
{
    m_trayIconAdded = false;
}

void Recorder::load(Preset &draft, const QString &commandLine)
{
    setStartValues();
    m_relay->stopListening();
    m_volume = masterVolume(m_mixer);
    addTrayIcon(QStringLiteral("Kestrane"));
    setCaption(QStringLiteral("Initializing..."));

    m_commandLineStart = !commandLine.isEmpty();
    if (!commandLine.isEmpty()) {
        QString fileToLoad = commandLine;
        if (!openFile(fileToLoad, draft)) {
            requestExit(kExitStartFailed);
            return;
        }
    }
    publishStatus();
}

void Recorder::unload()
{
    // The object may outlive its unload until control is back in the event
    // loop; it does nothing more.
    m_unloaded = true;
    m_supervisor->setActive(false);
    m_stream->close();
    m_trayIconAdded = false;
}

void Recorder::reload(Preset &draft)
{
    load(draft);
}

void Recorder::setStartValues()
{
    m_recording = false;
    m_titleMode = false;
    m_live365Station = false;
    m_paused = false;
    m_listening = false;
    m_serverNumber = 0;
    m_stream->resetParser();
    m_bitRate = 0;
    m_songName.clear();
    m_responseHeader.clear();
    m_caption.clear();
    m_servers.clear();
}

bool Recorder::openFile(QString &fileToLoad, Preset &draft)
{
    try {
        return loadFile(fileToLoad, draft);
    } catch (const std::exception &) {
        Q_EMIT messageRequested(QStringLiteral("Preset file is invalid! (Check that there are six lines exactly)"));
        return false;
    }
}

bool Recorder::loadFile(QString &fileToLoad, Preset &draft)
{
    fileToLoad.remove(QLatin1Char('"'));
    // The flag is cut as the last six characters (" -noop"), wherever it stands.
    const bool noOperation = fileToLoad.contains(kNoOperationFlag);
    if (noOperation)
        fileToLoad.chop(6);

    if (fileToLoad.endsWith(QStringLiteral(".mvr"))) {
        if (!platform::fileExists(fileToLoad)) {
            Q_EMIT messageRequested(QStringLiteral("The preset file specified does not exist!"));
            return false;
        }
        if (!draft.load(fileToLoad)) {
            // Only a preset that ran out of lines has no text of its own.
            Q_EMIT messageRequested(
                draft.failureText().isEmpty()
                    ? QStringLiteral("The preset file is invalid! (Check that there are six lines exactly)")
                    : draft.failureText());
            return false;
        }
        if (noOperation) {
            Q_EMIT setupWindowRequested(true);
            return true;
        }
        // The preset was accepted whatever the recorder makes of it.
        // Listening goes to the player the setup window chose, as for its own starts.
        start({draft, {}, false, false, loadExternalPlayer()});
        return true;
    }

    if (fileToLoad.endsWith(QStringLiteral(".pls"))) {
        draft.reset();
        draft.playlistAddress = fileToLoad;
        draft.timeLimitMinutes = 0;
        draft.timeLimited = false;
        draft.saveFolder = platform::withTrailingSeparator(defaultRecordingFolder(true));
        m_preset = draft;
        m_startedFromSetupWindow = false;
        // "-noop" with a playlist starts the recording paused.
        m_pausedStart = noOperation;
        m_relay->setExternalPlayer(loadExternalPlayer());
        startPlaylistFileRead(fileToLoad);
        return true;
    }

    Q_EMIT messageRequested(
        QStringLiteral("This is not a supported filetype to load! (Ombrex currently only supports preset files (.mvr) "
                       "and Shoutcase playlists (.pls)!)"));
    return false;
}

void Recorder::startStoredPreset(Preset &draft)
{
    if (m_recording || m_presetPath.isEmpty())
        return;
    QString path = m_presetPath;
    openFile(path, draft);
    publishStatus();
}

void Recorder::toggleListening()
{
    m_listening = !m_listening;
    if (m_recording) {
        if (m_listening)
            m_relay->startListening();
        else
            m_relay->stopListening();
    }
    updateReadThreshold();
    setTrayEntryOn(m_tray.listen, m_listening);
    publishStatus();
}

void Recorder::setVolume(qint32 volume)
{
    m_volume = volume;
    // The supervisor hands it to the relay.
    superviseSoon();
}

void Recorder::setDisplayShown(bool shown)
{
    if (m_tray.toggleDisplay.on != shown)
        setTrayEntryOn(m_tray.toggleDisplay, shown);
}

void Recorder::exitFromMenu()
{
    // The exit closes and tags a running recording first.
    requestExit(kExitNormal);
}

void Recorder::closeForExit()
{
    // What a reconnected stream brought is written before the file closes.
    settleFreshAudio(true);
    if (m_recording) {
        closeRecording();
        m_recording = false;
    }
}

void Recorder::requestExit(int status)
{
    // The application ends the program once control is back in the event loop;
    // the recorder does nothing more meanwhile.
    m_supervisor->setActive(false);
    Q_EMIT exitRequested(status);
}

void Recorder::setAutomaticSupervision(bool on)
{
    m_supervisor->setAutomatic(on);
}

void Recorder::setCaption(const QString &caption)
{
    m_caption = caption;
    Q_EMIT captionChanged(caption);
    // An error caption turns the tray icon, which otherwise changes with the tray's state.
    if (m_tray.look != trayLook())
        pushTray();
}

platform::TrayLook Recorder::trayLook() const
{
    if (!m_recording)
        return platform::TrayLook::Idle;
    if (m_paused)
        return platform::TrayLook::Paused;
    if (m_caption.startsWith(QStringLiteral("[ERR]")))
        return platform::TrayLook::Error;
    return platform::TrayLook::Recording;
}

void Recorder::setTrayTip(const QString &tip)
{
    // The tray tip holds 64 characters.
    m_tray.tip = tip.left(64);
    pushTray();
}

void Recorder::pushTray()
{
    m_tray.look = trayLook();
    if (m_trayIconAdded)
        Q_EMIT trayChanged(m_tray);
}

void Recorder::addTrayIcon(const QString &tip)
{
    m_trayIconAdded = true;
    setTrayTip(tip);
}

RecordingStatus Recorder::status() const
{
    RecordingStatus status;
    if (m_recording) {
        if (m_paused)
            status.state = RecordingStatus::State::Paused;
        else if (m_connecting || awaitingHeader())
            status.state = RecordingStatus::State::Connecting;
        else
            status.state = RecordingStatus::State::Recording;
    } else if (m_playlistReader->isRequestPending() || m_playlistFileReader->isRequestPending()) {
        status.state = RecordingStatus::State::Connecting;
    }
    status.recording = m_recording;
    status.timed = m_recording && m_preset.timeLimited;
    status.hoursPassed = m_clock.hoursPassed;
    status.minutesPassed = m_clock.minutesPassed;
    status.secondsPassed = m_clock.secondsPassed;
    status.hoursLeft = m_clock.hoursLeft;
    status.minutesLeft = m_clock.minutesLeft;
    status.secondsLeft = m_clock.secondsLeft;
    status.bitRate = m_bitRate;
    status.stationTitle = m_preset.stationTitle;
    status.song = m_songName;
    status.caption = m_caption;
    status.trayTip = m_tray.tip;
    status.serverNumber = m_serverNumber;
    status.listening = m_listening;
    status.paused = m_paused;
    status.unreachable = m_recording && m_supervisor->inOutage();
    if (status.unreachable)
        status.unreachableSince = m_supervisor->outageSince();
    return status;
}

void Recorder::publishStatus()
{
    if (m_unloaded)
        return;
    RecordingStatus current = status();
    if (current == m_publishedStatus)
        return;
    m_publishedStatus = std::move(current);
    Q_EMIT statusChanged(m_publishedStatus);
}
