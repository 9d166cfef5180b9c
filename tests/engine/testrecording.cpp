// Recordings end to end over loopback: a scripted station answers the engine's
// request, and the files on disk are compared with what the station sent.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QStringBuilder>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include "eventwait.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "../config/filesizelimit.h"
#include "app/programcontext.h"
#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/id3v1tag.h"
#include "engine/recorder.h"
#include "engine/recordingnames.h"
#include "fakeclock.h"
#include "recorderfixture.h"
#include "recordertestpeer.h"
#include "scriptedstation.h"
#include "streambytes.h"
#include "testenv.h"

namespace
{

const QByteArray kDate = "03072026"; // the fake clock's day, month first

// A title-mode stream: the header, then intervals of audio, each followed by a
// block. titles[i] is the title in force after the i-th block (empty: no
// title yet). Expected audio per title is collected as the stream is built.
struct IcyStream
{
    QByteArray wire;
    QList<QByteArray> titles;     // in order of appearance
    QList<QByteArray> audioUnder; // same index as titles; [0] is the audio before any title
};

IcyStream buildIcyStream(const QByteArray &header, int interval, const QList<QByteArray> &blockTitles)
{
    IcyStream s;
    s.wire = header;
    s.titles.append(QByteArray());
    s.audioUnder.append(QByteArray());
    quint32 seed = 1;
    for (const QByteArray &title : blockTitles) {
        const QByteArray audio = noise(interval, seed++);
        s.wire.append(audio);
        s.audioUnder.last().append(audio);
        if (title.isEmpty()) {
            s.wire.append('\0');
            continue;
        }
        s.wire.append(metadataBlock("StreamTitle='" + title + "';StreamUrl='';"));
        if (title != s.titles.last()) {
            s.titles.append(title);
            s.audioUnder.append(QByteArray());
        }
    }
    const QByteArray tail = noise(interval / 2, seed);
    s.wire.append(tail);
    s.audioUnder.last().append(tail);
    return s;
}

// A title-mode stream whose blocks carry the given texts as they stand: audio[i]
// is the audio before block i, and the last entry the audio after the last block.
struct BlockStream
{
    QByteArray wire;
    QList<QByteArray> audio;
};

BlockStream buildBlockStream(const QByteArray &header, int interval, const QList<QByteArray> &texts)
{
    BlockStream s;
    s.wire = header;
    quint32 seed = 100;
    for (const QByteArray &text : texts) {
        s.audio.append(noise(interval, seed++));
        s.wire += s.audio.last() + metadataBlock(text);
    }
    s.audio.append(noise(interval / 2, seed));
    s.wire += s.audio.last();
    return s;
}

QByteArray titleText(const QByteArray &title)
{
    return "StreamTitle='" + title + "';StreamUrl='';";
}

class RecordingTest : public RecorderFixture
{
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();
        loadRecorder(2, QString(), false);
    }

    void addServer(quint16 port, const QByteArray &path = "/stream")
    {
        inside(engine).addServer("127.0.0.1", path, QByteArray::number(port), QByteArray());
    }

    // Starts the recording and waits until the station has sent everything and
    // the engine has taken it in.
    void record(ScriptedStation &station, int connections = 1)
    {
        inside(engine).beginRecording(program().configuration());
        ASSERT_TRUE(waitUntil([&] { return station.repliesDone >= connections; }));
        // Let the last bytes reach the handler.
        waitUntil([] { return false; }, 60);
    }

    // Every file in the folder holds exactly what it should, and no other file is there.
    void expectFiles(const QMap<QString, QByteArray> &expected) const
    {
        EXPECT_EQ(files(), QStringList(expected.keys()));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            EXPECT_EQ(testenv::readFile(folder + it.key()), it.value()) << qPrintable(it.key());
    }
};

const QByteArray kIcyHeader = "ICY 200 OK\r\n"
                              "icy-notice1:<BR>This stream requires a player<BR>\r\n"
                              "icy-name: Test Radio \r\n"
                              "icy-genre:Jazz\r\n"
                              "icy-br:128\r\n"
                              "icy-metaint:64\r\n"
                              "\r\n";

} // namespace

TEST_F(RecordingTest, TitleModeWritesOneFilePerTitleWithExactlyItsAudio)
{
    const IcyStream stream =
        buildIcyStream(kIcyHeader, 64,
                       {"", "", "Artist One - Song One", "Artist One - Song One", "", "Two: The Band? - Song/Two",
                        "Two: The Band? - Song/Two", "Solo", "Solo", "Solo"});
    ScriptedStation station;
    // The header arrives in pieces; the audio in packets smaller and larger than one interval.
    station.setReplies({{cutInto(stream.wire, {20, 37, 200, 1, 90, 7, 300}), false}});
    addServer(station.port());
    record(station);

    EXPECT_TRUE(station.requests.at(0).contains("\r\nIcy-MetaData:1\r\n"));
    EXPECT_EQ(inside(engine).bitRate(), 128);
    EXPECT_EQ(inside(engine).songName(), QByteArray("Solo.mp3"));
    // Before the recording stops every byte is already on disk, untagged.
    EXPECT_EQ(file("Solo.mp3"), stream.audioUnder.at(3));
    engine->stopRecording();

    EXPECT_EQ(files(), QStringList({QStringLiteral("Artist One - Song One.mp3"), QStringLiteral("Solo.mp3"),
                                    QStringLiteral("Test Radio-") + QString::fromLatin1(kDate) + QStringLiteral(".mp3"),
                                    QStringLiteral("Two The Band - SongTwo.mp3")}));
    EXPECT_EQ(file("Test Radio-" + kDate + ".mp3"), stream.audioUnder.at(0) + tagFor("", "Test Radio-" + kDate));
    EXPECT_EQ(file("Artist One - Song One.mp3"), stream.audioUnder.at(1) + tagFor("Artist One", "Song One"));
    // The file name is cleaned; the tag keeps what the station sent.
    EXPECT_EQ(file("Two The Band - SongTwo.mp3"), stream.audioUnder.at(2) + tagFor("Two: The Band?", "Song/Two"));
    EXPECT_EQ(file("Solo.mp3"), stream.audioUnder.at(3) + tagFor("", "Solo"));
}

TEST_F(RecordingTest, WholeStreamInOnePacketStaysOnTheGrid)
{
    const IcyStream stream = buildIcyStream(kIcyHeader, 64, {"A - 1", "B - 2", "", "C - 3"});
    ScriptedStation station;
    station.setReplies({{{stream.wire}, false}});
    addServer(station.port());
    record(station);
    engine->stopRecording();
    EXPECT_EQ(file("Test Radio-" + kDate + ".mp3").chopped(128), stream.audioUnder.at(0));
    EXPECT_EQ(file("A - 1.mp3").chopped(128), stream.audioUnder.at(1));
    EXPECT_EQ(file("B - 2.mp3").chopped(128), stream.audioUnder.at(2));
    EXPECT_EQ(file("C - 3.mp3"), stream.audioUnder.at(3) + tagFor("C", "3"));
}

TEST_F(RecordingTest, HeaderWithoutIntervalRecordsWithoutTitles)
{
    const QByteArray header = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name:Ice Cast\r\n\r\n";
    // Without an interval the bytes that look like a block are audio.
    const QByteArray body = noise(500, 9) + metadataBlock("StreamTitle='Not a title';") + noise(300, 10);
    ScriptedStation station;
    station.setReplies({{cutInto(header + body, {30, 100}), false}});
    addServer(station.port());
    record(station);
    EXPECT_FALSE(inside(engine).isTitleMode());
    engine->stopRecording();
    EXPECT_EQ(files(), QStringList(QStringLiteral("Ice Cast-03072026.mp3")));
    EXPECT_EQ(file("Ice Cast-" + kDate + ".mp3"), body + tagFor("", "Test Station"));
}

TEST_F(RecordingTest, SingleFileModeRecordsIntoTheNamedFile)
{
    Preset &config = program().configuration();
    config.captureMode = 1;
    config.recordingFileName = QStringLiteral("my show.mp3");
    const QByteArray header = "ICY 200 OK\r\nicy-name:Plain\r\nicy-br:64\r\n\r\n";
    const QByteArray wire = header + noise(5000, 3);
    ScriptedStation station;
    station.setReplies({{cutInto(wire, {1000}), false}});
    addServer(station.port(), "/live");
    record(station);
    EXPECT_TRUE(station.requests.at(0).startsWith("GET /live HTTP/1.1\r\nHost: 127.0.0.1:"));
    EXPECT_TRUE(station.requests.at(0).contains("\r\nIcy-MetaData:0\r\n"));
    engine->stopRecording();
    EXPECT_EQ(files(), QStringList(QStringLiteral("my show.mp3")));
    // The file holds the stream alone, without the reply's header text.
    EXPECT_EQ(file("my show.mp3"), noise(5000, 3) + tagFor("", "Test Station"));
}

// The single file always has the stream's audio extension, and replaces
// nothing but an earlier recording: a file of the user's is kept, the conflict
// is reported and the audio goes into a numbered name.
TEST_F(RecordingTest, SingleFileModeNeverReplacesAUsersFile)
{
    Preset &config = program().configuration();
    config.captureMode = 1;
    const QByteArray wire = "ICY 200 OK\r\n\r\n" + noise(3000, 4);
    const QByteArray recording = noise(3000, 4) + tagFor("", "Test Station");
    const auto recordInto = [&](const QString &name) {
        config.recordingFileName = name;
        ui.messages.clear();
        ScriptedStation station;
        station.setReplies({{{wire}, false}});
        inside(engine).clearServers();
        addServer(station.port());
        record(station);
        engine->stopRecording();
    };
    const auto kept = [&](const QString &user, const QString &instead) {
        return QStringList(QStringLiteral("The file ") + folder + user +
                           QStringLiteral(" already exists and is kept. Recording into ") + folder + instead +
                           QStringLiteral(" instead."));
    };

    testenv::writeFile(folder + QStringLiteral("notes.txt"), "my notes");
    recordInto(QStringLiteral("notes.txt"));
    EXPECT_EQ(file("notes.txt"), QByteArray("my notes"));
    EXPECT_EQ(file("notes.txt.mp3"), recording);
    EXPECT_TRUE(ui.messages.isEmpty());
    // A name with another extension replaces nothing, not even a recording.
    recordInto(QStringLiteral("notes.txt"));
    EXPECT_EQ(ui.messages, kept(QStringLiteral("notes.txt.mp3"), QStringLiteral("notes.txt (2).mp3")));
    EXPECT_EQ(file("notes.txt (2).mp3"), recording);

    testenv::writeFile(folder + QStringLiteral("show.mp3"), "a letter, not audio");
    recordInto(QStringLiteral("show.mp3"));
    EXPECT_EQ(ui.messages, kept(QStringLiteral("show.mp3"), QStringLiteral("show (2).mp3")));
    EXPECT_EQ(file("show.mp3"), QByteArray("a letter, not audio"));
    EXPECT_EQ(file("show (2).mp3"), recording);

    // A name without an extension gets the stream's and replaces the earlier recording.
    testenv::writeFile(folder + QStringLiteral("mix.mp3"), "ICY 200 OK\r\n\r\nolder audio");
    recordInto(QStringLiteral("mix"));
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(file("mix.mp3"), recording);
    QStringList expected = {QStringLiteral("mix.mp3"),       QStringLiteral("notes.txt"),
                            QStringLiteral("notes.txt.mp3"), QStringLiteral("notes.txt (2).mp3"),
                            QStringLiteral("show.mp3"),      QStringLiteral("show (2).mp3")};
    expected.sort();
    EXPECT_EQ(files(), expected);
}

// A change of server goes on in the numbered file, not in a third one.
TEST_F(RecordingTest, ChangeOfServerContinuesTheNumberedSingleFile)
{
    Preset &config = program().configuration();
    config.captureMode = 1;
    config.recordingFileName = QStringLiteral("show.mp3");
    // The old rule: a refused reconnect moves on to the next server at once.
    setReconnectPeriodMinutes(0);
    testenv::writeFile(folder + QStringLiteral("show.mp3"), "a letter, not audio");
    const QByteArray first = "ICY 200 OK\r\n\r\n" + noise(4000, 5);
    ScriptedStation one;
    one.setReplies({{{first, "ICY 400 Server Full\r\n\r\n"}, false}});
    ScriptedStation two;
    two.setReplies({{{"ICY 200 OK\r\n\r\n" + noise(3000, 6)}, false}});
    addServer(one.port());
    addServer(two.port());
    record(two);
    engine->stopRecording();
    EXPECT_EQ(file("show (2).mp3"), noise(4000, 5) + noise(3000, 6) + tagFor("", "Test Station"));
    EXPECT_EQ(files(), QStringList({QStringLiteral("show (2).mp3"), QStringLiteral("show.mp3")}));
    EXPECT_EQ(ui.messages.size(), 1);
}

TEST_F(RecordingTest, ArchiveModeNamesTheFileWithTheDate)
{
    Preset &config = program().configuration();
    config.captureMode = 3;
    config.recordingFileName = QStringLiteral("Morning");
    const QByteArray wire = "ICY 200 OK\r\n\r\n" + noise(3000, 4);
    ScriptedStation station;
    station.setReplies({{{wire}, false}});
    addServer(station.port());
    record(station);
    engine->stopRecording();
    EXPECT_EQ(files(), QStringList(QStringLiteral("Morning-03072026.mp3")));
    EXPECT_EQ(file("Morning-" + kDate + ".mp3"), noise(3000, 4) + tagFor("", "Test Station"));
}

TEST_F(RecordingTest, ServersThatRefuseTheConnectionAreSkipped)
{
    const IcyStream stream = buildIcyStream(kIcyHeader, 64, {"A - 1"});
    ScriptedStation station;
    station.setReplies({{{stream.wire}, false}});
    addServer(closedPort());
    addServer(closedPort());
    addServer(station.port());
    record(station);
    EXPECT_EQ(inside(engine).serverNumber(), 3);
    EXPECT_TRUE(engine->isRecording());
    EXPECT_EQ(file("A - 1.mp3"), stream.audioUnder.at(1));
}

TEST_F(RecordingTest, NoReachableServerStopsWithItsMessage)
{
    addServer(closedPort());
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.messages, QStringList(QStringLiteral("The computer could not connect to the stream!")));
    EXPECT_FALSE(engine->isRecording());
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Vorlane"));
}

TEST_F(RecordingTest, BrowserPageStopsTheRecordingWithItsMessage)
{
    setBrowserAgentEnabled(true); // only a browser is sent the page
    ScriptedStation station;
    station.setReplies({{{"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><title>SHOUTcast ",
                          "Administrator</title>shoutcast server</html>"},
                         false}});
    addServer(station.port());
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.messages.first(), QStringLiteral("This station does not support faking Internet Explorer as the "
                                                  "agent. Please turn this option off to listen to this station."));
    EXPECT_FALSE(engine->isRecording());
}

TEST_F(RecordingTest, RefusalMovesToTheNextServerWithTheNumberInTipAndCaption)
{
    const IcyStream stream = buildIcyStream(kIcyHeader, 64, {"A - 1"});
    ScriptedStation full;
    full.setReplies({{{"ICY 400 Server Full\r\n\r\n"}, false}});
    ScriptedStation good;
    good.setReplies({{{stream.wire}, false}});
    addServer(full.port());
    addServer(good.port());
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(
        waitUntil([&] { return inside(engine).isServerChangePending() || inside(engine).serverNumber() == 2; }));
    EXPECT_EQ(ui.tray.tip, QStringLiteral("Test Station -- Server Full... trying server 2"));
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR]: Server full, trying server 2...")));
    ASSERT_TRUE(waitUntil([&] { return good.repliesDone == 1; }));
    waitUntil([] { return false; }, 60);
    EXPECT_EQ(inside(engine).serverNumber(), 2);
    EXPECT_EQ(file("A - 1.mp3"), stream.audioUnder.at(1));
}

TEST_F(RecordingTest, RefusalFromTheLastServerStopsTheRecording)
{
    ScriptedStation full;
    full.setReplies({{{"ICY 404 Resource Not Found\r\n\r\n"}, false}});
    addServer(full.port());
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.messages.first(), QStringLiteral("The shoutcast stream you are trying to record is experiencing "
                                                  "network problems, or is full. Please try again later!"));
    EXPECT_FALSE(engine->isRecording());
}

// A reply whose header never ends is no stream, in either mode: nothing of it
// is written, and the next server records.
TEST_F(RecordingTest, ReplyWhoseHeaderNeverEndsIsRefused)
{
    const QByteArray endless = "ICY 200 OK\r\nicy-notice1:" + QByteArray(40000, 'x');
    const QByteArray noStatusLine = QByteArray("icy-name:x\r\n").repeated(3000);
    for (const QByteArray &reply : {endless, noStatusLine}) {
        for (const qint32 mode : {1, 2}) {
            SCOPED_TRACE(mode);
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
            ui.captions.clear();
            program().configuration().captureMode = mode;
            program().configuration().recordingFileName = QStringLiteral("show.mp3");
            ScriptedStation broken;
            broken.setReplies({{cutInto(reply, {4000}), false}});
            ScriptedStation good;
            good.setReplies({{{"ICY 200 OK\r\nicy-name:Good\r\n\r\n" + noise(3000, 8)}, false}});
            inside(engine).clearServers();
            addServer(broken.port());
            addServer(good.port());
            record(good);
            EXPECT_EQ(inside(engine).serverNumber(), 2);
            EXPECT_TRUE(ui.captions.contains(
                QStringLiteral("[ERR]: The station's reply is not an audio stream, trying server 2...")));
            engine->stopRecording();
            for (const QString &name : files())
                EXPECT_FALSE(testenv::readFile(folder + name).contains("xxxxxxxx") ||
                             testenv::readFile(folder + name).contains("icy-name:x"))
                    << name.toStdString();
        }
    }

    ScriptedStation only;
    only.setReplies({{cutInto(endless, {4000}), false}});
    inside(engine).clearServers();
    addServer(only.port());
    ui.messages.clear();
    inside(engine).beginRecording(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.messages, QStringList(QStringLiteral("The station's reply is not an audio stream.")));
    EXPECT_FALSE(engine->isRecording());
}

TEST_F(RecordingTest, RedirectReplacesTheServerEntryAndRecordsFromTheNewAddress)
{
    const IcyStream stream = buildIcyStream(kIcyHeader, 64, {"A - 1", "B - 2"});
    ScriptedStation target;
    target.setReplies({{{stream.wire}, false}});
    ScriptedStation mover;
    mover.setReplies({{{"HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + QByteArray::number(target.port()) +
                        "/moved?id=7\r\n\r\n"},
                       false}});
    addServer(mover.port());
    record(target);
    EXPECT_EQ(inside(engine).serverNumber(), 1);
    EXPECT_EQ(inside(engine).servers().at(0).path, QByteArray("/moved"));
    EXPECT_EQ(inside(engine).servers().at(0).query, QByteArray("id=7"));
    EXPECT_TRUE(target.requests.at(0).startsWith("GET /moved?id=7 HTTP/1.1\r\n"));
    EXPECT_EQ(file("A - 1.mp3").chopped(128), stream.audioUnder.at(1));
    EXPECT_EQ(file("B - 2.mp3"), stream.audioUnder.at(2));
}

TEST_F(RecordingTest, ChangeOfServerContinuesTheSingleFileButANewRecordingStartsItEmpty)
{
    Preset &config = program().configuration();
    config.captureMode = 1;
    config.recordingFileName = QStringLiteral("show.mp3");
    // A refusal after audio moves on to the next server only without a reconnect period.
    setReconnectPeriodMinutes(0);
    const QByteArray first = "ICY 200 OK\r\n\r\n" + noise(4000, 5);
    const QByteArray second = "ICY 200 OK\r\n\r\n" + noise(3000, 6);
    ScriptedStation one;
    // After streaming a while the first server reports itself full.
    one.setReplies({{{first, "ICY 400 Server Full\r\n\r\n"}, false}});
    ScriptedStation two;
    two.setReplies({{{second}, false}});
    addServer(one.port());
    addServer(two.port());
    record(two);
    EXPECT_EQ(inside(engine).serverNumber(), 2);
    engine->stopRecording();
    // The second server's header does not land in the middle of the file.
    EXPECT_EQ(file("show.mp3"), noise(4000, 5) + noise(3000, 6) + tagFor("", "Test Station"));

    // A new recording of the same preset starts the file afresh.
    ScriptedStation three;
    three.setReplies({{{second}, false}});
    inside(engine).clearServers();
    addServer(three.port());
    record(three);
    engine->stopRecording();
    EXPECT_EQ(file("show.mp3"), noise(3000, 6) + tagFor("", "Test Station"));
}

TEST_F(RecordingTest, TitleModeHeaderWithoutNameOpensTheUnknownFileAndKeepsTheGrid)
{
    const QByteArray header = "ICY 200 OK\r\nicy-metaint:64\r\n\r\n";
    const IcyStream stream = buildIcyStream(header, 64, {"", "A - 1", "A - 1"});
    ScriptedStation station;
    station.setReplies({{cutInto(stream.wire, {10, 50}), false}});
    addServer(station.port());
    record(station);
    engine->stopRecording();
    EXPECT_EQ(file("unknown-" + kDate + ".mp3").chopped(128), stream.audioUnder.at(0));
    EXPECT_EQ(file("A - 1.mp3"), stream.audioUnder.at(1) + tagFor("A", "1"));
}

TEST_F(RecordingTest, BrowserAgentSettingChangesOnlyTheAgentOfTheRequest)
{
    writeIniValue(QStringLiteral("Advanced"), QStringLiteral("IEAgent"), QStringLiteral("1"), ombrexIniPath());
    ScriptedStation station;
    station.setReplies({{{kIcyHeader}, false}});
    addServer(station.port());
    record(station);
    const QByteArray request = station.requests.at(0);
    EXPECT_TRUE(request.contains("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)\r\n"));
    EXPECT_TRUE(request.contains("\r\nIcy-MetaData:1\r\n"));
}

TEST_F(RecordingTest, PausedStartOpensNoFileUntilThePauseEndsThenTheLatestTitle)
{
    program().configuration().startPaused = true;
    const IcyStream stream = buildIcyStream(kIcyHeader, 64, {"A - 1", "B - 2"});
    ScriptedStation station;
    station.setReplies({{{stream.wire}, false}});
    addServer(station.port());
    record(station);
    EXPECT_TRUE(inside(engine).isPaused());
    EXPECT_TRUE(files().isEmpty());
    EXPECT_EQ(inside(engine).pendingFileName(), QByteArray("B - 2.mp3"));
    engine->togglePause();
    EXPECT_FALSE(inside(engine).isPaused());
    EXPECT_EQ(files(), QStringList(QStringLiteral("B - 2.mp3")));
    EXPECT_TRUE(file("B - 2.mp3").isEmpty());
}

TEST_F(RecordingTest, ServerThatNeverAnswersIsGivenUpAfterTenSeconds)
{
    // A listening socket that never accepts, with its queue full, leaves further
    // connections waiting for an answer that never comes.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    const quint16 silentPort = ntohs(address.sin_port);
    QList<QTcpSocket *> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.append(new QTcpSocket());
        fillers.last()->connectToHost(QHostAddress::LocalHost, silentPort);
        fillers.last()->waitForConnected(100);
    }
    const IcyStream stream = buildIcyStream(kIcyHeader, 64, {"A - 1"});
    ScriptedStation good;
    good.setReplies({{{stream.wire}, false}});
    addServer(silentPort);
    addServer(good.port());
    const qint64 before = clock.monotonicMs();
    record(good);
    EXPECT_EQ(inside(engine).serverNumber(), 2);
    EXPECT_GE(clock.monotonicMs() - before, 10000) << "the wait ran on the platform clock";
    EXPECT_EQ(file("A - 1.mp3"), stream.audioUnder.at(1));
    qDeleteAll(fillers);
    ::close(listener);
}

// Names that come round again or clean alike, empty titles and titles with
// apostrophes, semicolons or Latin-1 letters: every byte lands in its own file.
TEST_F(RecordingTest, TitlesThatComeRoundOrCleanAlikeNeverReplaceAFile)
{
    const BlockStream stream = buildBlockStream(
        kIcyHeader, 64,
        {titleText("AC/DC - Song"), titleText("ACDC - Song"), titleText("Don't Stop"), titleText("Rock; Roll"),
         titleText("Caf\xe9"), titleText("Caf\xe8"), titleText(""), titleText("AC/DC - Song"),
         titleText("AC/DC - Song"), titleText("???"), titleText("???"), titleText(""), titleText("Rock; Roll")});
    ScriptedStation station;
    station.setReplies({{cutInto(stream.wire, {100, 33, 250}), false}});
    addServer(station.port());
    record(station);
    EXPECT_EQ(inside(engine).songName(), QByteArray("Rock; Roll.mp3"));
    engine->stopRecording();

    const QList<QByteArray> &a = stream.audio;
    QMap<QString, QByteArray> expected;
    expected[QStringLiteral("Test Radio-03072026.mp3")] = a[0] + tagFor("", "Test Radio-" + kDate);
    expected[QStringLiteral("ACDC - Song.mp3")] = a[1] + tagFor("AC/DC", "Song");
    expected[QStringLiteral("ACDC - Song (2).mp3")] = a[2] + tagFor("ACDC", "Song");
    expected[QStringLiteral("Don't Stop.mp3")] = a[3] + tagFor("", "Don't Stop");
    expected[QStringLiteral("Rock; Roll.mp3")] = a[4] + tagFor("", "Rock; Roll");
    expected[QStringLiteral("Caf\u00e9.mp3")] = a[5] + tagFor("", "Caf\xe9");
    // The empty title continues the file before it.
    expected[QStringLiteral("Caf\u00e8.mp3")] = a[6] + a[7] + tagFor("", "Caf\xe8");
    expected[QStringLiteral("ACDC - Song (3).mp3")] = a[8] + a[9] + tagFor("AC/DC", "Song");
    // A title of forbidden characters only has no name of its own; its
    // repetition and the empty title after it still continue the same file.
    const QStringList unknown = QDir(folder).entryList({QStringLiteral("unknown-*-03072026.mp3")}, QDir::Files);
    ASSERT_EQ(unknown.size(), 1);
    expected[unknown.first()] = a[10] + a[11] + a[12] + tagFor("", "???");
    expected[QStringLiteral("Rock; Roll (2).mp3")] = a[13] + tagFor("", "Rock; Roll");
    expectFiles(expected);
}

// A refusal in the middle of the stream moves to the next server, whose header
// and first title come again: the files of the first server stay as they were.
TEST_F(RecordingTest, ChangeOfServerInTitleModeKeepsTheEarlierFiles)
{
    // A refusal after audio moves on to the next server only without a reconnect period.
    setReconnectPeriodMinutes(0);
    const BlockStream first = buildBlockStream(kIcyHeader, 64, {titleText("Artist - A")});
    const BlockStream second = buildBlockStream(kIcyHeader, 64, {titleText("Artist - A"), titleText("Artist - B")});
    ScriptedStation one;
    one.setReplies({{{first.wire, "ICY 400 Server Full\r\n\r\n"}, false}});
    ScriptedStation two;
    two.setReplies({{{second.wire}, false}});
    addServer(one.port());
    addServer(two.port());
    record(two);
    EXPECT_EQ(inside(engine).serverNumber(), 2);
    engine->stopRecording();

    const QByteArray station = "Test Radio-" + kDate;
    expectFiles({
        {QStringLiteral("Test Radio-03072026.mp3"), first.audio[0] + tagFor("", station)},
        {QStringLiteral("Artist - A.mp3"), first.audio[1] + tagFor("Artist", "A")},
        // The header text goes only at the start of the recording's first file.
        {QStringLiteral("Test Radio-03072026 (2).mp3"), second.audio[0] + tagFor("", station)},
        {QStringLiteral("Artist - A (2).mp3"), second.audio[1] + tagFor("Artist", "A")},
        {QStringLiteral("Artist - B.mp3"), second.audio[2] + tagFor("Artist", "B")},
    });
}

TEST_F(RecordingTest, ArchiveStartedAgainOnTheSameDayContinuesItsFile)
{
    Preset &config = program().configuration();
    config.captureMode = 3;
    config.recordingFileName = QStringLiteral("Morning");
    const QByteArray morning = "ICY 200 OK\r\n\r\n" + noise(3000, 4);
    const QByteArray again = "ICY 200 OK\r\n\r\n" + noise(2000, 5);
    ScriptedStation station;
    station.setReplies({{{morning}, false}});
    addServer(station.port());
    record(station);
    engine->stopRecording();

    ScriptedStation later;
    later.setReplies({{{again}, false}});
    inside(engine).clearServers();
    addServer(later.port());
    record(later);
    engine->stopRecording();
    // The tag of the first run comes off; the second run's audio follows the first's.
    expectFiles(
        {{QStringLiteral("Morning-03072026.mp3"), noise(3000, 4) + noise(2000, 5) + tagFor("", "Test Station")}});
}

// A title too long for a file name, repeated in every block as many servers
// do, stays one file under a shortened name; the tag keeps the title.
TEST_F(RecordingTest, LongTitlesAreShortenedAndStayOneFile)
{
    const QByteArray longTitle = "Long Artist - " + QByteArray(300, 'x');
    const QByteArray otherLong = longTitle + "y"; // differs only past the cut
    const BlockStream stream = buildBlockStream(
        kIcyHeader, 64,
        {titleText(longTitle), titleText(longTitle), titleText(longTitle), titleText(otherLong), titleText("Next")});
    ScriptedStation station;
    station.setReplies({{cutInto(stream.wire, {90}), false}});
    addServer(station.port());
    record(station);
    engine->stopRecording();

    const QList<QByteArray> &a = stream.audio;
    const QString shortened = engine::recordingFileName(longTitle + ".mp3");
    EXPECT_EQ(shortened.toUtf8().size(), 255);
    expectFiles({
        {QStringLiteral("Test Radio-03072026.mp3"), a[0] + tagFor("", "Test Radio-" + kDate)},
        {shortened, a[1] + a[2] + a[3] + tagFor("Long Artist", QByteArray(300, 'x'))},
        {engine::recordingFileName(otherLong + ".mp3", 2), a[4] + tagFor("Long Artist", QByteArray(300, 'x'))},
        {QStringLiteral("Next.mp3"), a[5] + tagFor("", "Next")},
    });
}

// A full disk (here a file size limit) stops the recording with the file's path
// and the system's reason; what reached the disk stays, without a torn tag.
TEST_F(RecordingTest, WriteFailureStopsTheRecordingAndSaysWhy)
{
    Preset &config = program().configuration();
    config.captureMode = 1;
    config.recordingFileName = QStringLiteral("show.mp3");
    inside(engine).setExitOnWriteFailure(true);
    // The exit unloads the recorder while the test waits: what it shows is
    // taken when it asks for the exit, and it is not used after that.
    bool recordingAtExit = true;
    RecordingStatus statusAtExit;
    QObject::connect(engine, &Recorder::exitRequested, engine, [&] {
        recordingAtExit = engine->isRecording();
        statusAtExit = engine->status();
    });
    const QByteArray wire = "ICY 200 OK\r\n\r\n" + noise(20000, 7);
    ScriptedStation station;
    station.setReplies({{cutInto(wire, {3000}), false}});
    addServer(station.port());
    {
        FileSizeLimit limit(8000);
        ASSERT_TRUE(limit.active());
        record(station);
    }
    // Without windows the program ends with status 1.
    ASSERT_TRUE(waitUntil([&] { return ui.exited(); }));
    EXPECT_EQ(ui.exitStatus(), 1);
    engine = nullptr;
    EXPECT_EQ(program().recorder(), nullptr);
    EXPECT_EQ(ui.messages,
              QStringList(QStringLiteral("Cannot write the recording file: ") + folder + QStringLiteral("show.mp3 (") +
                          QString::fromLocal8Bit(std::strerror(EFBIG)) + QStringLiteral(")")));
    EXPECT_FALSE(recordingAtExit);
    EXPECT_EQ(statusAtExit.state, RecordingStatus::State::Idle);
    EXPECT_TRUE(statusAtExit.song.isEmpty());
    EXPECT_EQ(ui.captions.last(), QStringLiteral("[ERR] Cannot write the recording file"));
    // A single file holds the stream alone.
    EXPECT_EQ(file("show.mp3"), wire.mid(14, 8000));
}

// Writes into a file whose folder was removed succeed and vanish with it: the
// next tick notices, says so and stops; with windows the program stays. With
// the folder gone, the next recording cannot create even a made-up name.
TEST_F(RecordingTest, RemovedFolderStopsTheRecordingAndNoFileCanBeCreated)
{
    const BlockStream stream = buildBlockStream(kIcyHeader, 64, {titleText("Artist - A")});
    ScriptedStation station;
    station.setReplies({{{stream.wire}, false}});
    addServer(station.port());
    record(station);
    ASSERT_TRUE(inside(engine).isFileOpen());
    const QString path = inside(engine).recordingFilePath();
    EXPECT_EQ(path, folder + QStringLiteral("Artist - A.mp3"));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    inside(engine).superviseTick();
    const QString reason = QStringLiteral(" (") + QString::fromLocal8Bit(std::strerror(ENOENT)) + QStringLiteral(")");
    EXPECT_EQ(ui.messages, QStringList(QStringLiteral("Cannot write the recording file: ") + path + reason));
    EXPECT_FALSE(engine->isRecording());
    EXPECT_EQ(ui.captions.last(), QStringLiteral("[ERR] Cannot write the recording file"));

    record(station, 2);
    EXPECT_EQ(ui.messages.last(), QStringLiteral("Cannot write the recording file: ") + folder +
                                      QStringLiteral("Test Radio-03072026.mp3") + reason);
    EXPECT_FALSE(engine->isRecording());
    EXPECT_FALSE(QDir(folder).exists());
    EXPECT_FALSE(ui.exited());
}
