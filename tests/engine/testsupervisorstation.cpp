// The supervisor against the bundled test station over loopback: stalls,
// drops, refusals and redirects. The supervisor's time is the fake clock, the
// sockets are real, and the test ticks the supervisor itself.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "audiofiles.h"

#include "eventwait.h"

#include <functional>
#include <limits>
#include <memory>

#include "app/programcontext.h"
#include "config/preset.h"
#include "engine/id3v1tag.h"
#include "engine/recorder.h"
#include "fakeclock.h"
#include "recorderfixture.h"
#include "recordertestpeer.h"
#include "scriptedstation.h"
#include "testenv.h"
#include "teststation/station.h"

namespace
{

const QByteArray kStationFile = "Vorlane Test Station-03072026.mp3";

class StationSupervisor : public RecorderFixture
{
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();
        // The retry rule without a reconnect period; outages have their own cases.
        setReconnectPeriodMinutes(0);
        loadRecorder(2);
        stream.pace = teststation::Stream::Pace::Fast;
        stream.metaInt = 1000;
        stream.titles = {"Artist One - Song One"};
    }
    teststation::Station &startStation(teststation::Config config)
    {
        stations.push_back(std::make_unique<teststation::Station>(config));
        EXPECT_TRUE(stations.back()->start());
        return *stations.back();
    }
    void addServer(quint16 port, const QByteArray &path)
    {
        inside(engine).addServer("127.0.0.1", path, QByteArray::number(port), QByteArray());
    }
    // Waits until connection index of the station has stopped sending (stalled
    // or closed) and the engine has read all of it.
    void waitUntilRead(const teststation::Station &station, int index)
    {
        ASSERT_TRUE(waitUntil([&] {
            if (station.connectionCount() <= index)
                return false;
            const teststation::ConnectionRecord &sent = station.connection(index);
            return (sent.stalled || !sent.open) && inside(engine).byteCount() >= sent.wireBytes;
        })) << "read "
            << inside(engine).byteCount();
    }
    // Ticks every 100 ms of the fake clock until the station has one more
    // connection; returns the silence (ms) the reconnect came after.
    qint64 tickUntilReconnected(const teststation::Station &station)
    {
        const int connections = station.connectionCount();
        const qint64 silentSince = inside(engine).lastDataTick();
        for (int ticks = 0; ticks < 200; ++ticks) {
            clock.advance(100);
            const qint64 tickedAt = clock.monotonicMs();
            inside(engine).superviseTick();
            if (inside(engine).retryCount() > 0) {
                EXPECT_TRUE(waitUntil([&] { return station.connectionCount() > connections; }));
                return tickedAt - silentSince;
            }
        }
        ADD_FAILURE() << "no reconnect";
        return -1;
    }
    // Waits for the data handler to ask for a change of server, then ticks once.
    void tickOnServerChange()
    {
        ASSERT_TRUE(waitUntil([&] { return inside(engine).isServerChangePending(); }));
        inside(engine).superviseTick();
    }

    teststation::Stream stream;
    std::vector<std::unique_ptr<teststation::Station>> stations;
};

} // namespace

TEST_F(StationSupervisor, StallOfElevenSecondsReconnectsToTheSameServerAndTheFileKeepsGrowing)
{
    stream.stallAfter = 20000;
    teststation::Config config;
    config.streams.insert("/stream", stream);
    teststation::Station &station = startStation(config);
    addServer(station.port(), "/stream");
    inside(engine).beginRecording(program().configuration());
    waitUntilRead(station, 0);
    const QByteArray song = "Artist One - Song One.mp3";
    const qint64 sizeBefore = file(song).size();
    ASSERT_GT(sizeBefore, 0);
    // Other audio on the next connection, so that none of it is a repeat.
    station.config().streams["/stream"].seed = 2;

    const qint64 silence = tickUntilReconnected(station);
    EXPECT_GT(silence, 10000);
    EXPECT_LE(silence, 11000);
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR] NETWORK: Awaiting data...")));
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR] TIMEOUT! Reconnecting...")));
    EXPECT_TRUE(ui.tips.contains(QStringLiteral("Test Station -- NETWORK: Awaiting data...")));
    EXPECT_TRUE(ui.tips.contains(QStringLiteral("Test Station -- TIMEOUT! Reconnecting...")));
    waitUntilRead(station, 1);
    EXPECT_EQ(inside(engine).serverNumber(), 1);
    EXPECT_EQ(station.connection(1).target, QByteArray("/stream"));
    EXPECT_GT(file(song).size(), sizeBefore);
    // Data again: the caption says so at the next tick.
    inside(engine).superviseTick();
    EXPECT_EQ(inside(engine).caption(), QStringLiteral("Now Recording: Artist One - Song One.mp3"));
    EXPECT_EQ(inside(engine).retryCount(), 0);
    engine->stopRecording();

    // The open file went on: the second connection's header and audio follow
    // the first one's audio, since its first title is the same.
    const teststation::ConnectionRecord &first = station.connection(0);
    const teststation::ConnectionRecord &second = station.connection(1);
    const qint64 titleAt = audiofiles::frameSplit(first.audio, first.titles.at(0).audioOffset);
    EXPECT_EQ(files(), QStringList({QFile::decodeName(song), QFile::decodeName(kStationFile)}));
    EXPECT_EQ(file(kStationFile), first.audio.left(titleAt) + tagFor("", kStationFile.chopped(4)));
    EXPECT_EQ(file(song), first.audio.mid(titleAt) + second.audio + tagFor("Artist One", "Song One"));
}

TEST_F(StationSupervisor, DropMidStreamThenReconnectLosesNoAudio)
{
    stream.titles = {"One - A", "Two - B"};
    stream.titleEvery = 15000;
    stream.dropAfter = 30000;
    teststation::Config config;
    config.streams.insert("/stream", stream);
    teststation::Station &station = startStation(config);
    addServer(station.port(), "/stream");
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return station.connectionCount() == 1 && station.connection(0).isStream; }));
    // The next connection plays another title and then stalls.
    teststation::Stream &next = station.config().streams["/stream"];
    next.titles = {"Three - C"};
    next.seed = 2; // other audio: none of it repeats the first connection
    next.dropAfter = -1;
    next.stallAfter = 12000;
    waitUntilRead(station, 0);
    ASSERT_TRUE(station.connection(0).dropped);

    // The drop is noticed at once, not after ten seconds of silence.
    EXPECT_LT(tickUntilReconnected(station), 10000);
    waitUntilRead(station, 1);
    engine->stopRecording();

    const teststation::ConnectionRecord &first = station.connection(0);
    const teststation::ConnectionRecord &second = station.connection(1);
    ASSERT_EQ(first.titles.size(), 2);
    ASSERT_EQ(second.titles.size(), 1);
    const qint64 a = audiofiles::frameSplit(first.audio, first.titles.at(0).audioOffset);
    const qint64 b = audiofiles::frameSplit(first.audio, first.titles.at(1).audioOffset);
    const qint64 c = audiofiles::frameSplit(second.audio, second.titles.at(0).audioOffset);
    EXPECT_EQ(files(), QStringList({QStringLiteral("One - A.mp3"), QStringLiteral("Three - C.mp3"),
                                    QStringLiteral("Two - B.mp3"), QFile::decodeName(kStationFile)}));
    EXPECT_EQ(file(kStationFile), first.audio.left(a) + tagFor("", kStationFile.chopped(4)));
    EXPECT_EQ(file("One - A.mp3"), first.audio.mid(a, b - a) + tagFor("One", "A"));
    // Everything up to the drop, then the new connection's audio until its first title.
    EXPECT_EQ(file("Two - B.mp3"), first.audio.mid(b) + second.audio.left(c) + tagFor("Two", "B"));
    EXPECT_EQ(file("Three - C.mp3"), second.audio.mid(c) + tagFor("Three", "C"));
}

TEST_F(StationSupervisor, RefusalFromServerTwoOfThreeMovesToServerThree)
{
    stream.dropAfter = 5000;
    teststation::Config config;
    config.streams.insert("/stream", stream);
    config.pages.insert("/full", teststation::Page::statusOnly("ICY 400 Server Full"));
    teststation::Station &station = startStation(config);
    addServer(closedPort(), "/stream"); // refuses the connection itself
    addServer(station.port(), "/full");
    addServer(station.port(), "/stream");
    inside(engine).beginRecording(program().configuration());
    tickOnServerChange();
    EXPECT_TRUE(ui.tips.contains(QStringLiteral("Test Station -- Server Full... trying server 3")));
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR]: Server full, trying server 3...")));
    waitUntilRead(station, 1);
    EXPECT_EQ(inside(engine).serverNumber(), 3);
    EXPECT_EQ(station.connection(0).target, QByteArray("/full"));
    EXPECT_EQ(station.connection(1).target, QByteArray("/stream"));
    engine->stopRecording();
    const teststation::ConnectionRecord &sent = station.connection(1);
    EXPECT_EQ(file("Artist One - Song One.mp3"),
              sent.audio.mid(audiofiles::frameSplit(sent.audio, sent.titles.at(0).audioOffset)) +
                  tagFor("Artist One", "Song One"));
}

TEST_F(StationSupervisor, RedirectToASecondStationReplacesTheEntryAndRecordsFromIt)
{
    teststation::Stream second = stream;
    second.name = "Second Station";
    second.titles = {"B Artist - B Song"};
    second.dropAfter = 8000;
    teststation::Config targetConfig;
    targetConfig.streams.insert("/live", second);
    teststation::Station &target = startStation(targetConfig);
    teststation::Config moverConfig;
    moverConfig.pages.insert("/stream", teststation::Page::redirect(target.url("/live?sid=2")));
    teststation::Station &mover = startStation(moverConfig);
    addServer(mover.port(), "/stream");
    addServer(mover.port(), "/other");
    inside(engine).beginRecording(program().configuration());
    tickOnServerChange();
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR]: Found new location, reconnecting...")));
    waitUntilRead(target, 0);
    engine->stopRecording();

    EXPECT_EQ(inside(engine).serverNumber(), 1);
    const StreamServer moved = inside(engine).servers().at(0);
    EXPECT_EQ(moved.host, QByteArray("127.0.0.1"));
    EXPECT_EQ(moved.port, QByteArray::number(target.port()));
    EXPECT_EQ(moved.path, QByteArray("/live"));
    EXPECT_EQ(moved.query, QByteArray("sid=2"));
    EXPECT_EQ(mover.connectionCount(), 1);
    EXPECT_TRUE(target.connection(0).request.startsWith("GET /live?sid=2 HTTP/1.1\r\n"));
    const teststation::ConnectionRecord &sent = target.connection(0);
    const qint64 titleAt = audiofiles::frameSplit(sent.audio, sent.titles.at(0).audioOffset);
    EXPECT_EQ(file("Second Station-03072026.mp3"), sent.audio.left(titleAt) + tagFor("", "Second Station-03072026"));
    EXPECT_EQ(file("B Artist - B Song.mp3"), sent.audio.mid(titleAt) + tagFor("B Artist", "B Song"));
}

TEST_F(StationSupervisor, AllServersTurningUsAwayEndsWithAllServersAreFull)
{
    for (const bool exitAfterwards : {false, true}) {
        SCOPED_TRACE(exitAfterwards ? "exit asked" : "no exit asked");
        restartProgram();
        ui.messages.clear();
        ui.captions.clear();
        ui.clearExit();
        Preset &config = program().configuration();
        config.saveFolder = folder;
        config.stationTitle = QStringLiteral("Test Station");
        config.captureMode = 2;
        config.listenAtStart = false;
        config.exitAfterRecording = exitAfterwards;
        // Started from the setup window; the servers' answers count as data.
        engine = program().loadRecorder();
        inside(engine).setStartedFromSetupWindow(true);
        inside(engine).setAutomaticSupervision(false);

        teststation::Config stationConfig;
        stationConfig.everyRequest = teststation::Page::statusOnly("HTTP/1.0 302 Redirect");
        teststation::Station &station = startStation(stationConfig);
        for (const QByteArray path : {"/a", "/b", "/c"})
            addServer(station.port(), path);
        inside(engine).beginRecording(program().configuration());
        for (int server = 1; server <= 3; ++server)
            tickOnServerChange();

        EXPECT_EQ(station.connectionCount(), 3);
        EXPECT_EQ(ui.captions.count(QStringLiteral("[ERR]: Server full, trying next server...")), 3);
        EXPECT_EQ(ui.messages, QStringList(QStringLiteral("All servers are full!")));
        EXPECT_TRUE(files().isEmpty());
        EXPECT_EQ(ui.exited(), exitAfterwards);
        if (exitAfterwards) {
            EXPECT_EQ(program().recorder(), nullptr);
        } else {
            EXPECT_FALSE(engine->isRecording());
            EXPECT_EQ(ui.tray.tip, QStringLiteral("Vorlane"));
        }
    }
}

TEST_F(StationSupervisor, RefusalOnAReconnectMovesOnAndKeepsTheTagOfTheFileItClosed)
{
    stream.dropAfter = 6000;
    teststation::Stream other = stream;
    other.name = "Other Station";
    other.titles = {"Artist Two - Song Two"};
    teststation::Config config;
    config.streams.insert("/stream", stream);
    config.streams.insert("/other", other);
    teststation::Station &station = startStation(config);
    addServer(station.port(), "/stream");
    addServer(station.port(), "/other");
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return station.connectionCount() == 1 && station.connection(0).isStream; }));
    // The first server is full when the recorder comes back to it.
    station.config().pages.insert("/stream", teststation::Page::statusOnly("ICY 400 Server Full"));
    waitUntilRead(station, 0);
    EXPECT_LT(tickUntilReconnected(station), 10000);
    tickOnServerChange();
    waitUntilRead(station, 2);
    EXPECT_EQ(inside(engine).serverNumber(), 2);
    engine->stopRecording();

    const teststation::ConnectionRecord &first = station.connection(0);
    const teststation::ConnectionRecord &third = station.connection(2);
    EXPECT_EQ(file("Artist One - Song One.mp3"),
              first.audio.mid(audiofiles::frameSplit(first.audio, first.titles.at(0).audioOffset)) +
                  tagFor("Artist One", "Song One"));
    EXPECT_EQ(file("Other Station-03072026.mp3"),
              third.audio.left(audiofiles::frameSplit(third.audio, third.titles.at(0).audioOffset)) +
                  tagFor("", "Other Station-03072026"));
}
