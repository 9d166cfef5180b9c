// Recordings from the bundled test station over loopback, started the way a
// user starts them: a preset names the station's playlist.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QThread>

#include <gtest/gtest.h>

#include "audiofiles.h"

#include "eventwait.h"

#include <functional>

#include "engine/recordingnames.h"
#include "engine/streamtitle.h"
#include "recorderfixture.h"
#include "recordertestpeer.h"
#include "sources/previewrelay.h"
#include "testenv.h"
#include "teststation/framegenerator.h"
#include "teststation/hlschannel.h"
#include "teststation/mp3frame.h"
#include "teststation/station.h"

namespace
{

class StationRecording : public RecorderFixture
{
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();
        stream.pace = teststation::Stream::Pace::Fast;
        stream.metaInt = 1000;
        stream.titles = {"Artist One - Song One", "Don't Stop", "AC/DC - T.N.T: Live?", "ACDC - T.N.T Live"};
        stream.titleEvery = 9000;
        stream.dropAfter = 60000;
        stream.headerPieces = 3;
        stream.pieceDelayMs = 5;
    }

    // Starts the station and the recording of a preset naming its playlist, in
    // the given capture mode line ("SONGNAMEONLY", "FILENAME x.mp3", or a prefix).
    Recorder *startPreset(const QByteArray &modeLine, const QByteArray &playlist = "/listen.pls")
    {
        config.streams.insert("/stream", stream);
        config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Test"}));
        config.pages.insert("/full", teststation::Page::statusOnly("ICY 400 Server Full"));
        config.pages.insert("/failover.pls",
                            teststation::Page::pls({"http://{station}/full", "http://{station}/stream"}, {"Test"}));
        startStation();
        return openPreset(presetLines("Test FM", playlist, modeLine));
    }

    // Waits until the stream connection at index has been dropped by the station
    // and the engine has read everything.
    void waitForStream(Recorder *recorder, int index)
    {
        ASSERT_TRUE(waitUntil([&] {
            return station->connectionCount() > index && !station->connection(index).open &&
                   inside(recorder).byteCount() >= station->connection(index).wireBytes;
        })) << "bytes read "
            << inside(recorder).byteCount();
    }

    // Whole MP3 frames for HLS segments, about a second of them.
    QByteArray hlsAudio();
    void recordHlsChannel(teststation::HlsChannel &channel, const QByteArray &playlist);
    int requestsFor(const QByteArray &target) const
    {
        int count = 0;
        for (int i = 0; i < station->connectionCount(); ++i)
            count += station->connection(i).target == target;
        return count;
    }

    teststation::Stream stream;
    teststation::FrameGenerator hlsFrames;
};

} // namespace

TEST_F(StationRecording, TitleModeFilesHoldExactlyTheAudioSentUnderTheirTitle)
{
    startPreset("SONGNAMEONLY");
    waitForStream(engine, 1);
    const teststation::ConnectionRecord &sent = station->connection(1);
    ASSERT_TRUE(sent.metadata);
    ASSERT_GE(sent.titles.size(), 4);
    engine->stopRecording();

    // What each file must hold: the audio between one title mark and the next,
    // cut at the frame boundary nearest to each. A title that comes round
    // again, or cleans to a name already taken, goes to the next numbered copy.
    const auto split = [&sent](qsizetype title) {
        return title < sent.titles.size() ? audiofiles::frameSplit(sent.audio, sent.titles.at(title).audioOffset)
                                          : sent.audio.size();
    };
    QMap<QString, QByteArray> expected;
    expected[QStringLiteral("Vorlane Test Station-03072026.mp3")] =
        sent.audio.left(split(0)) + tagFor("", "Vorlane Test Station-03072026");
    for (qsizetype i = 0; i < sent.titles.size(); ++i) {
        const qint64 from = split(i);
        const qint64 to = split(i + 1);
        const QByteArray name = extractStreamTitle("StreamTitle='" + sent.titles.at(i).title + "';");
        const QByteArray base = name.chopped(4);
        const qsizetype cut = base.indexOf(" - ");
        QString fileName;
        for (int copy = 1; fileName.isEmpty() || expected.contains(fileName); ++copy)
            fileName = engine::recordingFileName(name, copy);
        expected[fileName] =
            sent.audio.mid(from, to - from) + (cut >= 0 ? tagFor(base.left(cut), base.mid(cut + 3)) : tagFor("", base));
    }
    EXPECT_EQ(files(), QStringList(expected.keys()));
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        EXPECT_EQ(testenv::readFile(folder + it.key()), it.value()) << qPrintable(it.key());
    // The apostrophe stays; the slash, colon and question mark leave the name only.
    EXPECT_TRUE(expected.contains(QStringLiteral("Don't Stop (2).mp3")));
    EXPECT_EQ(file("ACDC - T.N.T Live.mp3").right(128), tagFor("AC/DC", "T.N.T: Live?"));
    EXPECT_EQ(file("ACDC - T.N.T Live (2).mp3").right(128), tagFor("ACDC", "T.N.T Live"));
}

TEST_F(StationRecording, SingleFileAndArchiveModesNameTheirFiles)
{
    startPreset("FILENAME whole show.mp3");
    waitForStream(engine, 1);
    EXPECT_FALSE(station->connection(1).askedForMetadata);
    engine->stopRecording();
    EXPECT_EQ(files(), QStringList(QStringLiteral("whole show.mp3")));
    EXPECT_EQ(file("whole show.mp3"), station->connection(1).audio + tagFor("", "Test FM"));

    restartProgram();
    engine = startPreset("Morning");
    waitForStream(engine, 1);
    engine->stopRecording();
    EXPECT_TRUE(files().contains(QStringLiteral("Morning-03072026.mp3")));
    EXPECT_EQ(file("Morning-03072026.mp3").size(), station->connection(1).audioBytes + 128);
}

TEST_F(StationRecording, IcecastHeaderWithoutIntervalRecordsWithoutTitles)
{
    stream.icecastStyle = true;
    startPreset("SONGNAMEONLY");
    waitForStream(engine, 1);
    EXPECT_FALSE(inside(engine).isTitleMode());
    engine->stopRecording();
    const teststation::ConnectionRecord &sent = station->connection(1);
    EXPECT_EQ(files(), QStringList(QStringLiteral("Vorlane Test Station-03072026.mp3")));
    EXPECT_EQ(file("Vorlane Test Station-03072026.mp3"), sent.audio + tagFor("", "Test FM"));
}

TEST_F(StationRecording, FullServerIsSkippedForTheNextOne)
{
    startPreset("SONGNAMEONLY", "/failover.pls");
    ASSERT_TRUE(waitUntil([&] { return inside(engine).serverNumber() == 2; }));
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR]: Server full, trying server 2...")));
    waitForStream(engine, 2);
    EXPECT_TRUE(engine->isRecording());
    EXPECT_GT(file("Vorlane Test Station-03072026.mp3").size(), 0);
}

TEST_F(StationRecording, BrowserPageStopsTheRecording)
{
    writeIniValue(QStringLiteral("Advanced"), QStringLiteral("IEAgent"), QStringLiteral("1"), ombrexIniPath());
    startPreset("SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.messages.first(), QStringLiteral("This station does not support faking Internet Explorer as the "
                                                  "agent. Please turn this option off to listen to this station."));
    EXPECT_FALSE(engine->isRecording());
}

TEST_F(StationRecording, PlaylistFileNamedOnTheCommandLineRecordsItsStation)
{
    config.streams.insert("/stream", stream);
    station = std::make_unique<teststation::Station>(config);
    ASSERT_TRUE(station->start());
    setLastPath(folder);
    // The title follows the entry: the last line of a local file has no line end.
    QString pls = testenv::writeFile(folder + QStringLiteral("../radio.pls"),
                                     "[playlist]\nNumberOfEntries=1\nFile1=" + station->url("/stream") +
                                         "\nTitle1=Radio Test\nLength1=-1");
    engine = program().loadRecorder();
    int displayAsked = 0;
    QObject::connect(engine, &Recorder::displayRequested, engine, [&displayAsked] { ++displayAsked; });
    EXPECT_TRUE(inside(engine).openFile(pls, program().configuration()));
    waitForStream(engine, 0);
    EXPECT_EQ(program().configuration().stationTitle, QStringLiteral("Radio Test"));
    EXPECT_TRUE(program().configuration().valid);
    EXPECT_EQ(displayAsked, 1);
    EXPECT_TRUE(engine->isRecording());
    engine->stopRecording();
    const teststation::ConnectionRecord &sent = station->connection(0);
    EXPECT_EQ(file("Vorlane Test Station-03072026.mp3").left(64), sent.audio.left(64));
}

TEST_F(StationRecording, PlaylistFileWithoutStationsSaysSo)
{
    const QString pls = testenv::writeFile(folder + QStringLiteral("../empty.pls"), "[playlist]\nNumberOfEntries=0\n");
    QString missing = folder + QStringLiteral("../missing.pls");
    engine = program().loadRecorder();
    QString arg = pls;
    EXPECT_TRUE(inside(engine).openFile(arg, program().configuration()));
    EXPECT_TRUE(inside(engine).openFile(missing, program().configuration()));
    EXPECT_EQ(
        ui.messages,
        QStringList({QStringLiteral("Server is currently unavailable or the shoutcast file is formatted incorrectly!"),
                     QStringLiteral("Bad playlist filename!")}));
    EXPECT_FALSE(engine->isRecording());
}

// The tray menu's entries drive the recorder, and windows hear of every change
// through its signals: one status per event at most, songs as they start.
TEST_F(StationRecording, TrayCommandsDriveTheRecorderAndItsSignalsFollow)
{
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Test"}));
    station = std::make_unique<teststation::Station>(config);
    ASSERT_TRUE(station->start());
    const QList<QByteArray> lines = {
        "Test FM", station->url("/listen.pls"), "SONGNAMEONLY", QFile::encodeName(folder), "S0", "0"};
    const QString preset = testenv::writeFile(folder + QStringLiteral("../tray.mvr"), lines.join("\r\n") + "\r\n");
    engine = program().loadRecorder();

    QList<RecordingStatus> statuses;
    QByteArrayList songs;
    int started = 0;
    int stopped = 0;
    QObject::connect(engine, &Recorder::statusChanged, engine,
                     [&](const RecordingStatus &status) { statuses.append(status); });
    QObject::connect(engine, &Recorder::songStarted, engine, [&](const QByteArray &name) { songs.append(name); });
    QObject::connect(engine, &Recorder::recordingStarted, engine, [&] { ++started; });
    QObject::connect(engine, &Recorder::recordingStopped, engine, [&] { ++stopped; });

    QString path = preset;
    ASSERT_TRUE(inside(engine).openFile(path, program().configuration()));
    ASSERT_TRUE(waitUntil([&] { return engine->status().state == RecordingStatus::State::Recording; }));
    ASSERT_TRUE(waitUntil([&] { return songs.size() >= 2; }));
    EXPECT_EQ(songs.first(), "Artist One - Song One.mp3");
    EXPECT_EQ(engine->status().stationTitle, QStringLiteral("Test FM"));
    EXPECT_EQ(engine->status().bitRate, 128);
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(ui.tray.exit.on);
    EXPECT_FALSE(ui.tray.startRecording.enabled);

    // A tick publishes once at most, and only what changed.
    statuses.clear();
    inside(engine).superviseTick();
    inside(engine).superviseTick();
    EXPECT_LE(statuses.size(), 1);

    engine->toggleListening();
    EXPECT_TRUE(inside(engine).isListening());
    EXPECT_TRUE(inside(engine).relay().listening);
    EXPECT_TRUE(ui.tray.listen.on);
    engine->toggleListening();
    EXPECT_FALSE(inside(engine).relay().listening);

    engine->togglePause();
    EXPECT_TRUE(ui.tray.pauseRecording.on);
    ASSERT_FALSE(statuses.isEmpty());
    EXPECT_EQ(statuses.last().state, RecordingStatus::State::Paused);
    engine->togglePause();
    EXPECT_FALSE(ui.tray.pauseRecording.on);

    engine->stopRecording();
    EXPECT_FALSE(engine->isRecording());
    EXPECT_EQ(stopped, 1);
    EXPECT_EQ(statuses.last().state, RecordingStatus::State::Idle);
    EXPECT_TRUE(ui.tray.startRecording.enabled);
    EXPECT_FALSE(ui.tray.exit.on);
    EXPECT_FALSE(ui.tray.beforeFirstRecording);
    const QStringList first = files();
    ASSERT_FALSE(first.isEmpty());

    // Start Recording runs the stored preset again.
    engine->startStoredPreset(program().configuration());
    ASSERT_TRUE(waitUntil([&] { return engine->status().state == RecordingStatus::State::Recording; }));
    EXPECT_EQ(started, 2);
    const int connections = station->connectionCount();
    EXPECT_GE(connections, 3) << "playlist and stream, then the playlist again";

    // Exit closes and tags the file being written before the program ends.
    ASSERT_TRUE(waitUntil([&] { return !inside(engine).songName().isEmpty() && inside(engine).isFileOpen(); }));
    const QString current = inside(engine).recordingFilePath();
    engine->exitFromMenu();
    EXPECT_TRUE(ui.exited());
    EXPECT_EQ(ui.exitStatus(), 0);
    EXPECT_EQ(testenv::readFile(current).right(128).left(3), "TAG");
    EXPECT_EQ(program().recorder(), nullptr);
}

TEST_F(StationRecording, EditingTheDraftDuringARecordingChangesNothingOfIt)
{
    // The setup window fills the shared record when a preset is saved (even a
    // cancelled save); a running title-mode recording must keep its own folder.
    Recorder *recorder = startPreset("SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return files().size() >= 2; }));
    const QString elsewhere = testenv::home() + QStringLiteral("/elsewhere/");
    QDir().mkpath(elsewhere);
    program().configuration().saveFolder = elsewhere;
    program().configuration().captureMode = 1;
    ASSERT_TRUE(waitUntil([&] { return files().size() >= 4; }));
    recorder->stopRecording();
    EXPECT_TRUE(QDir(elsewhere).entryList(QDir::Files).isEmpty());

    // A preset that fails halfway leaves the record as it was.
    Preset &draft = program().configuration();
    draft.stationTitle = QStringLiteral("Kept");
    const QString broken = testenv::writeFile(folder + QStringLiteral("../broken.mvr"), "New Title\r\n");
    EXPECT_FALSE(draft.load(broken));
    EXPECT_EQ(draft.stationTitle, QStringLiteral("Kept"));
    EXPECT_EQ(draft.saveFolder, elsewhere);
}

// An HLS station recorded as a preset names it: its titles split the files
// (ID3 in the segments, else the playlist's), a segment that left the
// playlist unfetched is counted in the caption, and the end of the playlist
// ends the recording.
QByteArray StationRecording::hlsAudio()
{
    QByteArray out;
    for (int i = 0; i < 40; ++i) {
        const QByteArray head = hlsFrames.read(4);
        out += head + hlsFrames.read(teststation::parseMp3FrameHeader(head.constData())->frameLength - 4);
    }
    return out;
}

void StationRecording::recordHlsChannel(teststation::HlsChannel &channel, const QByteArray &playlist)
{
    const auto audio = [this] { return hlsAudio(); };
    const QByteArray one = audio();
    channel.append({teststation::HlsChannel::id3Tag("One", "Band", 0) + one.left(one.size() / 2), 2, "a.mp3", {}, {}});
    channel.append({one.mid(one.size() / 2), 2, "a.mp3", "One", "Band"});
    openPreset(presetLines("HLS FM", playlist, "SONGNAMEONLY"));
    ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() >= one.size(); }));

    const QByteArray two = audio();
    channel.skip(1);
    channel.append({two.left(two.size() / 2), 2, "b.mp3", "Two", "Duo", true});
    channel.append({two.mid(two.size() / 2), 2, "b.mp3", "Two", "Duo"});
    channel.end();
    ASSERT_TRUE(waitUntil([&] { return !engine->isRecording(); }));

    EXPECT_EQ(files(), (QStringList{QStringLiteral("Band - One.mp3"), QStringLiteral("Duo - Two.mp3")}));
    EXPECT_TRUE(file("Band - One.mp3") == one + tagFor("Band", "One"));
    EXPECT_TRUE(file("Duo - Two.mp3") == two + tagFor("Duo", "Two"));
    EXPECT_TRUE(ui.captions.join(QLatin1Char('|')).contains(QStringLiteral("[2 s lost]")))
        << ui.captions.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(ui.messages.contains(QStringLiteral("The station ended its broadcast.")));
}

TEST_F(StationRecording, HlsStationTitlesSplitFilesAndLostSecondsAreShown)
{
    startStation();
    teststation::HlsChannel channel(station->config(), "/hls", 3, 2, "mp4a.40.34");
    recordHlsChannel(channel, channel.masterPath());
}

// A .pls whose entry answers with an HLS playlist, known by its text alone
// (no type, no extension, the body in chunks after the header), records the
// station as HLS; an entry that cannot be reached, and one whose HLS playlist
// cannot be followed, are passed over for the next.
TEST_F(StationRecording, PlsEntryThatAnswersWithAnHlsPlaylistIsFollowed)
{
    startStation();
    teststation::HlsChannel channel(station->config(), "/hls", 3, 2, "mp4a.40.34");
    teststation::Page master = station->config().pages.value(channel.masterPath());
    master.headers.clear();
    master.framing = teststation::Page::Framing::Chunked;
    master.chunkSize = 20;
    master.headerSeparately = true;
    master.pieces = 3;
    station->config().pages.insert("/hls/radio", master);
    teststation::Page broken;
    broken.body = "#EXTM3U\n#EXT-X-VERSION:3\n";
    station->config().pages.insert("/hls/broken", broken);
    station->config().pages.insert(
        "/hls.pls",
        teststation::Page::pls({"http://127.0.0.1:1/gone", "http://{station}/hls/broken", "http://{station}/hls/radio"},
                               {"HLS FM"}));
    recordHlsChannel(channel, "/hls.pls");
    EXPECT_EQ(inside(engine).serverNumber(), 3);
    EXPECT_TRUE(ui.captions.join(QLatin1Char('|')).contains(QStringLiteral("Trying server 3")));
}

// A station lost after its audio is called again server after server, each
// HLS server at its own address.
TEST_F(StationRecording, OutageCallsEveryHlsServerOfThePlaylistAtItsOwnAddress)
{
    startStation();
    teststation::HlsChannel channel(station->config(), "/hls", 3, 2, "mp4a.40.34");
    channel.append({hlsAudio(), 2, "a.mp3", {}, {}});
    teststation::Page broken;
    broken.body = "#EXTM3U\n#EXT-X-VERSION:3\n";
    station->config().pages.insert("/hls/broken", broken);
    station->config().pages.insert(
        "/two.pls", teststation::Page::pls({"http://{station}/hls/broken", "http://{station}" + channel.masterPath()}));
    openPreset(presetLines("HLS FM", "/two.pls", "SONGNAMEONLY"));
    ASSERT_TRUE(waitUntil([&] { return !inside(engine).songName().isEmpty(); }));
    EXPECT_EQ(requestsFor("/hls/broken"), 1);

    station->config().pages.remove(channel.mediaPath());
    ASSERT_TRUE(waitUntil([&] { return requestsFor("/hls/broken") > 1; }));
    EXPECT_TRUE(inside(engine).isInOutage());
}
