#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

#include "eventwait.h"
#include "fakeclock.h"
#include "platform/clock.h"
#include "sources/playlistreader.h"
#include "testenv.h"
#include "teststation/station.h"

using teststation::Page;

namespace
{

const QByteArray kTwoEntries = "/two.pls";

class GrabberTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QObject::connect(
            &grabber, &PlaylistReader::serverFound,
            [this](const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query) {
                events.append("URL " + host + '|' + path + '|' + port + '|' + query);
            });
        QObject::connect(&grabber, &PlaylistReader::finished, [this] { events.append("Done"); });
        QObject::connect(&grabber, &PlaylistReader::messageRequested,
                         [this](const QString &text) { messages.append(text); });
        QObject::connect(&grabber, &PlaylistReader::failed, [this](qint32 code) {
            events.append("Error " + QByteArray::number(code));
            errorTicks.append(clock.monotonicMs());
        });
        config.pages[kTwoEntries] =
            Page::pls({"http://{station}/a", "http://127.0.0.1:40000/b?sid=1"}, {"First Station", "Second"});
    }

    void startStation()
    {
        station = std::make_unique<teststation::Station>(config);
        ASSERT_TRUE(station->start());
    }
    QByteArray url(const QByteArray &path) const { return station->url(path); }
    bool waitEvents(qsizetype count)
    {
        return waitUntil([&] { return events.size() >= count; });
    }
    QByteArray urlEvent(const QByteArray &path) const
    {
        return "URL 127.0.0.1|" + path + '|' + QByteArray::number(station->port()) + '|';
    }
    QList<QByteArray> twoEntryEvents() const { return {urlEvent("/a"), "URL 127.0.0.1|/b|40000|sid=1", "Done"}; }
    // Runs the grabber on a page served with this body and waits for its outcome.
    void grabPage(const QByteArray &path, const QByteArray &body)
    {
        Page page;
        page.body = body;
        config.pages[path] = page;
        startStation();
        grabber.start(url(path));
        waitUntil([&] { return !events.isEmpty() && (events.last() == "Done" || events.last().startsWith("Error")); });
        settle(30);
    }

    QStringList messages;
    teststation::Config config;
    std::unique_ptr<teststation::Station> station;
    FakeClock clock;
    PlaylistReader grabber{testenv::network(), clock};
    QList<QByteArray> events;
    QList<qint64> errorTicks; // the clock at each Error
};

quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

TEST_F(GrabberTest, PlsWithTwoEntriesRaisesThemInOrderThenDone)
{
    startStation();
    grabber.start(url(kTwoEntries));
    EXPECT_EQ(grabber.firstTitle, "two"); // the file name until the playlist says otherwise
    ASSERT_TRUE(waitEvents(3));
    settle(30);
    EXPECT_EQ(events, twoEntryEvents());
    EXPECT_EQ(grabber.firstTitle, "First Station");
    EXPECT_FALSE(grabber.isRequestPending());
    EXPECT_TRUE(grabber.rawData.startsWith("[playlist]\r\n"));
    EXPECT_TRUE(grabber.rawData.endsWith("Version=2\r\n"));
    ASSERT_EQ(station->connectionCount(), 1);
    const QByteArray request = station->connection(0).request;
    EXPECT_TRUE(request.startsWith("GET /two.pls HTTP/1.1\r\n"));
    EXPECT_TRUE(request.contains(QByteArray("\r\nHost: " + station->hostPort() + "\r\n")));
    EXPECT_TRUE(request.contains("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)\r\n"));
}

TEST_F(GrabberTest, RequestCarriesQueryAndPortButNoCredentials)
{
    startStation();
    grabber.start("http://joe:pw@" + station->hostPort() + "/two.pls?sid=7&x=%20");
    ASSERT_TRUE(waitEvents(3));
    EXPECT_EQ(events, twoEntryEvents());
    EXPECT_TRUE(station->connection(0).request.startsWith(
        QByteArray("GET /two.pls?sid=7&x=%20 HTTP/1.1\r\nHost: " + station->hostPort() + "\r\n")));
}

TEST_F(GrabberTest, CrLfLosesTheCrAndLfEndsTheValue)
{
    grabPage("/mixed.pls", "[playlist]\r\nFile1=http://a.example.com/x\r\nFile2=http://b.example.com:8000/y\n"
                           "Title1=Mixed\r\n");
    EXPECT_EQ(events, (QList<QByteArray>{"URL a.example.com|/x|80|", "URL b.example.com|/y|8000|", "Done"}));
    EXPECT_EQ(grabber.firstTitle, "Mixed");

    events.clear();
    config.pages["/lf.pls"] = Page::pls({"http://c.example.com/z"}, {"Unix"}, "\n");
    station->config() = config;
    grabber.start(url("/lf.pls"));
    ASSERT_TRUE(waitEvents(2));
    EXPECT_EQ(events, (QList<QByteArray>{"URL c.example.com|/z|80|", "Done"}));
    EXPECT_EQ(grabber.firstTitle, "Unix");
}

TEST_F(GrabberTest, LastEntryWithoutLineFeedIsKept)
{
    const QList<QByteArray> both = {"URL a.example.com|/x|80|", "URL b.example.com|/y|80|", "Done"};
    grabPage("/cut.pls", "[playlist]\r\nFile1=http://a.example.com/x\r\nFile2=http://b.example.com/y");
    EXPECT_EQ(events, both);

    // A local file ending with the entry's line loses its last line end when the lines are joined.
    events.clear();
    const QString path = testenv::writeFile(testenv::home() + QStringLiteral("/local.pls"),
                                            "[playlist]\nFile1=http://a.example.com/x\nFile2=http://b.example.com/y\n");
    grabber.start(QFile::encodeName(path));
    EXPECT_EQ(events, both);
    EXPECT_EQ(grabber.rawData, "[playlist]\r\nFile1=http://a.example.com/x\r\nFile2=http://b.example.com/y");
}

TEST_F(GrabberTest, BadEntriesArePassedOverAndOnlyAnEmptyListFails)
{
    grabPage("/title.pls", "File1=http://a.example.com:65536/x\r\nFile2=http://a.example.com/x\rX-Injected: yes\r\n"
                           "File3=http://b.example.com/\x01\r\nTitle1=No line end");
    EXPECT_EQ(events, (QList<QByteArray>{"URL a.example.com|/x|80|", "Done"}));
    EXPECT_EQ(grabber.firstTitle, "No line end");

    for (const QByteArray &body : {QByteArray("File1=http://a.example.com:70000/x\r\n"),
                                   QByteArray("File1 http://a\r\n"), QByteArray("File1=://a.example.com/x\r\n")}) {
        events.clear();
        station->config().pages["/bad.pls"].body = body;
        grabber.start(url("/bad.pls"));
        ASSERT_TRUE(waitEvents(1));
        settle(20);
        EXPECT_EQ(events, QList<QByteArray>{"Error 6"}) << body.constData();
    }
}

TEST_F(GrabberTest, LocalPlaylistFiles)
{
    const QString good = testenv::writeFile(testenv::home() + QStringLiteral("/My Station.pls"),
                                            "[playlist]\r\nFile1=http://a.example.com:8000/\r\nTitle1=Mine\r\n\r\n");
    grabber.start(QFile::encodeName(good));
    EXPECT_EQ(events, (QList<QByteArray>{"URL a.example.com|/|8000|", "Done"}));
    EXPECT_EQ(grabber.firstTitle, "Mine");

    events.clear();
    grabber.start(QFile::encodeName(testenv::home() + QStringLiteral("/missing.pls")));
    EXPECT_EQ(events, QList<QByteArray>{"Error 4"});
    EXPECT_EQ(grabber.firstTitle, "missing");

    events.clear();
    grabber.start("a.m");
    EXPECT_EQ(events, QList<QByteArray>{"Error 99"});
}

TEST_F(GrabberTest, M3uRaisesEveryHttpLine)
{
    config.pages["/one.m3u"] = Page::m3u({"http://127.0.0.1:8000/stream"});
    config.pages["/two.m3u"] = Page::m3u({"http://127.0.0.1:8000/stream", "http://127.0.0.1:8001/other"});
    startStation();
    grabber.start(url("/one.m3u"));
    ASSERT_TRUE(waitEvents(2));
    EXPECT_EQ(events, (QList<QByteArray>{"URL 127.0.0.1|/stream|8000|", "Done"}));
    EXPECT_EQ(grabber.firstTitle, "");

    events.clear();
    grabber.start(url("/two.m3u"));
    ASSERT_TRUE(waitEvents(2));
    EXPECT_EQ(events, (QList<QByteArray>{"URL 127.0.0.1|/stream|8000|", "URL 127.0.0.1|/other|8001|", "Done"}));

    events.clear();
    const QString path =
        testenv::writeFile(testenv::home() + QStringLiteral("/local.m3u"), "#EXTM3U\nhttp://127.0.0.1:8000/stream\n");
    grabber.start(QFile::encodeName(path));
    EXPECT_EQ(events, (QList<QByteArray>{"URL 127.0.0.1|/stream|8000|", "Done"}));
}

TEST_F(GrabberTest, PlaylistTypeComesFromThePathInAnyCase)
{
    config.pages["/none.m3u"] = Page::m3u({"ftp://127.0.0.1/stream"});
    config.pages["/upper.M3U"] = Page::m3u({"http://127.0.0.1:8000/stream"});
    config.pages["/listen.m3u"] = Page::m3u({"http://127.0.0.1:8000/m3u"});
    config.pages["/listen.pls"] = Page::pls({"http://127.0.0.1:8000/pls"}, {"Pls"});
    startStation();
    grabber.start(url("/none.m3u"));
    ASSERT_TRUE(waitEvents(1));
    grabber.start(url("/upper.M3U"));
    ASSERT_TRUE(waitEvents(3));
    // A station server's query does not hide the type (nor reach the title).
    grabber.start(url("/listen.m3u?sid=1"));
    ASSERT_TRUE(waitEvents(5));
    grabber.start(url("/listen.pls?sid=1"));
    EXPECT_EQ(grabber.firstTitle, "listen");
    ASSERT_TRUE(waitEvents(7));
    settle(20);
    EXPECT_EQ(events, (QList<QByteArray>{"Error 5", "URL 127.0.0.1|/stream|8000|", "Done", "URL 127.0.0.1|/m3u|8000|",
                                         "Done", "URL 127.0.0.1|/pls|8000|", "Done"}));
    EXPECT_EQ(station->requestLines().last(), "GET /listen.pls?sid=1 HTTP/1.1");
}

TEST_F(GrabberTest, OggEntriesAreServersLikeAnyOther)
{
    grabPage("/ogg.pls", "[playlist]\r\nFile1=http://a.example.com/live.ogg\r\nFile2=http://a.example.com/x\r\n");
    EXPECT_EQ(events, (QList<QByteArray>{"URL a.example.com|/live.ogg|80|", "URL a.example.com|/x|80|", "Done"}));
}

TEST_F(GrabberTest, HlsPlaylistIsHandedOverWithTheAddressItCameFrom)
{
    config.pages["/moved.m3u"] = Page::redirect("http://{station}/live.m3u8?k=1");
    grabPage("/live.m3u8", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=128000\nhttp://a.example.com/chunks.m3u8\n");
    events.clear();
    grabber.start(url("/moved.m3u"));
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, QList<QByteArray>{"Done"});
    EXPECT_EQ(grabber.hlsUrl.toEncoded(), url("/live.m3u8?k=1"));
    EXPECT_TRUE(grabber.rawData.startsWith("#EXTM3U"));

    grabber.start(url(kTwoEntries));
    EXPECT_TRUE(grabber.hlsUrl.isEmpty());
}

TEST_F(GrabberTest, PlaylistsLargerThanAnyPlaylistFail)
{
    // Network: a body longer than the limit (here with its length announced).
    QByteArray big = "[playlist]\r\n";
    big += QByteArray(1024 * 1024, 'x');
    big += "\r\nFile1=http://a.example.com/x\r\n";
    grabPage("/big.pls", big);
    EXPECT_EQ(events, QList<QByteArray>{"Error 10"});

    // Local: the file is not read beyond the limit.
    events.clear();
    grabber.start(QFile::encodeName(testenv::writeFile(testenv::home() + QStringLiteral("/big.pls"), big)));
    EXPECT_EQ(events, QList<QByteArray>{"Error 10"});
}

TEST_F(GrabberTest, HttpRedirectsAreFollowedUpToTheLimit)
{
    config.pages["/moved.pls"] = Page::statusOnly("HTTP/1.1 301 Moved Permanently");
    config.pages["/moved.pls"].headers = {"Location: /two.pls"};
    config.pages["/temporary.pls"] = Page::statusOnly("HTTP/1.1 307 Temporary Redirect");
    config.pages["/temporary.pls"].headers = {"Location: http://{station}/moved.pls"};
    config.pages["/circle.pls"] = Page::redirect("http://{station}/circle.pls");
    // Announced empty bodies: a redirect whose body ends with the connection
    // may be asked for twice by the network stack, and the counts below are exact.
    for (const QByteArray path : {"/moved.pls", "/temporary.pls", "/circle.pls"})
        config.pages[path].framing = Page::Framing::ContentLength;
    startStation();
    grabber.start(url("/temporary.pls"));
    ASSERT_TRUE(waitEvents(3));
    EXPECT_EQ(events, twoEntryEvents());
    EXPECT_EQ(station->requestLines().mid(0, 3),
              (QList<QByteArray>{"GET /temporary.pls HTTP/1.1", "GET /moved.pls HTTP/1.1", "GET /two.pls HTTP/1.1"}));

    events.clear();
    grabber.start(url("/circle.pls"));
    ASSERT_TRUE(waitEvents(1));
    settle(30);
    EXPECT_EQ(events, QList<QByteArray>{"Error 3"});
    EXPECT_EQ(station->connectionCount(), 3 + 1 + PlaylistReader::kMaxRefreshes);
}

TEST_F(GrabberTest, StreamGivenAsPlaylistIsNotCollectedForever)
{
    teststation::Stream stream;
    stream.pace = teststation::Stream::Pace::Fast;
    stream.answerBrowser = false; // the reader's agent names MSIE
    stream.status = "HTTP/1.0 200 OK";
    config.streams["/stream.pls"] = stream;
    // A server that answers in its own protocol is no web server.
    stream.status = "ICY 200 OK";
    config.streams["/icy.pls"] = stream;
    startStation();
    grabber.start(url("/stream.pls"));
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, QList<QByteArray>{"Error 10"});
    grabber.start(url("/icy.pls"));
    ASSERT_TRUE(waitEvents(2));
    EXPECT_EQ(events.at(1), "Error 3");
}

TEST_F(GrabberTest, RefusedConnectionRaises1Once)
{
    grabber.start("http://127.0.0.1:" + QByteArray::number(unusedPort()) + "/list.pls");
    ASSERT_TRUE(waitEvents(1));
    settle(50);
    EXPECT_EQ(events, QList<QByteArray>{"Error 1"});
    EXPECT_FALSE(grabber.isRequestPending());
}

TEST_F(GrabberTest, ConnectionThatNeverCompletesRaises2After3000Ms)
{
    // A listener whose queue is full leaves further connection attempts unanswered.
    QTcpServer server;
    server.setListenBacklogSize(0);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    server.pauseAccepting();
    QTcpSocket filler;
    filler.connectToHost(QStringLiteral("127.0.0.1"), server.serverPort());
    ASSERT_TRUE(filler.waitForConnected(2000));

    grabber.start("http://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/list.pls");
    EXPECT_TRUE(events.isEmpty()) << "start does not wait for the connection";
    EXPECT_TRUE(grabber.isRequestPending());
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, QList<QByteArray>{"Error 2"});
    EXPECT_EQ(clock.totalSlept(), 3001);
    EXPECT_FALSE(grabber.isRequestPending());
    EXPECT_FALSE(clock.hasPendingCalls());
}

TEST_F(GrabberTest, NotFoundRaises3AtOnceAndAgainFromTheWatchdog)
{
    startStation();
    // Held still until the real reply is in: on a loaded machine the stepping
    // clock could otherwise reach the watchdog before the 404 arrives.
    clock.setSelfStepping(false);
    const qint64 start = clock.monotonicMs();
    grabber.start(url("/missing.pls"));
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, QList<QByteArray>{"Error 3"});
    EXPECT_LT(errorTicks.at(0) - start, 3001);
    EXPECT_TRUE(grabber.isRequestPending());

    // The watchdog counts from the start of the request.
    clock.setSelfStepping(true);
    ASSERT_TRUE(waitEvents(2));
    EXPECT_EQ(events, (QList<QByteArray>{"Error 3", "Error 3"}));
    EXPECT_EQ(errorTicks.at(1) - start, 3001);
    EXPECT_FALSE(grabber.isRequestPending());
    EXPECT_FALSE(clock.hasPendingCalls());
    clock.advance(10000);
    settle(250);
    EXPECT_EQ(events.size(), 2);
}

TEST_F(GrabberTest, PeerThatAcceptsAndClosesCountsAsConnected)
{
    // No connection error and no connection timeout: the request goes
    // nowhere and the watchdog reports the missing reply.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        while (QTcpSocket *peer = server.nextPendingConnection()) {
            peer->close();
            peer->deleteLater();
        }
    });
    const qint64 start = clock.monotonicMs();
    grabber.start("http://127.0.0.1:" + QByteArray::number(server.serverPort()) + "/list.pls");
    ASSERT_TRUE(waitEvents(1));
    settle(30);
    EXPECT_EQ(events, QList<QByteArray>{"Error 3"});
    EXPECT_EQ(errorTicks.at(0) - start, 3001);
    EXPECT_FALSE(grabber.isRequestPending());
}

TEST_F(GrabberTest, SplitAndChunkedRepliesAreHandledWhole)
{
    Page split = config.pages[kTwoEntries];
    split.headerSeparately = true;
    split.pieces = 3;
    split.keepOpen = true; // complete by Content-Length, not by the close
    config.pages["/split.pls"] = split;
    Page chunked = split;
    chunked.framing = Page::Framing::Chunked;
    chunked.chunkSize = 7;
    config.pages["/chunked.pls"] = chunked;
    Page closing = split;
    closing.framing = Page::Framing::CloseDelimited;
    closing.keepOpen = false;
    config.pages["/closing.pls"] = closing;
    startStation();

    for (const QByteArray path : {"/split.pls", "/chunked.pls", "/closing.pls"}) {
        events.clear();
        grabber.start(url(path));
        ASSERT_TRUE(waitEvents(3)) << path.constData();
        settle(20);
        EXPECT_EQ(events, twoEntryEvents()) << path.constData();
        EXPECT_EQ(grabber.firstTitle, "First Station");
        if (path == "/chunked.pls") {
            // The chunks were decoded into the text handed to the parser.
            EXPECT_TRUE(station->connection(1).header.contains("\r\n7\r\n"));
            EXPECT_EQ(grabber.rawData,
                      QByteArray(config.pages[kTwoEntries].body).replace("{station}", station->hostPort()));
        }
    }
}

TEST_F(GrabberTest, MetaRefreshIsFollowed)
{
    config.pages["/refresh.html"] = Page::metaRefresh("http://{station}/two.pls");
    Page quoted = Page::metaRefresh("x");
    quoted.body = "<META HTTP-EQUIV=\"Refresh\" CONTENT=\"0; URL='http://{station}/two.pls'\">";
    config.pages["/quoted.html"] = quoted;
    startStation();
    grabber.start(url("/refresh.html"));
    ASSERT_TRUE(waitEvents(3));
    EXPECT_EQ(events, twoEntryEvents());
    EXPECT_EQ(grabber.firstTitle, "First Station");
    ASSERT_EQ(station->connectionCount(), 2);
    EXPECT_EQ(station->connection(1).target, "/two.pls");

    // A single-quoted target is followed like a double-quoted one.
    events.clear();
    grabber.start(url("/quoted.html"));
    ASSERT_TRUE(waitEvents(3));
    EXPECT_EQ(events, twoEntryEvents());
}

TEST_F(GrabberTest, PagesCannotAddRequestLinesOrPointAtLocalFiles)
{
    Page injected = Page::metaRefresh("x");
    injected.body = "<meta http-equiv=\"refresh\" content=\"0; url=http://{station}/two.pls\nX-Injected: yes\">";
    config.pages["/injected.html"] = injected;
    config.pages["/moved.pls"] = Page::statusOnly("HTTP/1.1 302 Found");
    config.pages["/moved.pls"].headers = {"Location: /two.pls\nX-Injected: yes"};
    const QString local =
        testenv::writeFile(testenv::home() + QStringLiteral("/secret.pls"), "[playlist]\nFile1=http://127.0.0.1:1/x\n");
    config.pages["/local.html"] = Page::metaRefresh(QFile::encodeName(local));
    config.pages["/ftp.pls"] = Page::redirect("ftp://{station}/two.pls");
    startStation();

    grabber.start(url("/injected.html"));
    ASSERT_TRUE(waitEvents(3));
    grabber.start(url("/moved.pls"));
    ASSERT_TRUE(waitEvents(6));
    for (const QByteArray &line : station->requestLines())
        EXPECT_TRUE(line.endsWith(" HTTP/1.1")) << line.constData();
    for (int i = 0; i < station->connectionCount(); ++i)
        EXPECT_FALSE(station->connection(i).request.contains("Injected"));

    events.clear();
    grabber.start(url("/local.html"));
    ASSERT_TRUE(waitEvents(1));
    grabber.start(url("/ftp.pls"));
    ASSERT_TRUE(waitEvents(2));
    settle(20);
    EXPECT_EQ(events, (QList<QByteArray>{"Error 3", "Error 3"}));
}

TEST_F(GrabberTest, RefreshesStopAfterTenInARow)
{
    config.pages["/loop.html"] = Page::metaRefresh("http://{station}/loop.html");
    for (int i = 1; i <= 10; ++i) {
        config.pages["/hop" + QByteArray::number(i) + ".html"] =
            Page::metaRefresh(i < 10 ? QByteArray("http://{station}/hop" + QByteArray::number(i + 1) + ".html")
                                     : QByteArray("http://{station}/two.pls"));
    }
    startStation();
    grabber.start(url("/loop.html"));
    ASSERT_TRUE(waitEvents(1));
    settle(50);
    EXPECT_EQ(events, QList<QByteArray>{"Error 3"});
    EXPECT_EQ(station->connectionCount(), 11);
    EXPECT_FALSE(grabber.isRequestPending());

    // Ten refreshes are still followed; a new retrieval starts counting afresh.
    events.clear();
    grabber.start(url("/hop1.html"));
    ASSERT_TRUE(waitEvents(3));
    EXPECT_EQ(events, twoEntryEvents());
    EXPECT_EQ(station->connectionCount(), 22);
}

TEST_F(GrabberTest, MalformedRefreshShowsTheSourceAndStaysPending)
{
    Page page;
    page.body = "<meta http-equiv=\"refresh\" content=\"5\">";
    config.pages["/bad.html"] = page;
    startStation();
    const qint64 start = clock.monotonicMs();
    grabber.start(url("/bad.html"));
    ASSERT_TRUE(waitUntil([&] { return !messages.isEmpty(); }));
    EXPECT_TRUE(events.isEmpty());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.at(0).startsWith(
        QStringLiteral("The meta-refresh data passed to the Ombrex is malformed. \r\nSource:\r\n<meta ")));
    EXPECT_TRUE(messages.at(0).endsWith(QStringLiteral("content=\"5\">")));
    EXPECT_TRUE(grabber.isRequestPending());

    // Pending until the watchdog gives up on it; no second message.
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, QList<QByteArray>{"Error 3"});
    EXPECT_EQ(errorTicks.at(0) - start, 3001);
    EXPECT_EQ(messages.size(), 1);
}

TEST_F(GrabberTest, NewRetrievalAbandonsTheRunningOne)
{
    Page slow = config.pages[kTwoEntries];
    slow.headerSeparately = true;
    slow.pieceDelayMs = 200;
    config.pages["/slow.pls"] = slow;
    config.pages["/other.pls"] = Page::pls({"http://d.example.com/other"});
    startStation();
    grabber.start(url("/slow.pls"));
    grabber.start(url("/other.pls"));
    ASSERT_TRUE(waitEvents(2));
    settle(350);
    EXPECT_EQ(events, (QList<QByteArray>{"URL d.example.com|/other|80|", "Done"}));
}

// A stream address is its own one-server playlist: nothing is fetched, a
// running retrieval is abandoned, and pages and playlists are still read.
TEST_F(GrabberTest, DirectStreamAddressIsAOneServerPlaylist)
{
    config.pages["/other.pls"] = Page::pls({"http://d.example.com/other"});
    startStation();
    grabber.start(url("/other.pls"));
    grabber.start("HTTPS://radio.example:8443/live/aac?x=1");
    EXPECT_TRUE(events.isEmpty()) << "reported from the event loop, like a web playlist";
    ASSERT_TRUE(waitEvents(2));
    settle(50);
    EXPECT_EQ(events, (QList<QByteArray>{"URL radio.example|/live/aac|8443|x=1", "Done"}));
    EXPECT_TRUE(grabber.firstTitle.isEmpty());

    events.clear();
    grabber.start("http://:0/");
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, QList<QByteArray>{"Error 99"});

    for (const char *address :
         {"http://a/listen.PLS", "http://a/x.m3u8", "http://a/go.html", "ftp://a/stream", "/home/x/stream"})
        EXPECT_FALSE(PlaylistReader::isDirectStream(address)) << address;
    EXPECT_TRUE(PlaylistReader::isDirectStream("http://a:8000/;"));
}

TEST(PlaylistReaderMessages, ErrorCodesHaveTheirFixedTexts)
{
    QStringList texts;
    for (const qint32 code : {1, 2, 3, 4, 5, 6, 7, 99, 0, 11, 8, 9, 10}) {
        if (const QString text = PlaylistReader::errorMessage(code); !text.isEmpty())
            texts.append(text);
    }
    const QStringList want = {
        QStringLiteral("Winsock error on loading playlist file!"),
        QStringLiteral("Timeout connecting to remote site!"),
        QStringLiteral("Invalid URL or network error! Please make sure that the playlist file location is correct."),
        QStringLiteral("Bad playlist filename!"),
        QStringLiteral("The M3U file does not contain a proper HTTP reference in the filename!"),
        QStringLiteral("Server is currently unavailable or the shoutcast file is formatted incorrectly!"),
        QStringLiteral("Icecast OGG streaming is not supported at this time... please wait for a future version!"),
        QStringLiteral("Unknown error retrieving playlist!"),
        QStringLiteral("The secure connection (TLS) to the playlist's server failed!"),
        QStringLiteral("The playlist is too large to be a playlist!")};
    EXPECT_EQ(texts, want);
}
