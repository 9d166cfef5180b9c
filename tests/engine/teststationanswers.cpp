// How recordings take what real stations answer: TLS, redirect loops, streams
// the server closes, and streams that are not MP3. Only audio may reach the
// files, and no answer may keep the recorder going round in circles.
#include <QDir>
#include <QSslConfiguration>

#include <gtest/gtest.h>

#include "audiofiles.h"

#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/id3v1tag.h"
#include "engine/recorder.h"
#include "eventwait.h"
#include "recordertestpeer.h"
#include "testenv.h"
#include "testprogram.h"
#include "teststation/station.h"
#include "teststation/testcertificates.h"

namespace
{

class StationAnswers : public ::testing::Test, protected TestProgram
{
protected:
    void SetUp() override
    {
        setBrowserAgentEnabled(false);
        static int n = 0;
        folder = testenv::home() + QStringLiteral("/answers%1/").arg(++n);
        QDir().mkpath(folder);
        stream.pace = teststation::Stream::Pace::Fast;
        stream.metaInt = 1000;
        // No title comes round again within one connection.
        stream.titles = {"Artist - One", "Artist - Two", "Artist - Three"};
        stream.titleEvery = 9000;
        stream.dropAfter = 26000;
    }
    void TearDown() override
    {
        if (program().recorder() && program().recorder()->isRecording())
            program().recorder()->stopRecording();
        restartProgram();
        QSslConfiguration::setDefaultConfiguration(m_sslDefault);
    }

    void startStation()
    {
        station = std::make_unique<teststation::Station>(config);
        ASSERT_TRUE(station->start());
    }
    // Loads the recorder with a preset recording that playlist in the given mode line.
    Recorder *record(const QByteArray &playlist, const QByteArray &modeLine, const QByteArray &timeLine = "S0")
    {
        const QList<QByteArray> lines = {"Test FM", playlist, modeLine, QFile::encodeName(folder), timeLine, "0"};
        const QString preset =
            testenv::writeFile(folder + QStringLiteral("../answers.mvr"), lines.join("\r\n") + "\r\n");
        return program().loadRecorder(preset);
    }
    void trust(const QList<QSslCertificate> &authorities)
    {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(authorities);
        QSslConfiguration::setDefaultConfiguration(ssl);
    }
    QStringList files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
    QByteArray file(const QString &name) const { return testenv::readFile(folder + name); }

    QString folder;
    teststation::Stream stream;
    teststation::Config config;
    std::unique_ptr<teststation::Station> station;
    const QSslConfiguration m_sslDefault = QSslConfiguration::defaultConfiguration();
};

} // namespace

TEST_F(StationAnswers, HttpsPlaylistAndStreamAreVerifiedAgainstTheTrustedAuthorities)
{
    teststation::TestCertificates certificates;
    certificates.make();
    ASSERT_TRUE(waitUntil([&] { return certificates.isDone(); }, 30000));
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();
    config.tls = certificates.tls();
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls", teststation::Page::pls({"https://{station}/stream"}, {"Secure"}));
    startStation();
    ASSERT_TRUE(station->url("/listen.pls").startsWith("https://"));

    // Not trusted: the playlist fails with a message naming TLS and the host.
    Recorder *engine = record(station->url("/listen.pls"), "FILENAME secure.mp3");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_TRUE(ui.messages.first().contains(QStringLiteral("TLS failed with 127.0.0.1")))
        << ui.messages.first().toStdString();
    EXPECT_FALSE(engine->isRecording());
    EXPECT_TRUE(waitUntil([&] { return station->failedHandshakeCount() == 1; }));

    // Trusted: the same station records, playlist and stream over TLS.
    trust(certificates.caCertificates());
    ui.messages.clear();
    restartProgram();
    engine = record(station->url("/listen.pls"), "FILENAME secure.mp3");
    ASSERT_TRUE(waitUntil([&] { return station->connectionCount() > 1 && !station->connection(1).open; }));
    ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() >= station->connection(1).wireBytes; }));
    engine->stopRecording();
    EXPECT_TRUE(ui.messages.isEmpty()) << ui.messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(inside(engine).servers().at(0).secure);
    EXPECT_EQ(file(QStringLiteral("secure.mp3")).chopped(128), station->connection(1).audio);
}

TEST_F(StationAnswers, StreamServerWithUntrustedCertificateIsPassedOver)
{
    teststation::TestCertificates certificates;
    certificates.make();
    ASSERT_TRUE(waitUntil([&] { return certificates.isDone(); }, 30000));
    teststation::Config secure;
    secure.tls = certificates.tls();
    secure.streams.insert("/stream", stream);
    teststation::Station tlsStation(secure);
    ASSERT_TRUE(tlsStation.start());
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls",
                        teststation::Page::pls({tlsStation.url("/stream"), "http://{station}/stream"}, {"Two"}));
    config.pages.insert("/only.pls", teststation::Page::pls({tlsStation.url("/stream")}, {"One"}));
    startStation();

    Recorder *engine = record(station->url("/listen.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return inside(engine).serverNumber() == 2 && station->connectionCount() > 1; }));
    EXPECT_TRUE(std::any_of(ui.captions.begin(), ui.captions.end(), [](const QString &caption) {
        return caption.startsWith(QStringLiteral("[ERR]: TLS failed with 127.0.0.1")) &&
               caption.endsWith(QStringLiteral(", trying server 2..."));
    })) << ui.captions.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(ui.messages.isEmpty());
    EXPECT_EQ(tlsStation.failedHandshakeCount(), 1);

    // The only server: the recording ends with a message that names TLS and the host.
    restartProgram();
    engine = record(station->url("/only.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_TRUE(ui.messages.first().contains(QStringLiteral("TLS failed with 127.0.0.1")))
        << ui.messages.first().toStdString();
    EXPECT_FALSE(engine->isRecording());
}

TEST_F(StationAnswers, RedirectLoopEndsAfterTenAndTheNextServerRecords)
{
    config.streams.insert("/stream", stream);
    config.pages.insert("/loop", teststation::Page::redirect("http://{station}/loop"));
    config.pages.insert("/listen.pls",
                        teststation::Page::pls({"http://{station}/loop", "http://{station}/stream"}, {"Loop"}));
    // A playlist that redirects (here to itself) is followed as far.
    config.pages.insert("/circle.pls", teststation::Page::redirect("http://{station}/circle.pls"));
    // An announced empty body: a redirect whose body ends with the connection
    // may be asked for twice by the network stack, and the count below is exact.
    config.pages["/circle.pls"].framing = teststation::Page::Framing::ContentLength;
    startStation();

    Recorder *engine = record(station->url("/listen.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return inside(engine).serverNumber() == 2 && inside(engine).byteCount() > 10000; }));
    int loops = 0;
    for (int i = 0; i < station->connectionCount(); ++i)
        loops += station->connection(i).target == "/loop" ? 1 : 0;
    EXPECT_EQ(loops, 11); // the first request and ten redirects
    EXPECT_TRUE(ui.captions.contains(QStringLiteral("[ERR]: Too many redirects, trying server 2...")));

    restartProgram();
    const int before = station->connectionCount();
    engine = record(station->url("/circle.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(station->connectionCount() - before, 11);
    EXPECT_FALSE(engine->isRecording());
}

TEST_F(StationAnswers, RedirectsToOtherSchemesAreSkippedLikeAnUnusableServer)
{
    config.streams.insert("/stream", stream);
    config.streams.insert("/other", stream);
    config.pages.insert("/ftp", teststation::Page::redirect("ftp://{station}/stream"));
    config.pages.insert("/icy", teststation::Page::redirect("icy://{station}/stream"));
    config.pages.insert("/listen.pls",
                        teststation::Page::pls(
                            {"http://{station}/ftp", "http://{station}/icy", "http://{station}/other"}, {"Schemes"}));
    startStation();

    Recorder *engine = record(station->url("/listen.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return inside(engine).serverNumber() == 3 && inside(engine).byteCount() > 10000; }));
    for (int i = 0; i < station->connectionCount(); ++i)
        EXPECT_NE(station->connection(i).target, "/stream") << "followed a redirect to another scheme as HTTP";
}

TEST_F(StationAnswers, ClosedStreamReconnectsAtOnceAndTheFileGetsAudioOnly)
{
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Test"}));
    startStation();
    Recorder *engine = record(station->url("/listen.pls"), "FILENAME whole.mp3");
    const qint64 start = clock.monotonicMs();
    ASSERT_TRUE(waitUntil([&] { return station->connectionCount() >= 3 && !station->connection(2).open; }));
    ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() >= station->connection(2).wireBytes; }));
    // Noticed at once, not after ten seconds of silence.
    EXPECT_LT(clock.monotonicMs() - start, 10000);
    engine->stopRecording();
    // The station starts every connection from its first byte again: what the
    // second one repeats is on disk already.
    const QByteArray &first = station->connection(1).audio;
    EXPECT_EQ(file(QStringLiteral("whole.mp3")).chopped(128), first + station->connection(2).audio.mid(first.size()));
    EXPECT_EQ(inside(engine).repeatedBytesSkipped(), std::min(first.size(), station->connection(2).audio.size()));

    // A server that answers and hangs up at once counts against the retry limit.
    restartProgram();
    station->config().streams["/stream"].dropAfter = 0;
    const int before = station->connectionCount();
    engine = record(station->url("/listen.pls"), "FILENAME again.mp3");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.messages.first(), QStringLiteral("Network errors have interrupted successful recording of Test FM!"));
    EXPECT_EQ(station->connectionCount() - before - 1, 4); // the playlist, then the first try and three more
    EXPECT_FALSE(engine->isRecording());
}

TEST_F(StationAnswers, StreamTypesDecideTheFilesAndTheirTags)
{
    stream.contentType = "audio/aacp";
    config.streams.insert("/aac", stream);
    stream.contentType = "application/ogg";
    config.streams.insert("/ogg", stream);
    stream.contentType = "text/html; charset=utf-8";
    config.streams.insert("/page", stream);
    for (const QByteArray path : {"/aac", "/ogg", "/page"})
        config.pages.insert(path + ".pls", teststation::Page::pls({"http://{station}" + path}, {"Typed"}));
    startStation();

    // AAC splits by title into untagged .aac files.
    Recorder *engine = record(station->url("/aac.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return station->connectionCount() > 1 && !station->connection(1).open; }));
    ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() >= station->connection(1).wireBytes; }));
    engine->stopRecording();
    const teststation::ConnectionRecord &aac = station->connection(1);
    ASSERT_EQ(aac.titles.size(), 3);
    EXPECT_EQ(files(),
              QStringList({QStringLiteral("Artist - One.aac"), QStringLiteral("Artist - Three.aac"),
                           QStringLiteral("Artist - Two.aac"), QStringLiteral("Vorlane Test Station-03072026.aac")}));
    const qint64 one = audiofiles::frameSplit(aac.audio, aac.titles.at(0).audioOffset);
    EXPECT_EQ(file(QStringLiteral("Artist - One.aac")),
              aac.audio.mid(one, audiofiles::frameSplit(aac.audio, aac.titles.at(1).audioOffset) - one));

    // Ogg without a chain of streams goes into one file, titles or not, without a tag.
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    restartProgram();
    engine = record(station->url("/ogg.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return station->connectionCount() > 3 && !station->connection(3).open; }));
    ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() >= station->connection(3).wireBytes; }));
    engine->stopRecording();
    EXPECT_EQ(files(), QStringList(QStringLiteral("Vorlane Test Station-03072026.ogg")));
    // The Ogg stream alone: no header text in front of its first page.
    EXPECT_EQ(file(QStringLiteral("Vorlane Test Station-03072026.ogg")), station->connection(3).audio);

    // Anything else is refused, by name, and nothing is written.
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    restartProgram();
    engine = record(station->url("/page.pls"), "FILENAME page.mp3");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_TRUE(ui.messages.first().contains(QStringLiteral("text/html; charset=utf-8")))
        << ui.messages.first().toStdString();
    EXPECT_FALSE(engine->isRecording());
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(StationAnswers, RunWithoutWindowsEndsWhenThePlaylistCannotBeRead)
{
    config.pages.insert("/empty.pls", teststation::Page::pls({"http://host:65536/x"}, {"Bad"}));
    startStation();

    ui.windows = false;
    record(station->url("/missing.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.exitStatus(), 1);

    // A playlist without one usable entry is a failed start too.
    ui.clearExit();
    ui.messages.clear();
    restartProgram();
    record(station->url("/empty.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.exitStatus(), 1);

    // With windows the user can pick another station: the program stays.
    ui.clearExit();
    ui.messages.clear();
    ui.windows = true;
    restartProgram();
    record(station->url("/missing.pls"), "SONGNAMEONLY");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_FALSE(ui.exited());
}
