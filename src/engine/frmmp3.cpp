#include "engine/frmmp3.h"

#include <QTimer>

#include <exception>

#include "config/clsconfiguration.h"
#include "config/mdlinifile.h"
#include "engine/programcontext.h"
#include "engine/startup.h"
#include "platform/mdlmixervalues.h"
#include "platform/paths.h"
#include "sources/ctllive365titlereader.h"
#include "sources/ctlmp3server.h"
#include "sources/ctlsocket.h"
#include "sources/ctlurigrabber.h"

namespace
{

const QString kNoOperationFlag = QStringLiteral("-noop");

} // namespace

qint32 readMasterVolume()
{
    return GetMasterVolume();
}

frmMP3::frmMP3(QObject *parent)
    : QObject(parent)
    , ctlMP3Server(new ::ctlMP3Server(this))
    , ctlLive365(new ctlLive365TitleReader(this))
    , URIGrabber(new ctlURIGrabber(this))
    , ctlURIPLSRead(new ctlURIGrabber(this))
    , WS(new ctlSocket(this))
    , Timer1(new QTimer(this))
{
    connectRecordingComponents();
}

frmMP3::~frmMP3()
{
    removeTrayIcon();
}

void frmMP3::Form_Load()
{
    setStartValues();
    ctlMP3Server->StopPreviewing();
    lngVolume = readMasterVolume();
    addTrayIcon(QStringLiteral("Kestrane"));
    setSongCaption(QStringLiteral("Initializing..."));

    ProgramContext &context = program();
    if (!context.strCommandLine.isEmpty()) {
        QString commandLine = context.strCommandLine;
        if (!LoadConfigurationFile(commandLine)) {
            ExitProgram(kExitStartFailed);
            return; // only a test's front end returns from the exit
        }
        context.strCommandLine.clear();
    }
}

void frmMP3::Form_Unload()
{
    // The window object may outlive its unload until control is back in the
    // event loop; its supervisor does nothing more.
    m_unloaded = true;
    Timer1->stop();
    removeTrayIcon();
}

void frmMP3::Initialize()
{
    Form_Load();
}

void frmMP3::setStartValues()
{
    bIcy = true;
    FF = -1;
    blnRecording = false;
    blnIcyReal = false;
    blnLive365 = false;
    blnPaused = false;
    blnPreviewToggle = false;
    lServerNumber = 0;
    lngMetaDataLength = 0;
    lngMetaDataCounter = 0;
    lngBitRate = 0;
    strSongName.clear();
    strICYHeader.clear();
    sSongCaption.clear();
    sServerHosts = {QByteArray()};
    sServerPorts = {QByteArray()};
    sServerPaths = {QByteArray()};
    sServerQueries = {QByteArray()};
}

bool frmMP3::LoadConfigurationFile(QString &strFileToLoad)
{
    try {
        return loadFile(strFileToLoad);
    } catch (const std::exception &) {
        platform::frontEnd().showMessage(
            QStringLiteral("Preset file is invalid! (Check that there are six lines exactly)"));
        return false;
    }
}

bool frmMP3::loadFile(QString &strFileToLoad)
{
    strFileToLoad.remove(QLatin1Char('"'));
    // The flag is cut as the last six characters (" -noop"), wherever it stands.
    const bool noOperation = strFileToLoad.contains(kNoOperationFlag);
    if (noOperation)
        strFileToLoad.chop(6);

    clsConfiguration &cr = program().configuration();
    if (strFileToLoad.endsWith(QStringLiteral(".mvr"))) {
        if (!platform::fileExists(strFileToLoad)) {
            platform::frontEnd().showMessage(QStringLiteral("The preset file specified does not exist!"));
            return false;
        }
        if (!cr.LoadConfigurationFile(strFileToLoad)) {
            platform::frontEnd().showMessage(
                QStringLiteral("The preset file is invalid! (Check that there are six lines exactly)"));
            return false;
        }
        if (noOperation) {
            platform::frontEnd().showSetupWindow(true);
            return true;
        }
        // The preset was accepted whatever the recorder makes of it.
        InitializeMP3Recorder();
        return true;
    }

    if (strFileToLoad.endsWith(QStringLiteral(".pls"))) {
        cr.NewConfiguration();
        cr.sShoutCastFile = strFileToLoad;
        cr.lTimedRecording = 0;
        cr.bEnabledTimedRecording = false;
        cr.sMP3Path = platform::withTrailingSeparator(GetDefaultFolder(true));
        // "-noop" with a playlist starts the recording paused.
        cr.bPreviewModeOnly = noOperation;
        startPlaylistFileRead(strFileToLoad);
        return true;
    }

    platform::frontEnd().showMessage(
        QStringLiteral("This is not a supported filetype to load! (Ombrex currently only supports preset files (.mvr) "
                       "and Shoutcase playlists (.pls)!)"));
    return false;
}

void frmMP3::mPopExit_Click()
{
    if (blnRecording)
        CloseRecording();
    ExitProgram(kExitNormal);
}

void frmMP3::setSongCaption(const QString &caption)
{
    sSongCaption = caption;
    platform::frontEnd().captionChanged(caption);
}

void frmMP3::setTrayTip(const QString &tip)
{
    // The tray tip holds 64 characters.
    m_tray.tip = tip.left(64);
    pushTray();
}

void frmMP3::pushTray()
{
    if (m_trayIconAdded)
        platform::frontEnd().trayChanged(m_tray);
}

void frmMP3::addTrayIcon(const QString &tip)
{
    m_trayIconAdded = true;
    setTrayTip(tip);
}

void frmMP3::removeTrayIcon()
{
    // The front ends drop their icon when the process ends; nothing else
    // refers to the icon once the main window is gone.
    m_trayIconAdded = false;
}
