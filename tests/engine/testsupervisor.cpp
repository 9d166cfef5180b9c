// The recording supervisor on the fake clock: the stream comes over loopback
// from a station the test feeds by hand, and the test ticks the supervisor at
// chosen moments instead of waiting for its 100 ms timer.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QStringBuilder>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "eventwait.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <limits>
#include <memory>

#include "config/clsconfiguration.h"
#include "engine/frmmp3.h"
#include "engine/mdlid3.h"
#include "engine/programcontext.h"
#include "engine/recordingclock.h"
#include "fakeclock.h"
#include "feedstation.h"
#include "recordingfrontend.h"
#include "scriptedstation.h"
#include "sources/ctlmp3server.h"
#include "testenv.h"

namespace
{

const QByteArray kPlainHeader = "ICY 200 OK\r\nicy-br:128\r\n\r\n";

QByteArray noise(qsizetype n, quint32 seed)
{
    QByteArray bytes(n, '\0');
    quint32 x = seed * 2654435761u + 7;
    for (auto &b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<char>(x >> 24);
    }
    return bytes;
}

QByteArray metadataBlock(const QByteArray &title)
{
    if (title.isEmpty())
        return QByteArray(1, '\0');
    const QByteArray text = "StreamTitle='" + title + "';";
    const qsizetype rows = (text.size() + 15) / 16;
    return QByteArray(1, static_cast<char>(rows)) + text + QByteArray(rows * 16 - text.size(), '\0');
}

QByteArray tagFor(const QByteArray &artist, const QByteArray &title)
{
    return BuildID3Tag({artist, title, {}}, QDate(2026, 3, 7));
}

// A port on 127.0.0.1 where connections neither complete nor fail: its
// listener never accepts and its queue is full. Closed with the object.
class NeverAnswering
{
public:
    NeverAnswering()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 0);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
        for (int i = 0; i < 3; ++i) {
            m_fillers.append(std::make_shared<QTcpSocket>());
            m_fillers.last()->connectToHost(QHostAddress::LocalHost, port);
            m_fillers.last()->waitForConnected(100);
        }
    }
    ~NeverAnswering() { ::close(m_listener); }
    NeverAnswering(const NeverAnswering &) = delete;
    NeverAnswering &operator=(const NeverAnswering &) = delete;

    quint16 port = 0;

private:
    int m_listener = -1;
    QList<std::shared_ptr<QTcpSocket>> m_fillers;
};

qint32 tickAfter(qint32 tick, qint64 ms)
{
    return static_cast<qint32>(static_cast<quint32>(tick) + static_cast<quint64>(ms));
}

class Supervisor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        resetProgram();
        static int folderNumber = 0;
        folder = testenv::home() + QStringLiteral("/sup%1/").arg(++folderNumber);
        QDir().mkpath(folder);
        clsConfiguration &cr = program().configuration();
        cr.NewConfiguration();
        cr.sMP3Path = folder;
        cr.sRecordingTitle = QStringLiteral("Test Station");
        cr.lRecordingMode = 1;
        cr.sStreamFileName = QStringLiteral("show.mp3");
        cr.bStartInListenMode = false;
        cr.bEnabledTimedRecording = false;
        cr.bExitTimedRecording = false;
        engine = program().loadMainWindow();
        // The tests tick the supervisor themselves, at moments of the fake clock.
        engine->Timer1->setInterval(std::numeric_limits<int>::max());
    }
    void TearDown() override
    {
        if (frmMP3 *mainWindow = program().mainWindow(); mainWindow && mainWindow->blnRecording)
            mainWindow->StopRecording();
        resetProgram();
    }

    // Starts recording from the feed station and sends the response header.
    void start(const QByteArray &header = kPlainHeader)
    {
        engine->AddServer("127.0.0.1", "/stream", QByteArray::number(station.port()), QByteArray());
        engine->StartRecording();
        base = engine->lRecordStart;
        ASSERT_TRUE(
            waitUntil([&] { return station.requests.size() == 1 && station.requests[0].endsWith("\r\n\r\n"); }));
        feed(header);
    }
    // Sends bytes and waits until the engine has taken them in.
    void feed(const QByteArray &bytes)
    {
        const qint32 before = engine->lByteCount;
        station.send(bytes);
        ASSERT_TRUE(waitUntil([&] { return engine->lByteCount >= before + bytes.size(); }))
            << "read " << engine->lByteCount - before << " of " << bytes.size();
    }
    // Moves the fake clock to ms after the start of the elapsed clock, lets a
    // little audio arrive (unless silent) and ticks the supervisor.
    void at(qint64 ms, bool withData = true)
    {
        clock.setTick(tickAfter(base, ms));
        if (withData)
            feed(noise(100, static_cast<quint32>(ms)));
        engine->Timer1_Timer();
    }
    // Ticks every step ms from..to (inclusive), with audio every second unless silent.
    void tickThrough(qint64 from, qint64 to, bool withData = true, qint64 step = 100)
    {
        for (qint64 ms = from; ms <= to; ms += step)
            at(ms, withData && ms % 1000 == 0);
    }
    // Where the fake clock stands, in ms after the start of the elapsed clock.
    qint64 now() const
    {
        return static_cast<qint32>(static_cast<quint32>(clock.tickCount()) - static_cast<quint32>(base));
    }

    QByteArray file(const QByteArray &name) const { return testenv::readFile(folder + QFile::decodeName(name)); }
    QStringList files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }

    FakeClock clock;
    RecordingFrontEnd ui;
    FeedStation station;
    QString folder;
    frmMP3 *engine = nullptr;
    qint32 base = 0; // the elapsed clock's start
};

} // namespace

TEST(RecordingClock, ElapsedAndLeftTimesAndTheirTips)
{
    // 60 minutes at the start: 60 - 0 - 1 minutes and 60 seconds left, the 60
    // seconds turned into 0 with the minute added back, then one hour.
    engine::RecordingClock c = engine::elapsedClock(0);
    engine::addTimeLeft(c, 0, 60);
    EXPECT_EQ(c.rawLeft, 60);
    EXPECT_EQ(c.hoursLeft, 1);
    EXPECT_EQ(c.minutesLeft, 0);
    EXPECT_EQ(c.secondsLeft, 0);
    EXPECT_EQ(engine::recordingTip(QStringLiteral("R"), c, true),
              QStringLiteral("RECORDING R... (0:00:00) (-1:00:00 left)"));

    // One hour, two minutes and nine seconds into a two-hour recording.
    c = engine::elapsedClock(3729000);
    engine::addTimeLeft(c, 3729000, 120);
    EXPECT_EQ(engine::recordingTip(QStringLiteral("R"), c, true),
              QStringLiteral("RECORDING R... (1:02:09) (-0:57:51 left)"));
    EXPECT_EQ(engine::recordingTip(QStringLiteral("R"), c, false), QStringLiteral("RECORDING R... (1:02:09)"));
    EXPECT_EQ(c.hoursPassed, 1);
    EXPECT_EQ(c.minutesPassed, 2);

    // Seconds round to the nearest, halves to the even number; 60 can show.
    EXPECT_EQ(engine::elapsedClock(2500).secondsPassed, 2);
    EXPECT_EQ(engine::elapsedClock(3500).secondsPassed, 4);
    EXPECT_EQ(engine::elapsedClock(59600).secondsPassed, 60);
    EXPECT_EQ(engine::recordingTip(QStringLiteral("R"), engine::elapsedClock(59600), false),
              QStringLiteral("RECORDING R... (0:60)"));
    // Untimed, past the hour the minutes are 0-59.
    EXPECT_EQ(engine::recordingTip(QStringLiteral("R"), engine::elapsedClock(7384000), false),
              QStringLiteral("RECORDING R... (2:03:04)"));
}

TEST_F(Supervisor, SixtyMinuteRecordingTipsAtItsStartAndOneSecondLater)
{
    program().configuration().bEnabledTimedRecording = true;
    program().configuration().lTimedRecording = 60;
    start();
    at(0);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:00:00) (-1:00:00 left)"));
    EXPECT_EQ(engine->lngRawLeft, 60);
    EXPECT_EQ(engine->lngHoursLeft, 1);
    EXPECT_EQ(engine->sSongCaption, QStringLiteral("Now Recording: Test Station"));
    at(1000);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:01) (-59:59 left)"));
    EXPECT_EQ(engine->lngSecondsPassed, 1);
    EXPECT_EQ(engine->lngMinutesLeft, 59);
    EXPECT_EQ(engine->lngSecondsLeft, 59);

    // A long station title: the tip holds its first 64 characters.
    program().configuration().sRecordingTitle = QString(70, QLatin1Char('x'));
    at(2000);
    EXPECT_EQ(ui.tray.tip, QString(QStringLiteral("RECORDING ") + QString(70, QLatin1Char('x'))).left(64));
}

TEST_F(Supervisor, OneMinuteRecordingStopsAtTheFirstTickAfterSixtyAndAHalfSeconds)
{
    program().configuration().bEnabledTimedRecording = true;
    program().configuration().lTimedRecording = 1;
    start();
    // Until 60.5 s the rounded seconds leave 0 whole minutes, not less.
    tickThrough(0, 60500);
    EXPECT_TRUE(engine->blnRecording);
    EXPECT_EQ(engine->lngRawLeft, 0);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (1:00) (-0:00 left)"));
    at(60600);
    EXPECT_FALSE(engine->blnRecording);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Vorlane"));
    EXPECT_EQ(engine->lngMinutesPassed + engine->lngSecondsPassed + engine->lngMinutesLeft, 0);
    EXPECT_FALSE(ui.exited);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(file("show.mp3").right(128), tagFor("", "Test Station"));
    // The timer keeps running; it only keeps the time fields at 0 now.
    at(61000, false);
    EXPECT_EQ(engine->lngSecondsPassed, 0);
    EXPECT_EQ(station.connectionCount(), 1);
}

TEST_F(Supervisor, PauseOfFiveMinutesIsLeftOutOfTheElapsedTime)
{
    start();
    tickThrough(0, 30000);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:30)"));
    engine->TogglePause();
    EXPECT_EQ(ui.tray.pauseRecording.caption, QStringLiteral("Unpause Recording"));
    const qint64 sizeAtPause = QFileInfo(folder + QStringLiteral("show.mp3")).size();
    // Audio keeps arriving during the pause but is not written.
    tickThrough(31000, 330000, true, 1000);
    EXPECT_EQ(engine->sSongCaption, QStringLiteral("PAUSED...show.mp3"));
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Vorlane -- PAUSED"));
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("show.mp3")).size(), sizeAtPause);
    engine->TogglePause();
    EXPECT_EQ(ui.tray.pauseRecording.caption, QStringLiteral("Pause Recording"));
    tickThrough(330100, 340000);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:40)"));
    EXPECT_EQ(engine->sSongCaption, QStringLiteral("Now Recording: Test Station"));
    EXPECT_GT(QFileInfo(folder + QStringLiteral("show.mp3")).size(), sizeAtPause);
    // Only the six time fields are told how long the recording ran.
    EXPECT_EQ(engine->lngMinutesPassed, 0);
    EXPECT_EQ(engine->lngSecondsPassed, 40);
}

TEST_F(Supervisor, TwoTitleChangesDuringAPauseOpenOneFileForTheLastTitle)
{
    program().configuration().lRecordingMode = 2;
    const QByteArray a = noise(16, 1), b = noise(16, 2), c = noise(16, 3), d = noise(16, 4), e = noise(16, 5);
    start("ICY 200 OK\r\nicy-name:Feed FM\r\nicy-metaint:16\r\n\r\n");
    feed(a + metadataBlock("A - 1"));
    feed(b);
    engine->TogglePause();
    feed(metadataBlock("B - 2") + c + metadataBlock("C - 3"));
    EXPECT_EQ(engine->strSongName, QByteArray("C - 3.mp3"));
    engine->Timer1_Timer();
    EXPECT_EQ(engine->sSongCaption, QStringLiteral("PAUSED...C - 3.mp3"));
    engine->TogglePause();
    feed(d + metadataBlock("") + e);
    engine->StopRecording();

    EXPECT_EQ(files(), QStringList({QStringLiteral("A - 1.mp3"), QStringLiteral("C - 3.mp3"),
                                    QStringLiteral("Feed FM-03072026.mp3")}));
    // The file open before the pause ends with its own audio and its tag.
    EXPECT_EQ(file("A - 1.mp3"), b + tagFor("A", "1"));
    EXPECT_EQ(file("C - 3.mp3"), d + e + tagFor("C", "3"));
}

TEST_F(Supervisor, TimeTheHandlerSpendsOnNewFilesIsNotSilence)
{
    program().configuration().lRecordingMode = 2;
    start("ICY 200 OK\r\nicy-name:Feed FM\r\nicy-metaint:16\r\n\r\n");
    // One packet that starts 25 files blocks the handler 12.5 s.
    QByteArray packet;
    for (int title = 1; title <= 25; ++title)
        packet += noise(16, static_cast<quint32>(title)) + metadataBlock("Artist - Song " + QByteArray::number(title));
    const qint32 before = clock.tickCount();
    feed(packet);
    EXPECT_GE(clock.tickCount() - before, 12500);
    clock.advance(100);
    engine->Timer1_Timer();
    EXPECT_EQ(engine->sSongCaption, QStringLiteral("Now Recording: Artist - Song 25.mp3"));
    EXPECT_EQ(engine->lRetryCount, 0);
    EXPECT_EQ(station.connectionCount(), 1);
}

TEST_F(Supervisor, StopEndsAPausedStartAndItsPendingFile)
{
    program().configuration().lRecordingMode = 2;
    program().configuration().bStartPaused = true;
    start("ICY 200 OK\r\nicy-name:Feed FM\r\nicy-metaint:16\r\n\r\n");
    feed(noise(16, 1) + metadataBlock("A - 1"));
    EXPECT_TRUE(engine->blnPaused);
    EXPECT_EQ(engine->sPendingFileName, QByteArray("A - 1.mp3"));
    engine->StopRecording();
    EXPECT_FALSE(engine->blnPaused);
    EXPECT_TRUE(engine->sPendingFileName.isEmpty());
    EXPECT_EQ(ui.tray.pauseRecording.caption, QStringLiteral("Pause Recording"));
    EXPECT_FALSE(ui.tray.pauseRecording.enabled);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(Supervisor, CounterChangingSignDuringARecordingIsNotSilence)
{
    clock.setTick(std::numeric_limits<qint32>::max() - 5000);
    start();
    tickThrough(0, 12000);
    EXPECT_LT(engine->lLastDataTick, 0) << "the counter changed sign";
    EXPECT_FALSE(ui.captions.contains(QStringLiteral("[ERR] NETWORK: Awaiting data...")));
    EXPECT_EQ(station.connectionCount(), 1);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:12)"));

    // Real silence after the change of sign is still noticed.
    tickThrough(12100, 14200, false);
    EXPECT_EQ(engine->sSongCaption, QStringLiteral("[ERR] NETWORK: Awaiting data..."));
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Test Station -- NETWORK: Awaiting data..."));
    tickThrough(14300, 22000, false);
    EXPECT_EQ(station.connectionCount(), 1);
    at(22100, false);
    EXPECT_TRUE(waitUntil([&] { return station.connectionCount() == 2; }));
}

TEST_F(Supervisor, FourTimeoutsWithoutDataBetweenThemStopWithTheNetworkMessage)
{
    start();
    const QByteArray audio = noise(3000, 9);
    feed(audio);
    // From here on the station sends nothing, not even to new connections.
    qint64 ms = now();
    for (int timeout = 1; timeout <= 4; ++timeout) {
        const int connections = station.connectionCount();
        const qint32 silentSince = engine->lLastDataTick;
        while (station.connectionCount() == connections && engine->blnRecording) {
            ms += 100;
            at(ms, false);
            ASSERT_LT(ms, 60000);
        }
        // Not before more than 10 s of silence.
        const qint64 silence = tickAfter(base, ms) - silentSince;
        EXPECT_GT(silence, 10000);
        EXPECT_LE(silence, 10100);
        if (timeout < 4) {
            EXPECT_TRUE(waitUntil([&] { return station.requests.last().endsWith("\r\n\r\n"); }));
            EXPECT_EQ(engine->lRetryCount, timeout);
            EXPECT_EQ(engine->lServerNumber, 1);
        }
    }
    EXPECT_EQ(station.connectionCount(), 4);
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR] TIMEOUT! Reconnecting...")));
    EXPECT_TRUE(ui.tips.contains(QStringLiteral("Test Station -- TIMEOUT! Reconnecting...")));
    EXPECT_EQ(ui.messages,
              QStringList(QStringLiteral("Network errors have interrupted successful recording of Test Station!")));
    EXPECT_FALSE(engine->blnRecording);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Vorlane"));
    EXPECT_EQ(file("show.mp3"), kPlainHeader + audio + tagFor("", "Test Station"));
    EXPECT_FALSE(ui.exited) << "the preset does not ask for the exit";
}

TEST_F(Supervisor, DataBetweenTimeoutsStartsTheCountAgain)
{
    start();
    qint64 ms = now();
    for (int stall = 1; stall <= 5; ++stall) {
        const int connections = station.connectionCount();
        while (station.connectionCount() == connections) {
            ms += 100;
            at(ms, false);
            ASSERT_LT(ms, 100000);
        }
        ASSERT_TRUE(waitUntil([&] { return station.requests.last().endsWith("\r\n\r\n"); }));
        feed(kPlainHeader + noise(500, static_cast<quint32>(stall)));
        EXPECT_EQ(engine->lRetryCount, 0);
    }
    EXPECT_TRUE(engine->blnRecording);
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(file("show.mp3").size(), 6 * kPlainHeader.size() + 5 * 500);
}

TEST_F(Supervisor, NoTickRunsWhileAnotherWaitsForAConnection)
{
    start();
    feed(noise(1000, 3));
    // The reconnection will wait the full ten seconds for a server that never
    // answers, while the real timer fires as fast as it can.
    NeverAnswering silent;
    engine->sServerPorts[1] = QByteArray::number(silent.port);
    engine->Timer1->setInterval(0);
    at(now() + 10100, false);
    // Ticks inside that wait would have counted the same silence again and
    // again, up to the network message; only this one timeout counted.
    EXPECT_EQ(ui.captions.count(QStringLiteral("[ERR] TIMEOUT! Reconnecting...")), 1);
    EXPECT_EQ(ui.messages, QStringList(QStringLiteral("The computer could not connect to the stream!")));
    EXPECT_FALSE(engine->blnRecording);
}

TEST_F(Supervisor, ExitRuleEndsTheProgramOnlyWhenNotStartedFromTheSetupWindow)
{
    for (const bool fromSetupWindow : {true, false}) {
        SCOPED_TRACE(fromSetupWindow ? "from the setup window" : "from a preset");
        resetProgram();
        RecordingFrontEnd &frontEnd = ui;
        frontEnd.messages.clear();
        frontEnd.exited = false;
        clsConfiguration &cr = program().configuration();
        cr.sMP3Path = folder;
        cr.lRecordingMode = 1;
        cr.sStreamFileName = QStringLiteral("none.mp3");
        cr.bStartInListenMode = false;
        cr.bExitTimedRecording = true;
        cr.bCalledFromGUI = fromSetupWindow;
        frmMP3 *mainWindow = program().loadMainWindow();
        mainWindow->AddServer("127.0.0.1", "/stream", QByteArray::number(closedPort()), QByteArray());
        mainWindow->StartRecording();
        EXPECT_EQ(frontEnd.messages, QStringList(QStringLiteral("The computer could not connect to the stream!")));
        EXPECT_EQ(frontEnd.exited, !fromSetupWindow);
        EXPECT_EQ(program().mainWindow() != nullptr, fromSetupWindow);
        if (!fromSetupWindow) {
            EXPECT_EQ(frontEnd.exitStatus, 0);
        }
    }
    engine = nullptr;
}

TEST_F(Supervisor, EndOfATimedRecordingEndsTheProgramWhenThePresetAsks)
{
    clsConfiguration &cr = program().configuration();
    cr.bEnabledTimedRecording = true;
    cr.lTimedRecording = 1;
    cr.bExitTimedRecording = true;
    start();
    tickThrough(0, 60500);
    EXPECT_FALSE(ui.exited);
    at(60600);
    EXPECT_TRUE(ui.exited);
    EXPECT_EQ(ui.exitStatus, 0);
    EXPECT_EQ(program().mainWindow(), nullptr) << "the main window was unloaded";
    // The recording was closed (and its file tagged) before the end.
    EXPECT_EQ(file("show.mp3").right(128), tagFor("", "Test Station"));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(Supervisor, StopBeforeAPendingServerChangeIsNotUndone)
{
    ScriptedStation full;
    full.setReplies({{{"ICY 400 Server Full\r\n\r\n"}, false}});
    engine->AddServer("127.0.0.1", "/stream", QByteArray::number(full.port()), QByteArray());
    engine->AddServer("127.0.0.1", "/stream", QByteArray::number(station.port()), QByteArray());
    engine->StartRecording();
    ASSERT_TRUE(waitUntil([&] { return engine->blnDisconnect; }));
    engine->StopRecording();
    engine->Timer1_Timer();
    EXPECT_FALSE(engine->blnRecording);
    EXPECT_EQ(engine->lServerNumber, 1);
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(station.connectionCount(), 0);
}

TEST_F(Supervisor, ListenCaptionAndVolumeFollowTheEngineEveryTick)
{
    engine->lngVolume = 40;
    engine->Timer1_Timer();
    EXPECT_EQ(engine->ctlMP3Server->lSetVolume, 40);
    EXPECT_EQ(ui.tray.listen.caption, QStringLiteral("Listen to recording"));
    engine->blnPreviewToggle = true;
    engine->lngVolume = 75;
    engine->Timer1_Timer();
    EXPECT_EQ(engine->ctlMP3Server->lSetVolume, 75);
    EXPECT_EQ(ui.tray.listen.caption, QStringLiteral("Stop listening to recording"));
    const int changes = ui.trayChanges;
    engine->Timer1_Timer();
    EXPECT_EQ(ui.trayChanges, changes) << "an unchanged caption is not pushed again";
}
