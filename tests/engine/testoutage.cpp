// Outages on the fake clock: a station that delivered audio and then went away
// (closed, answering 404, unreachable) is called again for the reconnect
// period, and the recording's file goes on when it is back.
#include <gtest/gtest.h>

#include "eventwait.h"

#include "config/inivalues.h"
#include "recorderfixture.h"
#include "recordertestpeer.h"
#include "scriptedstation.h"
#include "teststation/station.h"

namespace
{

class Outage : public RecorderFixture
{
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();
        loadRecorder(1, QStringLiteral("show.mp3"), false);
        teststation::Stream stream;
        stream.pace = teststation::Stream::Pace::Fast;
        stream.dropAfter = 30000;
        config.streams.insert("/stream", stream);
        startStation();
        inside(engine).addServer("127.0.0.1", "/stream", QByteArray::number(station->port()), QByteArray());
    }
    // Records until the first connection has dropped and then the station
    // answers 404 to the next `refusals` requests.
    void recordIntoA404Outage(int refusals)
    {
        inside(engine).beginRecording(program().configuration());
        ASSERT_TRUE(waitUntil([&] { return station->connectionCount() == 1 && station->connection(0).isStream; }));
        station->config().pages.insert("/stream", teststation::Page::statusOnly("HTTP/1.0 404 Not Found"));
        ASSERT_TRUE(waitUntil([&] { return station->connectionCount() > refusals; }, 20000));
    }
    // The station streams again, other audio, and stops sending after a while.
    void stationIsBack()
    {
        station->config().pages.remove("/stream");
        teststation::Stream &stream = station->config().streams["/stream"];
        stream.seed = 2;
        stream.dropAfter = -1;
        stream.stallAfter = 20000;
    }
};

} // namespace

TEST_F(Outage, RefusalsAfterAudioAreBridgedWithGrowingPausesAndTheFileGoesOn)
{
    recordIntoA404Outage(4);
    EXPECT_TRUE(engine->isRecording());
    EXPECT_TRUE(inside(engine).isInOutage());
    EXPECT_TRUE(engine->status().unreachable);
    EXPECT_EQ(engine->status().unreachableSince.date(), QDate(2026, 3, 7));
    EXPECT_TRUE(inside(engine).caption().startsWith(QStringLiteral("[ERR] Station unreachable since 12:00:")))
        << inside(engine).caption().toStdString();
    EXPECT_TRUE(ui.tray.tip.startsWith(QStringLiteral("Test Station -- Unreachable since 12:00:")));
    EXPECT_TRUE(ui.messages.isEmpty());
    // Attempts at once, then after 1, 2 and 4 s: the fourth refusal comes
    // no sooner than 3 s into the outage, the fifth not before 7 s.
    EXPECT_GE(engine->status().unreachableSince.msecsTo(clock.now()), 3000);
    stationIsBack();
    ASSERT_TRUE(waitUntil([&] {
        const int last = station->connectionCount() - 1;
        return station->connection(last).stalled && inside(engine).byteCount() >= station->connection(last).wireBytes;
    }));
    EXPECT_FALSE(inside(engine).isInOutage());
    EXPECT_FALSE(engine->status().unreachable);
    EXPECT_EQ(inside(engine).reconnectCount(), 1);
    engine->stopRecording();

    // One file: the audio before the outage, then the audio after it.
    const teststation::ConnectionRecord &back = station->connection(station->connectionCount() - 1);
    EXPECT_EQ(files(), QStringList(QStringLiteral("show.mp3")));
    EXPECT_EQ(file("show.mp3"), station->connection(0).audio + back.audio + tagFor("", "Test Station"));
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();
}

TEST_F(Outage, OutageLongerThanThePeriodEndsTheRecordingSayingHowLongItLasted)
{
    setReconnectPeriodMinutes(1);
    inside(engine).setShowsWindows(false); // a run without windows ends with the recording
    recordIntoA404Outage(1);
    ASSERT_TRUE(waitUntil([&] { return !engine->isRecording(); }, 30000));
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages.at(0).startsWith(QStringLiteral("The station has been unreachable since 12:00:")))
        << ui.messages.at(0).toStdString();
    EXPECT_TRUE(ui.messages.at(0).contains(QStringLiteral("(1 min 0 s)"))) << ui.messages.at(0).toStdString();
    // After the attempts at once, 1, 2, 4 and 8 s, every 15 s: about 8 in a minute.
    EXPECT_LE(station->connectionCount(), 12);
    EXPECT_EQ(file("show.mp3"), station->connection(0).audio + tagFor("", "Test Station"));
    ASSERT_TRUE(waitUntil([&] { return ui.exited(); }));
    EXPECT_EQ(ui.exitStatus(), 1);
}

TEST_F(Outage, NoPeriodKeepsTheRuleThatARefusalOfTheLastServerEnds)
{
    setReconnectPeriodMinutes(0);
    recordIntoA404Outage(1);
    ASSERT_TRUE(waitUntil([&] { return !engine->isRecording(); }));
    EXPECT_EQ(ui.messages, QStringList(QStringLiteral("The shoutcast stream you are trying to record is experiencing "
                                                      "network problems, or is full. Please try again later!")));
}

// A time limit ends a recording in the middle of an outage as it ends any other.
TEST_F(Outage, TimeLimitEndsTheRecordingDuringAnOutage)
{
    program().configuration().timeLimited = true;
    program().configuration().timeLimitMinutes = 1;
    recordIntoA404Outage(1);
    ASSERT_TRUE(waitUntil([&] { return !engine->isRecording(); }, 30000));
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(u'|').toStdString();
    EXPECT_EQ(file("show.mp3"), station->connection(0).audio + tagFor("", "Test Station"));
}

// Before any audio, a server that hangs up is refused for this round: the next
// one records, and the caption names it.
using Failover = ProgramTest;

TEST_F(Failover, HangUpBeforeAudioPassesOnToTheNextServer)
{
    Preset &record = program().configuration();
    record.reset();
    record.saveFolder = testenv::home() + QStringLiteral("/hangup/");
    QDir().mkpath(record.saveFolder);
    record.stationTitle = QStringLiteral("Test Station");
    record.captureMode = 1;
    record.recordingFileName = QStringLiteral("hangup.mp3");
    Recorder *engine = program().loadRecorder();
    ScriptedStation first;
    first.setReplies({{{"ICY 200 OK\r\n\r\n"}, true}});
    ScriptedStation second;
    second.setReplies({{{"ICY 200 OK\r\n\r\n", QByteArray(3000, 'a')}, false}});
    inside(engine).addServer("127.0.0.1", "/", QByteArray::number(first.port()), QByteArray());
    inside(engine).addServer("127.0.0.1", "/", QByteArray::number(second.port()), QByteArray());
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return second.repliesDone == 1 && inside(engine).byteCount() >= 3014; }));
    EXPECT_EQ(first.requests.size(), 1);
    EXPECT_EQ(inside(engine).serverNumber(), 2);
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR]: The server closed the connection, trying server 2...")));
    engine->stopRecording();
    EXPECT_EQ(testenv::readFile(record.saveFolder + QStringLiteral("hangup.mp3")).chopped(128), QByteArray(3000, 'a'));
}
