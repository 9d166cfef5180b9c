// Recordings of a Live365 station: the stream comes from the bundled test
// station under a host name containing "live365" (names under "localhost"
// reach 127.0.0.1), and the same station serves the Live365 web pages.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include "eventwait.h"

#include <functional>

#include "app/programcontext.h"
#include "config/inivalues.h"
#include "engine/id3v1tag.h"
#include "engine/recorder.h"
#include "fakeclock.h"
#include "recorderfixture.h"
#include "recordertestpeer.h"
#include "sources/live365reader.h"
#include "testenv.h"
#include "teststation/station.h"

using teststation::Page;

namespace
{

Page htmlPage(const QByteArray &body)
{
    Page page;
    page.body = body;
    page.keepOpen = true;
    return page;
}

Page playlistPage(const QByteArray &artist, const QByteArray &title)
{
    return htmlPage("<html><script>var t = {artist:\"" + artist + "\", title:\"" + title +
                    "\", x:1};\nvar gSecondsLeft = 5;</script></html>");
}

class Live365Recording : public RecorderFixture
{
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();

        teststation::Stream stream;
        stream.name = "Live FM";
        stream.metaInt = 0; // the station's titles come from its web pages only
        stream.burstBytes = 32000;
        config.streams.insert("/live365/12345", stream);
        config.streams.insert("/live365/abc", stream);
        config.pages.insert("/stations/12345", htmlPage("<html>LaunchBroadcast('member');</html>"));
        config.pages.insert("/cgi-bin/mini.cgi",
                            htmlPage("<html><script>a = \"OR\";</script>"
                                     "<frame src=\"http://{station}/pls/front?handle=abc&membername=\" "
                                     "name=\"Live365PlayerPlaylist\"></html>"));
        config.pages.insert("/pls/front", playlistPage("Artist One", "Song One"));
    }
    // Starts the station and a recording of the stream at host and path.
    Recorder *startRecording(const QByteArray &host, const QByteArray &pathAndQuery,
                             const QByteArray &modeLine = "SONGNAMEONLY")
    {
        if (!station) {
            startStation();
            setLive365Server(QString::fromLatin1(station->url("")));
        }
        const QByteArray stream = "http://" + host + ':' + QByteArray::number(station->port()) + pathAndQuery;
        station->config().pages.insert("/listen.pls", Page::pls({stream}, {"Live"}));
        return openPreset(presetLines("Live FM", "/listen.pls", modeLine), QStringLiteral("live.mvr"));
    }

    QList<QByteArray> targets() const
    {
        QList<QByteArray> list;
        for (int i = 0; i < station->connectionCount(); ++i)
            list.append(station->connection(i).target);
        return list;
    }
    bool hasFile(const QString &name) const { return QFile::exists(folder + name); }
    QByteArray file(const QString &name) const { return testenv::readFile(folder + name); }
};

} // namespace

TEST_F(Live365Recording, TitlesFromTheWebPagesStartTheirOwnFiles)
{
    // The reader's reload timers are long-lived: the clock moves only when the test says.
    clock.setSelfStepping(false);
    startRecording("live365.localhost", "/live365/12345?AuthType=AFL");
    ASSERT_TRUE(waitUntil([&] { return hasFile(QStringLiteral("Artist One - Song One.mp3")); }));
    EXPECT_EQ(inside(engine).live365Reader().stationName(), "member");
    EXPECT_EQ(inside(engine).songName(), "Artist One - Song One.mp3");

    const QList<QByteArray> requests = targets();
    EXPECT_TRUE(requests.contains("/live365/12345?AuthType=AFL"));
    EXPECT_TRUE(requests.contains("/stations/12345"));
    EXPECT_TRUE(
        requests.contains("/cgi-bin/mini.cgi?membername=member&clientType=&playlist=undefined&bitratebypass=1"));
    // The stream asked for AFL and the player window offers it.
    EXPECT_TRUE(requests.contains("/pls/front?handle=afl%3Aabc&membername=member"));

    // When the song's seconds run out the page is read again. The same song
    // goes on in its file ...
    const QString first = QStringLiteral("Artist One - Song One.mp3");
    clock.advance(500); // the hold after a new file
    ASSERT_TRUE(waitUntil([&] { return file(first).size() > 0; }));
    const qint64 recorded = file(first).size();
    const auto playlistLoads = [&] { return targets().count("/pls/front?handle=afl%3Aabc&membername=member"); };
    for (int i = 0; i < 12 && playlistLoads() < 2; ++i) {
        clock.advance(1000);
        waitUntil([] { return false; }, 150);
    }
    ASSERT_EQ(playlistLoads(), 2);
    waitUntil([] { return false; }, 100);
    EXPECT_GE(file(first).size(), recorded);
    EXPECT_EQ(inside(engine).songName(), "Artist One - Song One.mp3");

    // ... and a new song gets a new file.
    station->config().pages.insert("/pls/front", playlistPage("Artist Two", "Song Two"));
    for (int i = 0; i < 12 && !hasFile(QStringLiteral("Artist Two - Song Two.mp3")); ++i) {
        clock.advance(1000);
        waitUntil([] { return false; }, 150);
    }
    ASSERT_TRUE(hasFile(QStringLiteral("Artist Two - Song Two.mp3")));
    EXPECT_EQ(file(QStringLiteral("Artist One - Song One.mp3")).right(128),
              buildId3v1Tag({"Artist One", "Song One", {}}, QDate(2026, 3, 7)));
    EXPECT_TRUE(engine->isRecording());
    EXPECT_TRUE(ui.messages.isEmpty());

    // Stopping the recording stops the reader.
    engine->stopRecording();
    EXPECT_TRUE(inside(engine).live365Reader().stationName().isEmpty());
    EXPECT_TRUE(inside(engine).live365Reader().isIdle());
    const int requestsSoFar = station->connectionCount();
    clock.advance(8000);
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(station->connectionCount(), requestsSoFar);
}

TEST_F(Live365Recording, ReaderErrorIsShownAndTheRecordingGoesOn)
{
    config.pages.insert("/cgi-bin/mini.cgi", htmlPage("<html>No player here</html>"));
    startRecording("live365.localhost", "/live365/12345");
    ASSERT_TRUE(waitUntil([&] { return !ui.messages.isEmpty(); }));
    EXPECT_EQ(ui.messages, QStringList{QStringLiteral("Could not find playlist information")});
    EXPECT_TRUE(inside(engine).live365Reader().stationName().isEmpty());
    EXPECT_TRUE(inside(engine).live365Reader().isIdle());
    EXPECT_TRUE(engine->isRecording());
    EXPECT_TRUE(waitUntil([&] { return hasFile(QStringLiteral("Live FM-03072026.mp3")); }));
}

TEST_F(Live365Recording, OnlyLive365HostsWithAStationNumberInTitleModeAreFollowed)
{
    struct Case
    {
        QByteArray host;
        QByteArray path;
        QByteArray mode;
    };
    const QList<Case> cases = {
        {"live365.localhost", "/live365/abc", "SONGNAMEONLY"},     // no number after the last "/"
        {"127.0.0.1", "/live365/12345", "SONGNAMEONLY"},           // the host does not name Live365
        {"live365.localhost", "/live365/12345", "FILENAME x.mp3"}, // not one file per title
    };
    for (const Case &c : cases) {
        startRecording(c.host, c.path, c.mode);
        ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() > 0; }))
            << c.host.constData() << c.path.constData();
        waitUntil([] { return false; }, 100);
        EXPECT_FALSE(targets().contains("/stations/12345")) << c.host.constData() << c.path.constData();
        EXPECT_TRUE(inside(engine).live365Reader().isIdle());
        engine->stopRecording();
        restartProgram();
    }
}
