// frmMP3, recording engine: turning the station into servers, connecting and
// sending the stream request.
#include "engine/frmmp3.h"

#include <QFile>
#include <QTimer>

#include "config/clsconfiguration.h"
#include "config/mdlinifile.h"
#include "engine/programcontext.h"
#include "engine/recordingnames.h"
#include "engine/streamrequest.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/frontend.h"
#include "sources/ctllive365titlereader.h"
#include "sources/ctlmp3server.h"
#include "sources/ctlsocket.h"
#include "sources/ctlurigrabber.h"

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

void frmMP3::connectRecordingComponents()
{
    connect(URIGrabber, &ctlURIGrabber::URLRaise, this,
            [this](const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query) {
                AddServer(host, path, port, query);
            });
    connect(URIGrabber, &ctlURIGrabber::Done, this, [this] {
        if (sServerHosts.size() > 1)
            StartRecording();
        else
            platform::frontEnd().showMessage(QStringLiteral("Empty MP3 server list due to error!"));
    });
    connect(URIGrabber, &ctlURIGrabber::Error, this, [this](qint32 code) { URIGrabber->StdErrorMessage(code); });
    connect(ctlURIPLSRead, &ctlURIGrabber::URLRaise, this,
            [this](const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query) {
                AddServer(host, path, port, query);
            });
    connect(ctlURIPLSRead, &ctlURIGrabber::Done, this, [this] {
        if (sServerHosts.size() > 1) {
            clsConfiguration &cr = program().configuration();
            cr.sRecordingTitle = QString::fromLocal8Bit(ctlURIPLSRead->strFirstTitle);
            cr.bConfigOK = true;
            platform::frontEnd().showRecordingDisplay();
            StartRecording();
        } else {
            platform::frontEnd().showMessage(QStringLiteral("Empty MP3 server list due to error!"));
        }
    });
    connect(ctlURIPLSRead, &ctlURIGrabber::Error, this, [this](qint32 code) { ctlURIPLSRead->StdErrorMessage(code); });
    connect(WS, &ctlSocket::DataArrival, this, [this](qint64) { WS_DataArrival(); });
    connect(ctlLive365, &ctlLive365TitleReader::TitleChange, this,
            [this](const QByteArray &artist, const QByteArray &title) {
                const QByteArray name = artist + QByteArrayLiteral(" - ") + title + QByteArrayLiteral(".mp3");
                // The reader reports the page again when the song should be over
                // and after every reconnect: the song being recorded keeps its
                // file rather than starting it again empty.
                if (name != strSongName)
                    OpenMP3File(name, true);
            });
    connect(ctlLive365, &ctlLive365TitleReader::TitleCallBack, this,
            [this](const QByteArray &memberName) { ctlLive365->setStationName(memberName); });
    connect(ctlLive365, &ctlLive365TitleReader::Error, this, [this](qint32 code) {
        ctlLive365->setStationName({});
        const QString message = ctlLive365->StdErrorMessage(code);
        if (!message.isEmpty())
            platform::frontEnd().showMessage(message);
    });
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &frmMP3::Timer1_Timer);
}

void frmMP3::startPlaylistFileRead(const QString &path)
{
    ctlURIPLSRead->StartURIValidation(QFile::encodeName(path));
}

bool frmMP3::InitializeMP3Recorder()
{
    clsConfiguration &cr = program().configuration();
    setSongCaption(QStringLiteral("Connecting to ") + cr.sRecordingTitle + QStringLiteral("..."));
    bIcy = true;
    blnIcyReal = false;
    blnRecording = false;
    sServerHosts = {QByteArray()};
    sServerPorts = {QByteArray()};
    sServerPaths = {QByteArray()};
    sServerQueries = {QByteArray()};
    if (cr.lRecordingMode == 3)
        MP3Cleanup();
    URIGrabber->StartURIValidation(QFile::encodeName(cr.sShoutCastFile));
    strConfigName = cr.sConfigFileName;
    return true;
}

void frmMP3::AddServer(const QByteArray &sIPAddress, const QByteArray &sPath, const QByteArray &sPort,
                       const QByteArray &sQueryString)
{
    sServerHosts.append(sIPAddress);
    sServerPorts.append(sPort);
    sServerPaths.append(sPath);
    sServerQueries.append(sQueryString);
}

void frmMP3::StartRecording()
{
    setTrayMenuRecording(true);
    lRecordStart = platform::clock().tickCount();
    blnRecording = true;
    strSongName.clear();
    lServerNumber = 1;
    // A new recording starts its files empty; only a change of server within it continues them.
    m_recordingFiles.clear();
    m_taggedLengths.clear();
    resetDataWatch();
    ConnectToServer({}, 0, 0, lServerNumber, false);
}

void frmMP3::ConnectToServer(const QByteArray &, qint32, qint32, qint32 &lServer, bool blnReconnect)
{
    // Timer ticks and socket events run inside the wait below; none of them may
    // start a second connection attempt while this one waits.
    platform::WaitGuard guard(m_connecting);
    if (!guard.entered())
        return;

    if (FF == -1)
        FF = 1;
    const qint32 lastServer = static_cast<qint32>(sServerHosts.size()) - 1;
    if (lServer > lastServer || lServer < 1) {
        platform::frontEnd().showMessage(QStringLiteral("All servers are full!"));
        StopRecording();
        ApplyExitRule();
        return;
    }

    setSongCaption(QStringLiteral("Connecting to ") + QString::fromLatin1(sServerHosts.at(lServer)) +
                   QStringLiteral("..."));
    platform::letPendingEventsRun();
    WS->close();

    for (;;) {
        WS->connectTo(sServerHosts.at(lServer), sServerPorts.at(lServer).trimmed().toUShort());
        const qint32 started = platform::clock().tickCount();
        ctlSocket::State state = WS->state();
        while (state != ctlSocket::State::Connected && state != ctlSocket::State::Error) {
            const qint64 waited = GetTickCountWrapCompensation(platform::clock().tickCount(), started) - started;
            if (waited >= kConnectLimitMs)
                break;
            platform::letPendingEventsRun();
            if (!blnRecording) {
                // Stopped by the user (or a failure) while we waited.
                WS->close();
                return;
            }
            platform::clock().sleep(kConnectPollMs);
            state = WS->state();
        }
        if (state == ctlSocket::State::Connected)
            break;
        if (lServer < lastServer) {
            ++lServer;
            WS->close();
            continue;
        }
        WS->close();
        platform::frontEnd().showMessage(QStringLiteral("The computer could not connect to the stream!"));
        StopRecording();
        ApplyExitRule();
        return;
    }

    clsConfiguration &cr = program().configuration();
    if (cr.bStartPaused) {
        cr.bPreviewModeOnly = true;
        cr.bStartPaused = false;
    }

    const QByteArray &host = sServerHosts.at(lServer);
    const QByteArray &path = sServerPaths.at(lServer);
    const QByteArray &query = sServerQueries.at(lServer);

    // Live365 stations send no titles in-band; their reader follows the station's pages.
    if (cr.lRecordingMode == 2 && host.contains("live365") && path.contains('/')) {
        const QByteArray station = path.mid(path.lastIndexOf('/') + 1);
        if (isWholeNumber(station))
            ctlLive365->GetL365StationFromNumber(station, query.contains("AuthType=AFL"));
    }

    // Everything about the answer of this connection starts afresh.
    bIcy = true;
    m_header.clear();
    m_connectionIsReconnect = blnReconnect;
    lngLeftoverStrip = 0;
    strLeftoverSongStrip.clear();

    if (cr.lRecordingMode == 2) {
        blnIcyReal = true;
    } else {
        blnIcyReal = false;
        if (!blnReconnect) {
            const QByteArray name = cr.sStreamFileName.toLocal8Bit();
            OpenMP3File(cr.lRecordingMode == 1 ? name : engine::datedFileName(name, platform::clock().now().date()),
                        false);
        }
    }

    WS->send(BuildStreamRequest(host, sServerPorts.at(lServer), path, query, blnIcyReal, IsIEAgent()));
    // The supervisor measures the silence of this connection from its request,
    // not from before a connection wait that may have taken seconds.
    lLastDataTick = platform::clock().tickCount();

    if ((!ctlMP3Server->blnEnablePreviewStream && cr.bStartInListenMode) || cr.bPreviewModeOnly) {
        ctlMP3Server->StartPreviewing();
        blnPreviewToggle = true;
    }
    Timer1->start();
    lByteCount = 0;
}
