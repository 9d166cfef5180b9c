// The vorlane program, headless, recording from a real Icecast 2 server fed by
// the test station as its source client. VORLANE_UNDER_TEST names another
// build of the program to run the same cases against.
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <map>

#include "audiofiles.h"

#include "engine/oggsplitter.h"
#include "eventwait.h"
#include "icecastserver.h"
#include "liquidsoapsource.h"
#include "testenv.h"
#include "teststation/sourceclient.h"

using teststation::SourceClient;
using teststation::SourceConfig;

namespace
{

const QByteArray kStationName = "Icecast Test FM";
const QString kFirstSong = QStringLiteral("First Song.mp3");

QString program()
{
    const QString other = qEnvironmentVariable("VORLANE_UNDER_TEST");
    return other.isEmpty() ? QStringLiteral(VORLANE_BINARY) : other;
}

// One headless run of the program on a preset.
struct HeadlessRun
{
    QProcess process;
    QString folder;

    HeadlessRun(const QByteArray &playlist, const QByteArray &timeLine)
    {
        static int n = 0;
        folder = testenv::home() + QStringLiteral("/icecast%1/").arg(++n);
        QDir().mkpath(folder);
        const QList<QByteArray> lines = {"Icecast FM", playlist, "SONGNAMEONLY", QFile::encodeName(folder),
                                         timeLine,     "0"};
        const QString preset =
            testenv::writeFile(folder + QStringLiteral("../icecast%1.mvr").arg(n), lines.join("\r\n") + "\r\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        process.start(program(), {QStringLiteral("--headless"), preset});
    }
    ~HeadlessRun()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QStringList files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
    qint64 size(const QString &name) const { return QFileInfo(folder + name).size(); }
    QByteArray file(const QString &name) const { return testenv::readFile(folder + name); }
    QString stationFile() const
    {
        return QString::fromLatin1(kStationName) + QLatin1Char('-') +
               QDate::currentDate().toString(QStringLiteral("MMddyyyy")) + QStringLiteral(".mp3");
    }
    bool finish()
    {
        process.terminate(); // the tray's exit: the open file gets its tag
        return process.waitForFinished(10000);
    }
    // Every file holds audio only, apart from the header at the start of the first.
    bool holdsNoReplyText() const
    {
        for (const QString &name : files()) {
            const QByteArray bytes = file(name);
            if (bytes.indexOf("HTTP/1.") >= 0 || bytes.indexOf("<html") >= 0)
                return false;
        }
        return true;
    }
};

// A listener holding a place on a mount.
struct Listener
{
    QTcpSocket socket;
    QByteArray bytes;

    Listener(const IcecastServer &icecast, const QByteArray &mount)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { bytes += socket.readAll(); });
        socket.connectToHost(QStringLiteral("127.0.0.1"), icecast.port());
        socket.write("GET " + mount + " HTTP/1.0\r\n\r\n");
    }
};

class IcecastRecording : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!IcecastServer::isInstalled())
            GTEST_SKIP() << IcecastServer::program().toStdString() << " is not installed";
    }
    void launch(const QList<IcecastMount> &mounts)
    {
        IcecastServer::Options options;
        options.mounts = mounts;
        icecast = std::make_unique<IcecastServer>(options);
        ASSERT_TRUE(icecast->start()) << icecast->errorString().toStdString();
        ASSERT_TRUE(icecast->waitUntilReady()) << icecast->errorString().toStdString();
    }
    std::unique_ptr<SourceClient> feed(const QByteArray &mount)
    {
        SourceConfig config;
        config.port = icecast->port();
        config.mount = mount;
        config.password = icecast->options().sourcePassword;
        config.adminUser = icecast->options().adminUser;
        config.adminPassword = icecast->options().adminPassword;
        config.stream.name = kStationName;
        config.stream.burstBytes = 32000;
        // Set on acceptance, so that listeners never hear an empty title.
        config.stream.titles = {"First Song"};
        auto source = std::make_unique<SourceClient>(config);
        source->start();
        EXPECT_TRUE(waitUntil([&] { return source->isStreaming() || source->state() == SourceClient::State::Idle; }));
        EXPECT_TRUE(source->isStreaming()) << source->errorString().toStdString();
        return source;
    }
    // A local .pls naming these servers.
    static QByteArray plsFile(const QString &name, const QList<QByteArray> &servers)
    {
        QByteArray text = "[playlist]\r\n";
        for (qsizetype i = 0; i < servers.size(); ++i)
            text += "File" + QByteArray::number(i + 1) + '=' + servers.at(i) + "\r\n";
        text += "NumberOfEntries=" + QByteArray::number(servers.size()) + "\r\nVersion=2\r\n";
        return QFile::encodeName(
            testenv::writeFile(testenv::home() + QLatin1Char('/') + name + QStringLiteral(".pls"), text));
    }
    std::unique_ptr<IcecastServer> icecast;
};

} // namespace

TEST_F(IcecastRecording, MountM3uRecordsAndAdminTitlesSplitTheFiles)
{
    launch({{"/live", -1}});
    const auto source = feed("/live");
    HeadlessRun run(icecast->url("/live.m3u"), "S0");
    ASSERT_TRUE(waitUntil([&] { return run.size(kFirstSong) > 20000; }, 15000))
        << run.files().join(QLatin1Char(' ')).toStdString() << run.process.readAllStandardError().constData();

    source->setTitle("Artist - Song");
    ASSERT_TRUE(waitUntil([&] { return run.size(QStringLiteral("Artist - Song.mp3")) > 20000; }, 15000));
    ASSERT_TRUE(run.finish());
    EXPECT_EQ(run.files(), QStringList({QStringLiteral("Artist - Song.mp3"), kFirstSong, run.stationFile()}));

    // The title's file is one unbroken piece of what the source sent, between its tags.
    const QByteArray song = run.file(QStringLiteral("Artist - Song.mp3"));
    const QByteArray audio = audiofiles::withoutTags(song);
    EXPECT_TRUE(song.right(128).startsWith("TAGSong"));
    const qsizetype at = source->session(0).audio.indexOf(audio.left(4096));
    ASSERT_GE(at, 0);
    EXPECT_EQ(source->session(0).audio.mid(at, audio.size()), audio);
    EXPECT_TRUE(run.holdsNoReplyText());
    // Players read every file but the one the stop cut short without an error.
    for (const QString &name : {run.stationFile(), kFirstSong}) {
        const QString errors = audiofiles::decodeErrors(run.folder + name);
        EXPECT_TRUE(errors.isEmpty()) << qPrintable(name) << ": " << qPrintable(errors);
    }
}

TEST_F(IcecastRecording, FullMountPassesOnToTheSecondServer)
{
    launch({{"/full", 1}, {"/live", -1}});
    const auto fullSource = feed("/full");
    const auto source = feed("/live");
    Listener occupant(*icecast, "/full");
    ASSERT_TRUE(waitUntil([&] { return occupant.bytes.size() > 1000; }));

    HeadlessRun run(plsFile(QStringLiteral("failover"), {icecast->url("/full"), icecast->url("/live")}), "S0");
    ASSERT_TRUE(waitUntil([&] { return run.size(kFirstSong) > 20000; }, 15000))
        << run.files().join(QLatin1Char(' ')).toStdString() << run.process.readAllStandardOutput().constData();
    ASSERT_TRUE(run.finish());
    const QByteArray out = run.process.readAllStandardOutput();
    EXPECT_TRUE(out.contains("Status: [ERR]: Resource forbidden, trying server 2...\n") ||
                out.contains("Status: [ERR]: Server full, trying server 2...\n"))
        << out.constData();
    EXPECT_EQ(run.files(), QStringList({kFirstSong, run.stationFile()}));
    EXPECT_TRUE(run.holdsNoReplyText());
    EXPECT_EQ(occupant.socket.state(), QAbstractSocket::ConnectedState);
}

namespace
{

// The audio of a file is a run of what one source session sent followed by a
// run of what the next one sent: nothing twice, nothing in between.
::testing::AssertionResult isTwoRuns(const QByteArray &audio, const QByteArray &before, const QByteArray &after)
{
    const qsizetype at = before.indexOf(audio.left(4096));
    if (at < 0)
        return ::testing::AssertionFailure() << "the file does not start with the first session";
    qsizetype n = 0;
    while (n < audio.size() && at + n < before.size() && audio.at(n) == before.at(at + n))
        ++n;
    const QByteArray rest = audio.mid(n);
    const qsizetype from = after.indexOf(rest.left(4096));
    if (rest.isEmpty() || from < 0 || after.mid(from, rest.size()) != rest)
        return ::testing::AssertionFailure() << "after " << n << " bytes of the first session, " << rest.size()
                                             << " bytes that are no run of the second";
    return ::testing::AssertionSuccess() << n << " + " << rest.size();
}

} // namespace

// The source goes away and comes back (with other audio, at the same or another
// bit rate), or the server itself restarts: the recording bridges the gap and
// its file holds each session once.
TEST_F(IcecastRecording, OutagesOfMountSourceAndServerAreBridged)
{
    for (const int outage : {0, 1, 2}) {
        SCOPED_TRACE(outage == 0 ? "mount gone" : outage == 1 ? "source restart at 64 kbit/s" : "server restart");
        launch({{"/live", -1}});
        const auto source = feed("/live");
        HeadlessRun run(plsFile(QStringLiteral("outage"), {icecast->url("/live")}), "S0");
        ASSERT_TRUE(waitUntil([&] { return run.size(kFirstSong) > 20000; }, 15000));
        source->stop();
        if (outage == 2) {
            ASSERT_TRUE(icecast->restart() && icecast->waitUntilReady());
        }
        waitUntil([] { return false; }, outage == 0 ? 5000 : 500);
        source->config().stream.seed = 2;
        if (outage == 1)
            source->config().stream.bitRateKbps = 64;
        source->start();
        ASSERT_TRUE(waitUntil([&] { return source->isStreaming(); }));
        const qint64 atReturn = run.size(kFirstSong);
        ASSERT_TRUE(waitUntil([&] { return run.size(kFirstSong) > atReturn + 20000; }, 30000))
            << run.process.readAllStandardError().constData();
        ASSERT_TRUE(run.finish());
        EXPECT_EQ(run.process.exitCode(), 0);
        const QByteArray err = run.process.readAllStandardError();
        EXPECT_TRUE(err.contains("Station back after")) << err.constData();
        EXPECT_EQ(run.files(), QStringList({kFirstSong, run.stationFile()}));
        EXPECT_TRUE(isTwoRuns(audiofiles::withoutTags(run.file(kFirstSong)), source->session(0).audio,
                              source->session(1).audio));
        EXPECT_TRUE(run.holdsNoReplyText());
    }
}

TEST_F(IcecastRecording, WithoutAReconnectPeriodAMountThatGoesEndsTheRunWithStatusOne)
{
    launch({{"/live", -1}});
    const auto source = feed("/live");
    // Without a reconnect period the first refusal ends the run, with status 1.
    const QString settings = testenv::home() + QStringLiteral("/no-reconnect");
    testenv::writeFile(settings + QStringLiteral("/ombrex.ini"), "[Advanced]\r\nRECONNECTMINUTES=0\r\n");
    qputenv("VORLANE_HOME", QFile::encodeName(settings));
    HeadlessRun run(plsFile(QStringLiteral("gone"), {icecast->url("/live")}), "S0");
    qunsetenv("VORLANE_HOME");
    ASSERT_TRUE(waitUntil([&] { return run.size(kFirstSong) > 20000; }, 15000));
    source->stop();
    ASSERT_TRUE(waitUntil([&] { return run.process.state() == QProcess::NotRunning; }, 8000));
    EXPECT_EQ(run.process.exitCode(), 1);
    EXPECT_TRUE(run.process.readAllStandardError().contains("Please try again later!"));
    EXPECT_EQ(run.files(), QStringList({kFirstSong, run.stationFile()}));
}

// A real encoder starts a new Ogg stream with each song: each becomes a file
// named after the song, that plays without an error, and the files together
// are what the server sent, in order (but for the stream headers the server
// puts in front of the first).
TEST_F(IcecastRecording, OggChainsFromARealEncoderBecomeAFilePerSong)
{
    if (!LiquidsoapSource::isInstalled())
        GTEST_SKIP() << LiquidsoapSource::program().toStdString() << " is not installed";
    launch({});
    const QList<QByteArray> mounts = {"/vorbis.ogg", "/opus.ogg"};
    // Opus through ffmpeg's encoder: ffmpeg 5.1 refuses the pages of liquidsoap's own (its files too).
    LiquidsoapSource source(
        {{mounts[0], "%vorbis", {}},
         {mounts[1], "%ffmpeg(format=\"ogg\", %audio(codec=\"libopus\", samplerate=48000))", "audio/ogg"}},
        3, 1.5);
    ASSERT_TRUE(source.start(icecast->port(), icecast->options().sourcePassword)) << qPrintable(source.errorString());
    std::vector<std::unique_ptr<Listener>> heard;
    std::vector<std::unique_ptr<HeadlessRun>> runs;
    for (const QByteArray &mount : mounts) {
        // The mount is there once the encoder has started: until then a listener is turned away.
        for (int attempt = 0; attempt < 20 && (heard.size() < runs.size() + 1 || !heard.back()->bytes.contains("OggS"));
             ++attempt) {
            if (heard.size() == runs.size() + 1)
                heard.pop_back();
            heard.push_back(std::make_unique<Listener>(*icecast, mount));
            waitUntil([&] { return heard.back()->bytes.contains("OggS"); }, 1000);
        }
        ASSERT_TRUE(heard.back()->bytes.contains("OggS"))
            << mount.constData() << ": " << qPrintable(source.errorString());
        runs.push_back(
            std::make_unique<HeadlessRun>(plsFile(QString::fromLatin1(mount.mid(1)), {icecast->url(mount)}), "S0"));
    }
    // The station's file and three songs begun: at least two of them whole.
    for (const auto &run : runs)
        ASSERT_TRUE(waitUntil([&] { return run->files().size() >= 4; }, 20000))
            << qPrintable(run->files().join(QLatin1Char(' ')));
    for (size_t k = 0; k < runs.size(); ++k) {
        SCOPED_TRACE(mounts[static_cast<qsizetype>(k)].constData());
        HeadlessRun &run = *runs[k];
        ASSERT_TRUE(run.finish());
        const QStringList files = run.files();
        const Listener &listener = *heard[k];
        // Each file's place in what the server sent; the station's file begins
        // with the header pages (granule 0) the server sends a new listener first.
        std::map<qsizetype, std::pair<QString, QByteArray>> pieces;
        for (const QString &name : files) {
            QByteArray bytes = run.file(name);
            if (!name.startsWith(QLatin1String("Band - Song "))) {
                qsizetype skip = 0;
                for (qsizetype length;
                     (length = engine::oggPageLength(bytes.constData() + skip, bytes.size() - skip)) > 0 &&
                     bytes.mid(skip + 6, 8) == QByteArray(8, '\0');)
                    skip += length;
                bytes.remove(0, skip);
            } else {
                EXPECT_TRUE(QRegularExpression(QStringLiteral("^Band - Song [ABC]( \\(\\d+\\))?\\.ogg$"))
                                .match(name)
                                .hasMatch())
                    << qPrintable(name);
                EXPECT_TRUE(bytes.startsWith("OggS") && (bytes.at(5) & 0x02)) << qPrintable(name); // a first page
            }
            const qsizetype at = listener.bytes.indexOf(bytes.left(4096));
            ASSERT_GE(at, 0) << qPrintable(name);
            pieces[at] = {name, bytes};
        }
        // Together they are one unbroken run of the stream: nothing lost,
        // nothing twice. Every song file plays, but the one the stop cut short.
        const qsizetype end = pieces.rbegin()->first + pieces.rbegin()->second.second.size();
        waitUntil([&] { return listener.bytes.size() >= end; }, 5000);
        qsizetype next = pieces.begin()->first;
        for (const auto &[at, piece] : pieces) {
            EXPECT_EQ(at, next) << qPrintable(piece.first);
            EXPECT_TRUE(listener.bytes.mid(at, piece.second.size()) == piece.second) << qPrintable(piece.first);
            next = at + piece.second.size();
            if (next < end && piece.first.startsWith(QLatin1String("Band - Song "))) {
                const QString errors = audiofiles::decodeErrors(run.folder + piece.first);
                EXPECT_TRUE(errors.isEmpty()) << qPrintable(piece.first) << ": " << qPrintable(errors);
            }
        }
    }
}
