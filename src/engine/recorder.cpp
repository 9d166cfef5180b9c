#include "engine/recorder.h"

#include <QTimer>

#include <exception>

#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/programcontext.h"
#include "engine/startup.h"
#include "platform/mastervolume.h"
#include "platform/paths.h"
#include "sources/live365reader.h"
#include "sources/playlistreader.h"
#include "sources/previewrelay.h"
#include "sources/socket.h"

namespace
{

const QString kNoOperationFlag = QStringLiteral("-noop");

} // namespace

qint32 readMasterVolume()
{
    return masterVolume();
}

Recorder::Recorder(QObject *parent)
    : QObject(parent)
    , m_relay(new PreviewRelay(this))
    , m_live365(new Live365Reader(this))
    , m_playlistReader(new PlaylistReader(this))
    , m_playlistFileReader(new PlaylistReader(this))
    , m_socket(new Socket(this))
    , m_supervisorTimer(new QTimer(this))
{
    connectRecordingComponents();
}

Recorder::~Recorder()
{
    removeTrayIcon();
}

void Recorder::load()
{
    setStartValues();
    m_relay->stopListening();
    m_volume = readMasterVolume();
    addTrayIcon(QStringLiteral("Kestrane"));
    setCaption(QStringLiteral("Initializing..."));

    ProgramContext &context = program();
    if (!context.commandLine.isEmpty()) {
        QString commandLine = context.commandLine;
        if (!openFile(commandLine)) {
            exitProgram(kExitStartFailed);
            return; // only a test's front end returns from the exit
        }
        context.commandLine.clear();
    }
}

void Recorder::unload()
{
    // The window object may outlive its unload until control is back in the
    // event loop; its supervisor does nothing more.
    m_unloaded = true;
    m_supervisorTimer->stop();
    removeTrayIcon();
}

void Recorder::reload()
{
    load();
}

void Recorder::setStartValues()
{
    m_awaitingHeader = true;
    m_fileNumber = -1;
    m_recording = false;
    m_titleMode = false;
    m_live365Station = false;
    m_paused = false;
    m_listening = false;
    m_serverNumber = 0;
    m_metaInterval = 0;
    m_metaCounter = 0;
    m_bitRate = 0;
    m_songName.clear();
    m_responseHeader.clear();
    m_caption.clear();
    m_serverHosts = {QByteArray()};
    m_serverPorts = {QByteArray()};
    m_serverPaths = {QByteArray()};
    m_serverQueries = {QByteArray()};
}

bool Recorder::openFile(QString &fileToLoad)
{
    try {
        return loadFile(fileToLoad);
    } catch (const std::exception &) {
        platform::frontEnd().showMessage(
            QStringLiteral("Preset file is invalid! (Check that there are six lines exactly)"));
        return false;
    }
}

bool Recorder::loadFile(QString &fileToLoad)
{
    fileToLoad.remove(QLatin1Char('"'));
    // The flag is cut as the last six characters (" -noop"), wherever it stands.
    const bool noOperation = fileToLoad.contains(kNoOperationFlag);
    if (noOperation)
        fileToLoad.chop(6);

    Preset &config = program().configuration();
    if (fileToLoad.endsWith(QStringLiteral(".mvr"))) {
        if (!platform::fileExists(fileToLoad)) {
            platform::frontEnd().showMessage(QStringLiteral("The preset file specified does not exist!"));
            return false;
        }
        if (!config.load(fileToLoad)) {
            platform::frontEnd().showMessage(
                QStringLiteral("The preset file is invalid! (Check that there are six lines exactly)"));
            return false;
        }
        if (noOperation) {
            platform::frontEnd().showSetupWindow(true);
            return true;
        }
        // The preset was accepted whatever the recorder makes of it.
        startRecording();
        return true;
    }

    if (fileToLoad.endsWith(QStringLiteral(".pls"))) {
        config.reset();
        config.playlistAddress = fileToLoad;
        config.timeLimitMinutes = 0;
        config.timeLimited = false;
        config.saveFolder = platform::withTrailingSeparator(defaultRecordingFolder(true));
        // "-noop" with a playlist starts the recording paused.
        config.pausedStart = noOperation;
        startPlaylistFileRead(fileToLoad);
        return true;
    }

    platform::frontEnd().showMessage(
        QStringLiteral("This is not a supported filetype to load! (Ombrex currently only supports preset files (.mvr) "
                       "and Shoutcase playlists (.pls)!)"));
    return false;
}

void Recorder::exitFromMenu()
{
    if (m_recording)
        closeRecording();
    exitProgram(kExitNormal);
}

void Recorder::setCaption(const QString &caption)
{
    m_caption = caption;
    platform::frontEnd().captionChanged(caption);
}

void Recorder::setTrayTip(const QString &tip)
{
    // The tray tip holds 64 characters.
    m_tray.tip = tip.left(64);
    pushTray();
}

void Recorder::pushTray()
{
    if (m_trayIconAdded)
        platform::frontEnd().trayChanged(m_tray);
}

void Recorder::addTrayIcon(const QString &tip)
{
    m_trayIconAdded = true;
    setTrayTip(tip);
}

void Recorder::removeTrayIcon()
{
    // The front ends drop their icon when the process ends; nothing else
    // refers to the icon once the main window is gone.
    m_trayIconAdded = false;
}
