#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "config/inivalues.h"
#include "eventwait.h"
#include "fakeclock.h"
#include "platform/clock.h"
#include "sources/live365reader.h"
#include "testenv.h"
#include "teststation/station.h"

using teststation::Page;

namespace
{

const QByteArray kNamePath = "/stations/12345";
const QByteArray kWindowPath = "/cgi-bin/mini.cgi";
const QByteArray kPlaylistPath = "/pls/front";
const QByteArray kWindowQuery = "?membername=member&clientType=&playlist=undefined&bitratebypass=1";

// Pages as a Live365-style web server sends them; it keeps HTTP/1.1
// connections open, so only the page end tells that a page is complete.
Page htmlPage(const QByteArray &body)
{
    Page page;
    page.body = body;
    page.keepOpen = true;
    return page;
}

Page rawPage(const QByteArray &raw, int pieces = 1)
{
    Page page;
    page.raw = raw;
    page.pieces = pieces;
    page.keepOpen = true;
    return page;
}

QByteArray namePage(const QByteArray &member)
{
    return "<html><body><a href=\"javascript:LaunchBroadcast('" + member + "', 'player')\">Listen</a></body></html>";
}

// Two frames around the playlist frame, an AFL flag in the script when asked for.
QByteArray windowPage(const QByteArray &playlistFrame, bool aflMarker = false)
{
    return "<html><head><script>var auth = " + QByteArray(aflMarker ? "\"OR\";" : "\"NO\";") +
           "</script></head><frameset>"
           "<frame src=\"http://{station}/banner\" name=\"top\">"
           "<frame src=\"" +
           playlistFrame +
           "\" name=\"Live365PlayerPlaylist\">"
           "<frame src=\"http://{station}/after\" name=\"bottom\"></frameset></HTML>";
}

QByteArray playlistPage(const QByteArray &artist, const QByteArray &title, const QByteArray &seconds)
{
    return "<html><script>var track = {artist:\"" + artist + "\", title:\"" + title +
           "\", album:\"Album\"};\nvar gSecondsLeft " + seconds + "\nvar x = 1;</script></html>";
}

quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A listener whose queue is full: further connection attempts stay unanswered.
struct FullListener
{
    QTcpServer server;
    QTcpSocket filler;

    bool open()
    {
        server.setListenBacklogSize(0);
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        server.pauseAccepting();
        filler.connectToHost(QStringLiteral("127.0.0.1"), server.serverPort());
        return filler.waitForConnected(2000);
    }
    QByteArray url() const { return "http://127.0.0.1:" + QByteArray::number(server.serverPort()); }
};

class Live365Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clock.setSelfStepping(false);
        QObject::connect(&reader, &Live365Reader::titleChanged,
                         [this](const QByteArray &artist, const QByteArray &title) {
                             events.append("Title " + artist + '|' + title);
                         });
        // The engine's answers: follow the member name; stop and tell on any error.
        QObject::connect(&reader, &Live365Reader::stationNameFound, [this](const QByteArray &member) {
            events.append("Name " + member);
            if (hostAnswers)
                reader.setStationName(member);
        });
        QObject::connect(&reader, &Live365Reader::failed, [this](qint32 code) {
            events.append("Error " + QByteArray::number(code));
            if (hostAnswers) {
                reader.setStationName({});
                messages.append(reader.stopWithError(code));
            }
        });
        config.pages[kNamePath] = htmlPage(namePage("member"));
        config.pages[kWindowPath] = htmlPage(windowPage("http://{station}/pls/front?handle=abc&membername="));
        config.pages[kPlaylistPath] = htmlPage(playlistPage("Artist One", "Song One", "= 90;"));
    }

    void startStation()
    {
        station = std::make_unique<teststation::Station>(config);
        ASSERT_TRUE(station->start());
        setLive365Server(QString::fromLatin1(station->url("")));
    }
    bool waitEvents(qsizetype count)
    {
        return waitUntil([&] { return events.size() >= count; });
    }
    // Waits until that many requests have been read.
    bool waitConnections(int count)
    {
        return waitUntil(
            [&] { return station->connectionCount() >= count && !station->connection(count - 1).target.isEmpty(); });
    }
    QList<QByteArray> targets() const
    {
        QList<QByteArray> list;
        for (int i = 0; i < station->connectionCount(); ++i)
            list.append(station->connection(i).target);
        return list;
    }
    QByteArray playlistTarget(const QByteArray &handle) const
    {
        return kPlaylistPath + "?handle=" + handle + "&membername=member";
    }
    // Runs the chain up to the point where it stops by itself.
    void runChain(qsizetype expectedEvents)
    {
        reader.startStation("12345");
        ASSERT_TRUE(waitEvents(expectedEvents));
        settle(50);
    }

    teststation::Config config;
    std::unique_ptr<teststation::Station> station;
    // Moves only when a test moves it (or lets it step by itself).
    FakeClock clock;
    Live365Reader reader{testenv::network(), clock};
    bool hostAnswers = true;
    QList<QByteArray> events;
    QStringList messages;
};

} // namespace

TEST_F(Live365Test, ChainGoesFromNumberToNameToWindowToTitle)
{
    startStation();
    runChain(2);
    EXPECT_EQ(events, (QList<QByteArray>{"Name member", "Title Artist One|Song One"}));
    EXPECT_EQ(reader.stationName(), "member");
    EXPECT_EQ(reader.frameAddress(), station->url(kPlaylistPath) + "?handle=abc&membername=");
    EXPECT_EQ(reader.secondsLeft(), 90);

    ASSERT_EQ(station->connectionCount(), 3);
    const QByteArray host = "\r\nHost: " + station->hostPort() + "\r\n";
    EXPECT_TRUE(station->connection(0).request.startsWith(QByteArray("GET " + kNamePath + " HTTP/1.1" + host)));
    EXPECT_TRUE(station->connection(1).request.startsWith(
        QByteArray("GET " + kWindowPath + kWindowQuery + " HTTP/1.1" + host)));
    EXPECT_TRUE(
        station->connection(2).request.startsWith(QByteArray("GET " + playlistTarget("abc") + " HTTP/1.1" + host)));
    // Each connection is closed once its page has ended.
    EXPECT_TRUE(waitUntil(
        [&] { return !station->connection(0).open && !station->connection(1).open && !station->connection(2).open; }));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Live365Test, ServerAddressIsConfigurable)
{
    setLive365Server(QString());
    EXPECT_EQ(live365Server(), QStringLiteral("http://www.live365.com"));

    // A leading path and a final "/" in the setting.
    config.pages["/l365" + kNamePath] = htmlPage("LaunchBroadcast('x');</html>");
    startStation();
    setLive365Server(QString::fromLatin1(station->url("/l365/")));
    reader.startStation("12345");
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(station->connection(0).target, "/l365" + kNamePath);
    EXPECT_EQ(events.first(), "Name x");
}

TEST_F(Live365Test, WritingTheStationNameStartsAtTheWindowRequest)
{
    startStation();
    reader.setStationName("member");
    ASSERT_TRUE(waitEvents(1));
    settle(30);
    EXPECT_EQ(events, QList<QByteArray>{"Title Artist One|Song One"});
    EXPECT_EQ(targets(), (QList<QByteArray>{kWindowPath + kWindowQuery, playlistTarget("abc")}));
}

TEST_F(Live365Test, NamePageWithoutMarkerRaises5AndNothingElse)
{
    config.pages[kNamePath] = htmlPage("<html>Station not found</html>");
    startStation();
    runChain(1);
    EXPECT_EQ(events, QList<QByteArray>{"Error 5"});
    EXPECT_EQ(messages, QStringList{QStringLiteral("Could not find broadcast information!")});
    EXPECT_EQ(station->connectionCount(), 1);
    EXPECT_TRUE(reader.isIdle());
}

TEST_F(Live365Test, WindowPageWithoutUsablePlaylistFrameRaises8)
{
    const QList<QByteArray> bad = {
        // no playlist marker at all
        "<html><frame src=\"http://{station}/pls/front?handle=abc&membername=\" name=\"other\"></html>",
        // the only frame comes after the playlist marker
        "<html><div id=\"Live365PlayerPlaylist\"></div><frame src=\"http://{station}/pls/front?\"></html>",
        // the marker right at the start: nothing can precede it
        "\"Live365PlayerPlaylist\"<frame src=\"http://{station}/pls/front?\"></html>",
    };
    startStation();
    for (const QByteArray &body : bad) {
        events.clear();
        messages.clear();
        const int before = station->connectionCount();
        station->config().pages[kWindowPath] = htmlPage(body);
        runChain(2);
        EXPECT_EQ(events, (QList<QByteArray>{"Name member", "Error 8"})) << body.constData();
        EXPECT_EQ(messages, QStringList{QStringLiteral("Could not find playlist information")});
        EXPECT_EQ(station->connectionCount(), before + 2); // no playlist request
        EXPECT_TRUE(reader.frameAddress().isEmpty());
    }
}

TEST_F(Live365Test, AflModeRewritesTheHandleOnlyWhenThePageOffersIt)
{
    struct Case
    {
        bool aflMode;
        bool marker;
        QByteArray handle;
    };
    const QList<Case> cases = {{true, true, "afl%3Aabc"}, {false, true, "abc"}, {true, false, "abc"}};
    startStation();
    for (const Case &c : cases) {
        events.clear();
        station->config().pages[kWindowPath] =
            htmlPage(windowPage("http://{station}/pls/front?handle=abc&membername=", c.marker));
        const int before = station->connectionCount();
        reader.startStation("12345", c.aflMode);
        ASSERT_TRUE(waitEvents(2));
        ASSERT_EQ(station->connectionCount(), before + 3);
        EXPECT_EQ(station->connection(before + 2).target, playlistTarget(c.handle)) << c.aflMode << c.marker;
        EXPECT_EQ(reader.aflMode(), c.aflMode);
    }

    // Every "handle=" of the address is rewritten.
    events.clear();
    station->config().pages[kWindowPath] =
        htmlPage(windowPage("http://{station}/pls/front?handle=1&xhandle=2&membername=", true));
    const int before = station->connectionCount();
    reader.startStation("12345", true);
    ASSERT_TRUE(waitEvents(2));
    EXPECT_EQ(station->connection(before + 2).target,
              kPlaylistPath + "?handle=afl%3A1&xhandle=afl%3A2&membername=member");
}

TEST_F(Live365Test, SecondsLeftReloadThePlaylistWhenTheSongEnds)
{
    config.pages[kPlaylistPath] = htmlPage(playlistPage("Artist One", "Song One", " = 5;"));
    startStation();
    runChain(2);
    EXPECT_EQ(reader.secondsLeft(), 5);
    station->config().pages[kPlaylistPath] = htmlPage(playlistPage("Artist Two", "Song Two", "= 120;"));

    clock.advance(5000);
    settle(250);
    EXPECT_EQ(station->connectionCount(), 3);
    clock.advance(1);
    ASSERT_TRUE(waitEvents(3));
    EXPECT_EQ(events.last(), "Title Artist Two|Song Two");
    EXPECT_EQ(station->connectionCount(), 4);
    EXPECT_EQ(station->connection(3).target, playlistTarget("abc"));
    EXPECT_TRUE(waitUntil([&] { return !station->connection(2).open; })); // the reload closed the old one
    EXPECT_EQ(reader.stationName(), "member");
    EXPECT_EQ(reader.secondsLeft(), 120);

    // The same title again is reported again.
    clock.advance(120001);
    ASSERT_TRUE(waitEvents(4));
    EXPECT_EQ(events.last(), "Title Artist Two|Song Two");
}

TEST_F(Live365Test, PlaylistWithoutUsableSecondsIsReadOnce)
{
    const QList<QByteArray> pages = {
        "<html>artist:\"A\", title:\"T\",</html>", // no seconds marker
        playlistPage("A", "T", "=90;"),            // no space once trimmed
        playlistPage("A", "T", "= soon;"),         // not a number
        playlistPage("A", "T", "= -5;"),           // not above 0
    };
    startStation();
    for (const QByteArray &body : pages) {
        events.clear();
        station->config().pages[kPlaylistPath] = htmlPage(body);
        const int before = station->connectionCount();
        runChain(2);
        EXPECT_EQ(events.last(), "Title A|T");
        EXPECT_LE(reader.secondsLeft(), 0) << body.constData();
        clock.advance(3600 * 1000);
        settle(250);
        EXPECT_EQ(events.size(), 2) << body.constData();
        EXPECT_EQ(station->connectionCount(), before + 3);
    }
}

TEST_F(Live365Test, PlaylistPageThatNeverCompletesIsRequestedAgainAfter6000Ms)
{
    config.pages[kPlaylistPath] = rawPage("HTTP/1.1 200 OK\r\n\r\n<html>artist:\"A\", title:\"T\",");
    startStation();
    reader.startStation("12345");
    ASSERT_TRUE(waitEvents(1));
    ASSERT_TRUE(waitConnections(3));
    settle(100);

    clock.advance(6000);
    settle(250);
    EXPECT_EQ(station->connectionCount(), 3);
    clock.advance(1);
    ASSERT_TRUE(waitConnections(4));
    EXPECT_EQ(station->connection(3).target, playlistTarget("abc"));
    EXPECT_TRUE(waitUntil([&] { return !station->connection(2).open; }));

    // Again and again, without an error.
    clock.advance(6001);
    ASSERT_TRUE(waitConnections(5));
    EXPECT_EQ(events, QList<QByteArray>{"Name member"});
}

TEST_F(Live365Test, NameAndWindowPagesThatNeverCompleteRaise4And7Once)
{
    hostAnswers = false; // even a host that does not stop the reader hears it once
    config.pages[kNamePath] = rawPage("HTTP/1.1 200 OK\r\n\r\n<html>LaunchBroadcast('member')");
    config.pages[kWindowPath] = rawPage("HTTP/1.1 200 OK\r\n\r\n<html><frame src=\"x\" \"Live365PlayerPlaylist\"");
    startStation();

    const auto expectTimeout = [&](int connection, const QByteArray &error) {
        ASSERT_TRUE(waitConnections(connection + 1));
        settle(100);
        clock.advance(15000);
        settle(250);
        EXPECT_TRUE(events.isEmpty());
        clock.advance(1);
        ASSERT_TRUE(waitEvents(1));
        EXPECT_TRUE(waitUntil([&] { return !station->connection(connection).open; }));
        clock.advance(60000);
        settle(250);
        EXPECT_EQ(events, QList<QByteArray>{error});
        EXPECT_TRUE(reader.isIdle());
        events.clear();
    };
    reader.startStation("12345");
    expectTimeout(0, "Error 4");
    EXPECT_EQ(reader.stopWithError(4), QStringLiteral("Timeout reading Live365 name!"));
    reader.setStationName("member");
    expectTimeout(1, "Error 7");
    EXPECT_EQ(reader.stopWithError(7), QStringLiteral("Timeout reading Live365 playlist information"));
}

TEST_F(Live365Test, PageEndCountsAcrossArrivalsAndWhatFollowsIsIgnored)
{
    // The page goes out in two arrivals of equal size (the second padded with blanks).
    const auto twoArrivals = [](const QByteArray &first, QByteArray second) {
        second += QByteArray(first.size() - second.size(), ' ');
        return rawPage(first + second, 2);
    };
    const QByteArray head = "HTTP/1.1 200 OK\r\n\r\n<html>artist:\"A\", title:\"T\",";
    // A whole page, then another one on the same connection.
    config.pages[kPlaylistPath] = twoArrivals(head + "</html>", "<html>artist:\"B\", title:\"U\",</html>");
    startStation();
    runChain(2);
    settle(150);
    EXPECT_EQ(events, (QList<QByteArray>{"Name member", "Title A|T"}));

    // The two arrivals meet inside the page end.
    events.clear();
    station->config().pages[kPlaylistPath] = twoArrivals(head + "</ht", "ml>");
    runChain(2);
    EXPECT_EQ(events, (QList<QByteArray>{"Name member", "Title A|T"}));
}

TEST_F(Live365Test, OverlongPageIsGivenUpAndLoadedAgain)
{
    config.pages[kPlaylistPath] =
        rawPage("HTTP/1.1 200 OK\r\n\r\n<html>" + QByteArray(Live365Reader::kMaxPageBytes + 1000, 'x'), 4);
    startStation();
    reader.startStation("12345");
    ASSERT_TRUE(waitConnections(3));
    // The reader drops the connection instead of collecting without end.
    EXPECT_TRUE(waitUntil([&] { return !station->connection(2).open; }));
    clock.advance(6001);
    ASSERT_TRUE(waitConnections(4));
    EXPECT_EQ(events, QList<QByteArray>{"Name member"});
}

TEST_F(Live365Test, RefusedConnectionsRaiseEachRequestsCode)
{
    startStation();
    const QByteArray refused = "http://127.0.0.1:" + QByteArray::number(unusedPort());

    setLive365Server(QString::fromLatin1(refused));
    reader.startStation("12345");
    ASSERT_TRUE(waitEvents(1));
    settle(50);
    EXPECT_EQ(events, QList<QByteArray>{"Error 3"});
    EXPECT_EQ(messages, QStringList{QStringLiteral("Connection error reading Live365 name!")});

    events.clear();
    messages.clear();
    reader.setStationName("member");
    ASSERT_TRUE(waitEvents(1));
    settle(50);
    EXPECT_EQ(events, QList<QByteArray>{"Error 6"});
    EXPECT_EQ(messages, QStringList{QStringLiteral("Connection error getting Live365 playlist information!")});
    EXPECT_TRUE(reader.stationName().isEmpty());

    events.clear();
    messages.clear();
    setLive365Server(QString::fromLatin1(station->url("")));
    station->config().pages[kWindowPath] = htmlPage(windowPage(refused + "/pls/front?handle=abc&membername="));
    runChain(2);
    settle(50);
    EXPECT_EQ(events, (QList<QByteArray>{"Name member", "Error 1"}));
    EXPECT_EQ(messages, QStringList{QStringLiteral("Connection error to Live365 playlist server!")});
    EXPECT_TRUE(reader.isIdle());
}

TEST_F(Live365Test, ConnectionErrorIsRaisedOnceThenTheWaitEndsAtItsLimit)
{
    // A host that does not stop the reader: one connection error, then the timeout.
    hostAnswers = false;
    const QByteArray refused = "http://127.0.0.1:" + QByteArray::number(unusedPort());
    config.pages[kWindowPath] = htmlPage(windowPage(refused + "/pls/front?handle=abc&membername="));
    startStation();
    reader.setStationName("member");
    ASSERT_TRUE(waitEvents(1));
    settle(50);
    clock.advance(3001);
    ASSERT_TRUE(waitEvents(2));
    settle(50);
    EXPECT_EQ(events, (QList<QByteArray>{"Error 1", "Error 2"}));
    EXPECT_TRUE(reader.isIdle());
}

TEST_F(Live365Test, ConnectionsThatNeverCompleteRaise4Then7Then2)
{
    FullListener full;
    ASSERT_TRUE(full.open());
    startStation();
    clock.setSelfStepping(true);

    setLive365Server(QString::fromLatin1(full.url()));
    reader.startStation("12345");
    EXPECT_TRUE(events.isEmpty()) << "startStation does not wait for the connection";
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, QList<QByteArray>{"Error 4"});
    EXPECT_EQ(clock.totalSlept(), 3001);

    events.clear();
    reader.setStationName("member");
    ASSERT_TRUE(waitEvents(1));
    EXPECT_EQ(events, QList<QByteArray>{"Error 7"});
    EXPECT_EQ(clock.totalSlept(), 2 * 3001);

    events.clear();
    messages.clear();
    setLive365Server(QString::fromLatin1(station->url("")));
    station->config().pages[kWindowPath] = htmlPage(windowPage(full.url() + "/pls/front?handle=abc&membername="));
    reader.startStation("12345");
    ASSERT_TRUE(waitEvents(2)) << events.join(",").constData();
    EXPECT_EQ(events, (QList<QByteArray>{"Name member", "Error 2"}));
    EXPECT_EQ(messages, QStringList{QStringLiteral("Timeout connecting to Live365 playlist server!")});
    EXPECT_TRUE(reader.isIdle());
}

TEST_F(Live365Test, UnusableFrameAddressIsAConnectionError)
{
    config.pages[kWindowPath] = htmlPage(windowPage("http://127.0.0.1:70000/pls/front?m="));
    startStation();
    runChain(2);
    EXPECT_EQ(events, (QList<QByteArray>{"Name member", "Error 1"}));
    EXPECT_EQ(station->connectionCount(), 2);
}

TEST_F(Live365Test, EmptyStationNameStopsEverything)
{
    config.pages[kPlaylistPath] = htmlPage(playlistPage("A", "T", "= 5;"));
    startStation();
    runChain(2);
    ASSERT_FALSE(reader.isIdle());
    ASSERT_FALSE(reader.frameAddress().isEmpty());

    reader.setStationName({});
    EXPECT_TRUE(reader.isIdle());
    EXPECT_TRUE(reader.frameAddress().isEmpty());
    EXPECT_EQ(reader.secondsLeft(), 0);
    EXPECT_TRUE(waitUntil([&] { return station->openConnectionCount() == 0; }));
    clock.advance(3600 * 1000);
    settle(250);
    EXPECT_EQ(events.size(), 2);
    EXPECT_EQ(station->connectionCount(), 3);

    // Also in the middle of a load that has not completed.
    station->config().pages[kPlaylistPath] = rawPage("HTTP/1.1 200 OK\r\n\r\n<html>");
    reader.startStation("12345", true);
    ASSERT_TRUE(waitConnections(6));
    settle(50);
    reader.setStationName({});
    EXPECT_TRUE(reader.isIdle());
    EXPECT_FALSE(reader.aflMode());
    clock.advance(3600 * 1000);
    settle(250);
    EXPECT_EQ(station->connectionCount(), 6);
}

TEST_F(Live365Test, StopWithErrorStopsButKeepsTheStationName)
{
    hostAnswers = false;
    config.pages[kPlaylistPath] = rawPage("HTTP/1.1 200 OK\r\n\r\n<html>");
    startStation();
    reader.setStationName("member");
    ASSERT_TRUE(waitConnections(2));
    settle(50);
    ASSERT_FALSE(reader.isIdle());

    const QList<QPair<qint32, QString>> texts = {
        {1, QStringLiteral("Connection error to Live365 playlist server!")},
        {2, QStringLiteral("Timeout connecting to Live365 playlist server!")},
        {3, QStringLiteral("Connection error reading Live365 name!")},
        {4, QStringLiteral("Timeout reading Live365 name!")},
        {5, QStringLiteral("Could not find broadcast information!")},
        {6, QStringLiteral("Connection error getting Live365 playlist information!")},
        {7, QStringLiteral("Timeout reading Live365 playlist information")},
        {8, QStringLiteral("Could not find playlist information")},
        {99, QStringLiteral("Unknown error connecting to live 365 playlist server!")},
        {0, QString()},
        {9, QString()},
    };
    EXPECT_EQ(reader.stopWithError(texts.first().first), texts.first().second);
    EXPECT_TRUE(reader.isIdle());
    EXPECT_TRUE(reader.frameAddress().isEmpty());
    EXPECT_EQ(reader.stationName(), "member");
    for (const auto &text : texts)
        EXPECT_EQ(reader.stopWithError(text.first), text.second) << text.first;
}

TEST(Live365Extract, ExtractBetweenCases)
{
    const auto extract = &Live365Reader::extractBetween;
    EXPECT_EQ(extract("a [x] b", "[", "]", 1), "x");
    EXPECT_EQ(extract("a [  spaced  ] b", "[", "]", 1), "spaced");
    EXPECT_EQ(extract("a [x] b", "<", "]", 1), "");            // no start marker
    EXPECT_EQ(extract("a [x b ", "[", "]", 1), "x b");         // no end marker: the rest
    EXPECT_EQ(extract("a []  tail ", "[", "]", 1), "]  tail"); // adjacent markers: the rest
    EXPECT_EQ(extract("[1] [2]", "[", "]", 2), "2");           // startPos is 1-based
    EXPECT_EQ(extract("[1] [2]", "[", "]", 1), "1");
    EXPECT_EQ(extract("[1] [2]", "[", "]", 0), "1");
    EXPECT_EQ(extract("[1]", "[", "]", 9), "");
    EXPECT_EQ(extract("\t[ x\t]", "[", "]", 1), "x\t"); // only spaces are trimmed
    EXPECT_EQ(extract("[x]", "[", "", 1), "x]");        // an empty end marker is always adjacent

    // The seconds-left reading of a playlist page.
    const QByteArray a = extract("var gSecondsLeft = 217; next", "gSecondsLeft", ";", 1);
    EXPECT_EQ(a, "= 217");
    EXPECT_EQ(extract(a, " ", ";", 1), "217");
}
