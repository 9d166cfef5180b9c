#include <QPointer>
// The recording supervisor on the fake clock: the stream comes over loopback
// from a station the test feeds by hand, and the test runs the supervisor at
// chosen moments instead of waiting for it to fall due.
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

#include "app/programcontext.h"
#include "config/preset.h"
#include "engine/id3v1tag.h"
#include "engine/recorder.h"
#include "engine/recordingclock.h"
#include "fakeclock.h"
#include "feedstation.h"
#include "recorderfixture.h"
#include "recordertestpeer.h"
#include "scriptedstation.h"
#include "sources/previewrelay.h"
#include "streambytes.h"
#include "testenv.h"

namespace
{

const QByteArray kPlainHeader = "ICY 200 OK\r\nicy-br:128\r\n\r\n";

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

class Supervisor : public RecorderFixture
{
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();
        // The retry rule without a reconnect period; outages have their own cases.
        setReconnectPeriodMinutes(0);
        // The tests tick the supervisor themselves, at moments of the fake clock.
        loadRecorder(1, QStringLiteral("show.mp3"));
    }

    // Starts recording from the feed station and sends the response header.
    void start(const QByteArray &header = kPlainHeader)
    {
        inside(engine).addServer("127.0.0.1", "/stream", QByteArray::number(station.port()), QByteArray());
        inside(engine).beginRecording(program().configuration());
        base = inside(engine).recordStartTick();
        ASSERT_TRUE(
            waitUntil([&] { return station.requests.size() == 1 && station.requests[0].endsWith("\r\n\r\n"); }));
        feed(header);
    }
    // Sends bytes and waits until the engine has taken them in.
    void feed(const QByteArray &bytes)
    {
        const qint32 before = inside(engine).byteCount();
        station.send(bytes);
        ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() >= before + bytes.size(); }))
            << "read " << inside(engine).byteCount() - before << " of " << bytes.size();
    }
    // Moves the fake clock to ms after the start of the elapsed clock, lets a
    // little audio arrive (unless silent) and ticks the supervisor.
    void at(qint64 ms, bool withData = true)
    {
        if (base + ms > clock.monotonicMs())
            clock.advance(base + ms - clock.monotonicMs());
        if (withData)
            feed(noise(100, static_cast<quint32>(ms)));
        inside(engine).superviseTick();
        // A reconnection the tick started is waited for, as the real loop would.
        const QPointer<Recorder> recorder = engine;
        waitUntil([&] { return !recorder || !inside(recorder).isConnecting(); });
    }
    // Ticks every step ms from..to (inclusive), with audio every second unless silent.
    void tickThrough(qint64 from, qint64 to, bool withData = true, qint64 step = 100)
    {
        for (qint64 ms = from; ms <= to; ms += step)
            at(ms, withData && ms % 1000 == 0);
    }
    // Where the fake clock stands, in ms after the start of the elapsed clock.
    qint64 now() const { return clock.monotonicMs() - base; }

    FeedStation station;
    qint64 base = 0; // the elapsed clock's start
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
    program().configuration().timeLimited = true;
    program().configuration().timeLimitMinutes = 60;
    start();
    at(0);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:00:00) (-1:00:00 left)"));
    EXPECT_EQ(inside(engine).recordingClock().rawLeft, 60);
    EXPECT_EQ(inside(engine).recordingClock().hoursLeft, 1);
    EXPECT_EQ(inside(engine).caption(), QStringLiteral("Now Recording: Test Station"));
    at(1000);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:01) (-59:59 left)"));
    EXPECT_EQ(inside(engine).recordingClock().secondsPassed, 1);
    EXPECT_EQ(inside(engine).recordingClock().minutesLeft, 59);
    EXPECT_EQ(inside(engine).recordingClock().secondsLeft, 59);
}

TEST_F(Supervisor, TipHoldsTheFirst64CharactersOfALongTitle)
{
    program().configuration().stationTitle = QString(70, QLatin1Char('x'));
    start();
    at(1000);
    EXPECT_EQ(ui.tray.tip, QString(QStringLiteral("RECORDING ") + QString(70, QLatin1Char('x'))).left(64));
}

TEST_F(Supervisor, OneMinuteRecordingStopsAtTheFirstTickAfterSixtyAndAHalfSeconds)
{
    program().configuration().timeLimited = true;
    program().configuration().timeLimitMinutes = 1;
    start();
    // Until 60.5 s the rounded seconds leave 0 whole minutes, not less.
    tickThrough(0, 60500);
    EXPECT_TRUE(engine->isRecording());
    EXPECT_EQ(inside(engine).recordingClock().rawLeft, 0);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (1:00) (-0:00 left)"));
    at(60600);
    EXPECT_FALSE(engine->isRecording());
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Vorlane"));
    EXPECT_EQ(inside(engine).recordingClock().minutesPassed + inside(engine).recordingClock().secondsPassed +
                  inside(engine).recordingClock().minutesLeft,
              0);
    EXPECT_FALSE(ui.exited());
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(file("show.mp3").right(128), tagFor("", "Test Station"));
    // The timer keeps running; it only keeps the time fields at 0 now.
    at(61000, false);
    EXPECT_EQ(inside(engine).recordingClock().secondsPassed, 0);
    EXPECT_EQ(station.connectionCount(), 1);
}

TEST_F(Supervisor, PauseOfFiveMinutesIsLeftOutOfTheElapsedTime)
{
    start();
    tickThrough(0, 30000);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:30)"));
    engine->togglePause();
    EXPECT_TRUE(ui.tray.pauseRecording.on);
    const qint64 sizeAtPause = QFileInfo(folder + QStringLiteral("show.mp3")).size();
    // Audio keeps arriving during the pause but is not written.
    tickThrough(31000, 330000, true, 1000);
    EXPECT_EQ(inside(engine).caption(), QStringLiteral("PAUSED...show.mp3"));
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Vorlane -- PAUSED"));
    EXPECT_EQ(QFileInfo(folder + QStringLiteral("show.mp3")).size(), sizeAtPause);
    engine->togglePause();
    EXPECT_FALSE(ui.tray.pauseRecording.on);
    tickThrough(330100, 340000);
    EXPECT_EQ(ui.tray.tip, QStringLiteral("RECORDING Test Station... (0:40)"));
    EXPECT_EQ(inside(engine).caption(), QStringLiteral("Now Recording: Test Station"));
    EXPECT_GT(QFileInfo(folder + QStringLiteral("show.mp3")).size(), sizeAtPause);
    // Only the six time fields are told how long the recording ran.
    EXPECT_EQ(inside(engine).recordingClock().minutesPassed, 0);
    EXPECT_EQ(inside(engine).recordingClock().secondsPassed, 40);
}

TEST_F(Supervisor, TwoTitleChangesDuringAPauseOpenOneFileForTheLastTitle)
{
    program().configuration().captureMode = 2;
    const QByteArray a = noise(16, 1), b = noise(16, 2), c = noise(16, 3), d = noise(16, 4), e = noise(16, 5);
    start("ICY 200 OK\r\nicy-name:Feed FM\r\nicy-metaint:16\r\n\r\n");
    feed(a + titleBlock("A - 1"));
    feed(b);
    engine->togglePause();
    feed(titleBlock("B - 2") + c + titleBlock("C - 3"));
    EXPECT_EQ(inside(engine).songName(), QByteArray("C - 3.mp3"));
    inside(engine).superviseTick();
    EXPECT_EQ(inside(engine).caption(), QStringLiteral("PAUSED...C - 3.mp3"));
    engine->togglePause();
    feed(d + titleBlock("") + e);
    engine->stopRecording();

    EXPECT_EQ(files(), QStringList({QStringLiteral("A - 1.mp3"), QStringLiteral("C - 3.mp3"),
                                    QStringLiteral("Feed FM-03072026.mp3")}));
    // The file open before the pause ends with its own audio and its tag.
    EXPECT_EQ(file("A - 1.mp3"), b + tagFor("A", "1"));
    EXPECT_EQ(file("C - 3.mp3"), d + e + tagFor("C", "3"));
}

TEST_F(Supervisor, TimeTheHandlerSpendsOnNewFilesIsNotSilence)
{
    program().configuration().captureMode = 2;
    start("ICY 200 OK\r\nicy-name:Feed FM\r\nicy-metaint:16\r\n\r\n");
    // One packet that starts 25 files holds the data after it for 500 ms.
    QByteArray packet;
    for (int title = 1; title <= 25; ++title)
        packet += noise(16, static_cast<quint32>(title)) + titleBlock("Artist - Song " + QByteArray::number(title));
    const qint64 before = clock.monotonicMs();
    feed(packet);
    station.send(noise(16, 99));
    ASSERT_TRUE(waitUntil([&] { return !clock.hasPendingCalls(); }));
    EXPECT_GE(clock.monotonicMs() - before, 500);
    EXPECT_EQ(inside(engine).lastDataTick(), clock.monotonicMs())
        << "the held audio counts as arriving when it is handled";
    clock.advance(100);
    inside(engine).superviseTick();
    EXPECT_EQ(inside(engine).caption(), QStringLiteral("Now Recording: Artist - Song 25.mp3"));
    EXPECT_EQ(inside(engine).retryCount(), 0);
    EXPECT_EQ(station.connectionCount(), 1);
}

TEST_F(Supervisor, StopEndsAPausedStartAndItsPendingFile)
{
    program().configuration().captureMode = 2;
    program().configuration().startPaused = true;
    start("ICY 200 OK\r\nicy-name:Feed FM\r\nicy-metaint:16\r\n\r\n");
    feed(noise(16, 1) + titleBlock("A - 1"));
    EXPECT_TRUE(inside(engine).isPaused());
    EXPECT_EQ(inside(engine).pendingFileName(), QByteArray("A - 1.mp3"));
    engine->stopRecording();
    EXPECT_FALSE(inside(engine).isPaused());
    EXPECT_TRUE(inside(engine).pendingFileName().isEmpty());
    EXPECT_FALSE(ui.tray.pauseRecording.on);
    EXPECT_FALSE(ui.tray.pauseRecording.enabled);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(Supervisor, AudioWaitingBelowTheBatchIsTakenInBeforeItCountsAsSilence)
{
    RecorderTestPeer peer(*engine);
    peer.readInBatches();
    start();
    EXPECT_EQ(peer.readThreshold(), 128 * 125) << "a second of audio at the header's rate";
    const qint32 before = inside(engine).byteCount();
    const QByteArray audio = noise(500, 1);
    station.send(audio);
    waitUntil([] { return false; }, 200);
    ASSERT_EQ(inside(engine).byteCount(), before) << "less than a batch waits in the socket";
    at(4000, false);
    ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() == before + audio.size(); }));
    EXPECT_FALSE(ui.captions.contains(QStringLiteral("[ERR] NETWORK: Awaiting data...")));
    engine->stopRecording();
    EXPECT_EQ(file("show.mp3"), audio + tagFor("", "Test Station"));
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
        const qint64 silentSince = inside(engine).lastDataTick();
        while (station.connectionCount() == connections && engine->isRecording()) {
            ms += 100;
            at(ms, false);
            ASSERT_LT(ms, 60000);
        }
        // Not before more than 10 s of silence.
        const qint64 silence = base + ms - silentSince;
        EXPECT_GT(silence, 10000);
        EXPECT_LE(silence, 10100);
        if (timeout < 4) {
            EXPECT_TRUE(waitUntil([&] { return station.requests.last().endsWith("\r\n\r\n"); }));
            EXPECT_EQ(inside(engine).retryCount(), timeout);
            EXPECT_EQ(inside(engine).serverNumber(), 1);
        }
    }
    EXPECT_EQ(station.connectionCount(), 4);
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR] TIMEOUT! Reconnecting...")));
    EXPECT_TRUE(ui.tips.contains(QStringLiteral("Test Station -- TIMEOUT! Reconnecting...")));
    EXPECT_EQ(ui.messages,
              QStringList(QStringLiteral("Network errors have interrupted successful recording of Test Station!")));
    EXPECT_FALSE(engine->isRecording());
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Vorlane"));
    EXPECT_EQ(file("show.mp3"), audio + tagFor("", "Test Station"));
    EXPECT_FALSE(ui.exited()) << "the preset does not ask for the exit";
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
        EXPECT_EQ(inside(engine).retryCount(), 0);
    }
    EXPECT_TRUE(engine->isRecording());
    EXPECT_TRUE(ui.messages.isEmpty());
    engine->stopRecording();
    // No header text in a single file: reconnects add audio alone, then the tag.
    EXPECT_EQ(file("show.mp3").size(), 5 * 500 + 128);
}

TEST_F(Supervisor, NoTickRunsWhileAnotherWaitsForAConnection)
{
    start();
    feed(noise(1000, 3));
    // The reconnection will wait the full ten seconds for a server that never
    // answers, while the real timer fires as fast as it can.
    NeverAnswering silent;
    StreamServer server = inside(engine).servers().at(0);
    server.port = QByteArray::number(silent.port);
    inside(engine).replaceServer(1, server);
    inside(engine).setAutomaticSupervision(true);
    at(now() + 10100, false);
    // Ticks inside that wait would have counted the same silence again and
    // again, up to the network message; only this one timeout counted.
    EXPECT_EQ(ui.captions.count(QStringLiteral("[ERR] TIMEOUT! Reconnecting...")), 1);
    EXPECT_EQ(ui.messages, QStringList(QStringLiteral("The computer could not connect to the stream!")));
    EXPECT_FALSE(engine->isRecording());
}

TEST_F(Supervisor, ExitRuleEndsTheProgramOnlyWhenNotStartedFromTheSetupWindow)
{
    for (const bool fromSetupWindow : {true, false}) {
        SCOPED_TRACE(fromSetupWindow ? "from the setup window" : "from a preset");
        restartProgram();
        RecordingFrontEnd &frontEnd = ui;
        frontEnd.messages.clear();
        frontEnd.clearExit();
        Preset &config = program().configuration();
        config.saveFolder = folder;
        config.captureMode = 1;
        config.recordingFileName = QStringLiteral("none.mp3");
        config.listenAtStart = false;
        config.exitAfterRecording = true;
        Recorder *recorder = program().loadRecorder();
        inside(recorder).setStartedFromSetupWindow(fromSetupWindow);
        inside(recorder).addServer("127.0.0.1", "/stream", QByteArray::number(closedPort()), QByteArray());
        inside(recorder).beginRecording(program().configuration());
        ASSERT_TRUE(waitUntil([&] { return !frontEnd.messages.isEmpty(); }));
        EXPECT_EQ(frontEnd.messages, QStringList(QStringLiteral("The computer could not connect to the stream!")));
        EXPECT_EQ(frontEnd.exited(), !fromSetupWindow);
        EXPECT_EQ(program().recorder() != nullptr, fromSetupWindow);
        if (!fromSetupWindow) {
            EXPECT_EQ(frontEnd.exitStatus(), 1) << "nothing could be recorded";
        }
    }
    engine = nullptr;
}

TEST_F(Supervisor, EndOfATimedRecordingEndsTheProgramWhenThePresetAsks)
{
    Preset &config = program().configuration();
    config.timeLimited = true;
    config.timeLimitMinutes = 1;
    config.exitAfterRecording = true;
    start();
    tickThrough(0, 60500);
    EXPECT_FALSE(ui.exited());
    at(60600);
    EXPECT_TRUE(ui.exited());
    EXPECT_EQ(ui.exitStatus(), 0);
    EXPECT_EQ(program().recorder(), nullptr) << "the main window was unloaded";
    // The recording was closed (and its file tagged) before the end.
    EXPECT_EQ(file("show.mp3").right(128), tagFor("", "Test Station"));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(Supervisor, StopBeforeAPendingServerChangeIsNotUndone)
{
    ScriptedStation full;
    full.setReplies({{{"ICY 400 Server Full\r\n\r\n"}, false}});
    inside(engine).addServer("127.0.0.1", "/stream", QByteArray::number(full.port()), QByteArray());
    inside(engine).addServer("127.0.0.1", "/stream", QByteArray::number(station.port()), QByteArray());
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return inside(engine).isServerChangePending(); }));
    engine->stopRecording();
    inside(engine).superviseTick();
    EXPECT_FALSE(engine->isRecording());
    EXPECT_EQ(inside(engine).serverNumber(), 1);
    waitUntil([] { return false; }, 50);
    EXPECT_EQ(station.connectionCount(), 0);
}

TEST_F(Supervisor, ListenCaptionAndVolumeFollowTheEngineEveryTick)
{
    engine->setVolume(40);
    inside(engine).superviseTick();
    EXPECT_EQ(inside(engine).relay().appliedVolume, 40);
    EXPECT_FALSE(ui.tray.listen.on);
    engine->toggleListening(); // idle: only the flag and, at the next tick, the caption
    engine->setVolume(75);
    inside(engine).superviseTick();
    EXPECT_EQ(inside(engine).relay().appliedVolume, 75);
    EXPECT_TRUE(ui.tray.listen.on);
    const int changes = ui.trayChanges;
    inside(engine).superviseTick();
    EXPECT_EQ(ui.trayChanges, changes) << "an unchanged caption is not pushed again";
}
