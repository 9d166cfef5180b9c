// frmMP3, recording supervisor: the 100 ms tick (server changes, silence and
// reconnection, clock, captions and tray tips, time limit, listening volume),
// stopping, pausing, the exit rule and the clean-up of old archive recordings.
#include "engine/frmmp3.h"

#include <QDir>
#include <QFile>
#include <QTimer>

#include "config/clsconfiguration.h"
#include "engine/programcontext.h"
#include "engine/recordingclock.h"
#include "engine/recordingnames.h"
#include "engine/startup.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/frontend.h"
#include "platform/paths.h"
#include "sources/ctllive365titlereader.h"
#include "sources/ctlmp3server.h"
#include "sources/ctlsocket.h"

namespace
{

// Silence after which the caption says so, and after which the stream is reconnected.
constexpr qint64 kAwaitingDataMs = 2000;
constexpr qint64 kDataTimeoutMs = 10000;
// Timeouts in a row (without data between them) that are still retried.
constexpr qint32 kMaxRetries = 3;

// Milliseconds from one tick count to a later one. The counter is a wrapping
// 32-bit value, so the difference is taken modulo 2^32: a change of sign of the
// counter between the two is not a gap of 49 days.
qint64 ticksSince(qint32 earlier, qint32 later)
{
    return static_cast<qint64>(static_cast<quint32>(later) - static_cast<quint32>(earlier));
}

QString songText(const QByteArray &name)
{
    return QString::fromLocal8Bit(name);
}

} // namespace

qint64 frmMP3::GetTickCountWrapCompensation(qint32 current, qint32 reference)
{
    if (current < 0 && reference > 0)
        return static_cast<qint64>(current) + 4294967296LL;
    return current;
}

void frmMP3::ApplyExitRule()
{
    const clsConfiguration &cr = program().configuration();
    if (cr.bExitTimedRecording && !cr.bCalledFromGUI)
        endProgramAfterRecording();
}

void frmMP3::endProgramAfterRecording()
{
    // The exit routine unloads the main window (which removes the tray icon)
    // with the other windows, and ends the process.
    ExitProgram(kExitNormal);
}

void frmMP3::Timer1_Timer()
{
    // A tick never starts while an earlier one, or a connection attempt, waits.
    if (m_inTick || m_connecting || m_unloaded)
        return;
    m_inTick = true;
    const qint64 now = GetTickCountWrapCompensation(platform::clock().tickCount(), lRecordStart);
    if (blnDisconnect)
        changeServer();
    if (!m_unloaded)
        supervise(now);
    m_inTick = false;
}

void frmMP3::changeServer()
{
    blnDisconnect = false;
    CloseRecording();
    lngMetaDataLength = 0;
    lngMetaDataCounter = 0;
    platform::letPendingEventsRun();
    // Stopped meanwhile (by the user or a failure): a stop is never undone by
    // the change of server it overtook.
    if (!blnRecording)
        return;
    ++lServerNumber;
    if (lServerNumber > static_cast<qint32>(sServerHosts.size()) - 1) {
        platform::frontEnd().showMessage(QStringLiteral("All servers are full!"));
        const clsConfiguration &cr = program().configuration();
        if (cr.bExitTimedRecording && !cr.bCalledFromGUI) {
            endProgramAfterRecording();
            return;
        }
        StopRecording();
        return;
    }
    ConnectToServer({}, 0, 0, lServerNumber, false);
    platform::letPendingEventsRun();
}

void frmMP3::supervise(qint64 now)
{
    if (!blnRecording) {
        lngHoursPassed = lngMinutesPassed = lngSecondsPassed = 0;
        lngHoursLeft = lngMinutesLeft = lngSecondsLeft = 0;
    } else if (blnPaused) {
        setSupervisorCaption(QStringLiteral("PAUSED...") + songText(strSongName));
        setSupervisorTip(QStringLiteral("Vorlane -- PAUSED"));
    } else if (ticksSince(lLastDataTick, platform::clock().tickCount()) > kAwaitingDataMs) {
        superviseSilence();
    } else {
        superviseClock(now);
    }
    if (m_unloaded)
        return;

    // Listening follows the volume the display asks for, and the menu follows the toggle.
    if (ctlMP3Server->lSetVolume != lngVolume)
        ctlMP3Server->SetVolume(lngVolume);
    const QString listen =
        blnPreviewToggle ? QStringLiteral("Stop listening to recording") : QStringLiteral("Listen to recording");
    if (m_tray.listen.caption != listen)
        setTrayMenuEntry(m_tray.listen, listen, m_tray.listen.enabled);
}

void frmMP3::superviseSilence()
{
    const QString name = program().configuration().sRecordingTitle;
    setSupervisorCaption(QStringLiteral("[ERR] NETWORK: Awaiting data..."));
    setSupervisorTip(name + QStringLiteral(" -- NETWORK: Awaiting data..."));
    if (lLastDataTick == 0 || ticksSince(lLastDataTick, platform::clock().tickCount()) <= kDataTimeoutMs)
        return;

    setSupervisorTip(name + QStringLiteral(" -- TIMEOUT! Reconnecting..."));
    setSupervisorCaption(QStringLiteral("[ERR] TIMEOUT! Reconnecting..."));
    WS->close();
    ++lRetryCount;
    if (lRetryCount > kMaxRetries) {
        platform::frontEnd().showMessage(QStringLiteral("Network errors have interrupted successful recording of ") +
                                         name + QStringLiteral("!"));
        StopRecording();
        ApplyExitRule();
    } else {
        // The same server again; the open file goes on.
        ConnectToServer({}, 0, 0, lServerNumber, true);
    }
    if (!m_unloaded)
        lLastDataTick = platform::clock().tickCount();
}

void frmMP3::superviseClock(qint64 now)
{
    const clsConfiguration &cr = program().configuration();
    const QString name = cr.sRecordingTitle;
    const qint64 elapsed = now - lRecordStart;
    engine::RecordingClock clock = engine::elapsedClock(elapsed);
    if (cr.bEnabledTimedRecording)
        engine::addTimeLeft(clock, elapsed, cr.lTimedRecording);

    lngHoursPassed = clock.hoursPassed;
    lngMinutesPassed = clock.minutesPassed;
    lngSecondsPassed = clock.secondsPassed;
    if (cr.bEnabledTimedRecording) {
        lngHoursLeft = clock.hoursLeft;
        lngMinutesLeft = clock.minutesLeft;
        lngSecondsLeft = clock.secondsLeft;
        lngRawLeft = clock.rawLeft;
    }
    if (cr.bEnabledTimedRecording && cr.lTimedRecording != 0 && lngRawLeft < 0) {
        // Time is up: the tip goes straight to "Vorlane" without showing a
        // negative time left first.
        StopRecording();
        // A finished timed recording ends the program when asked, however it was started.
        if (cr.bExitTimedRecording)
            endProgramAfterRecording();
        return; // a stopped recording keeps its last caption
    }
    setSupervisorTip(engine::recordingTip(name, clock, cr.bEnabledTimedRecording));

    setSupervisorCaption(QStringLiteral("Now Recording: ") + (cr.lRecordingMode == 2 ? songText(strSongName) : name));
}

// The tick repeats its caption and tip ten times a second; the front end hears
// only of changes.
void frmMP3::setSupervisorCaption(const QString &caption)
{
    if (sSongCaption != caption)
        setSongCaption(caption);
}

void frmMP3::setSupervisorTip(const QString &tip)
{
    if (m_tray.tip != tip.left(64))
        setTrayTip(tip);
}

// What a new recording resets before it connects, so that silence and
// timeouts of an earlier recording do not count against it.
void frmMP3::resetDataWatch()
{
    lLastDataTick = platform::clock().tickCount();
    lRetryCount = 0;
}

void frmMP3::MP3Cleanup()
{
    const clsConfiguration &cr = program().configuration();
    // Switched off by the days (0) or by the setup window's check box, which
    // leaves the days as they were.
    if (!cr.bDeleteArchivesAfterTime || cr.lDaysToKeepRecording <= 0)
        return;
    const QDateTime limit = platform::clock().now().addDays(-static_cast<qint64>(cr.lDaysToKeepRecording));
    const QDir folder(cr.sMP3Path);
    const QStringList names =
        folder.entryList({QStringLiteral("*.mp3")}, QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &name : names) {
        // A name without a real date (a song title, month 13, day 40) is not an archive file.
        const std::optional<QDate> date = engine::archiveDate(QFile::encodeName(name));
        if (!date || QDateTime(*date, QTime(0, 0)) >= limit)
            continue;
        QFile::remove(folder.filePath(name)); // a file that cannot be deleted is skipped
    }
}

void frmMP3::StopRecording()
{
    if (blnRecording) {
        CloseRecording();
        blnRecording = false;
    }
    // A server change or paused start still pending belongs to this recording.
    blnDisconnect = false;
    sPendingFileName.clear();
    setTrayMenuRecording(false);
    lngHoursPassed = lngMinutesPassed = lngSecondsPassed = 0;
    lngHoursLeft = lngMinutesLeft = lngSecondsLeft = 0;
    ctlMP3Server->StopPreviewing();
    blnLive365 = false;
    ctlLive365->setStationName({});
    lngBitRate = 0;
    strICYHeader.clear();
    blnPaused = false;
    blnPausedFileName.clear();
    strSongName.clear();
    m_tray.pauseRecording.caption = QStringLiteral("Pause Recording");
    setTrayTip(QStringLiteral("Vorlane"));
}

void frmMP3::TogglePause()
{
    if (!blnPaused) {
        blnPaused = true;
        blnPausedFileName = strSongName;
        lPauseStart = platform::clock().tickCount();
        setTrayMenuEntry(m_tray.pauseRecording, QStringLiteral("Unpause Recording"), m_tray.pauseRecording.enabled);
        return;
    }
    blnPaused = false;
    // The elapsed time leaves the pause out.
    const qint64 pause = GetTickCountWrapCompensation(platform::clock().tickCount(), lPauseStart) - lPauseStart;
    lRecordStart = static_cast<qint32>(static_cast<quint32>(lRecordStart) + static_cast<quint32>(pause));
    if (!sPendingFileName.isEmpty()) {
        // A paused start: its first file opens now.
        const QByteArray pending = sPendingFileName;
        sPendingFileName.clear();
        OpenMP3File(pending, false);
    } else if (!blnPausedFileName.isEmpty() && strSongName != blnPausedFileName) {
        // The title changed during the pause: the file of the last title opens.
        // The file open before the pause gets its tag first, since strSongName
        // already names the new title.
        m_file.close();
        FF = -1;
        if (platform::fileExists(recordingPath(blnPausedFileName)))
            TagMP3File(blnPausedFileName, blnIcyReal);
        OpenMP3File(strSongName, false);
    }
    blnPausedFileName.clear();
    setTrayMenuEntry(m_tray.pauseRecording, QStringLiteral("Pause Recording"), m_tray.pauseRecording.enabled);
}

void frmMP3::setTrayMenuRecording(bool recording)
{
    m_tray.exit.caption = recording ? QStringLiteral("Stop Recording and Exit") : QStringLiteral("Exit");
    m_tray.startRecording.enabled = !recording;
    m_tray.stopRecording.enabled = recording;
    m_tray.pauseRecording.enabled = recording;
    m_tray.listen.enabled = recording;
    m_tray.toggleDisplay.enabled = true;
    pushTray();
}

void frmMP3::setTrayMenuEntry(platform::TrayMenuEntry &entry, const QString &caption, bool enabled)
{
    entry.caption = caption;
    entry.enabled = enabled;
    pushTray();
}
