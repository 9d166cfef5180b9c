// The directory client against a fake directory served by the test station.
#include <QNetworkAccessManager>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <optional>

#include "eventwait.h"
#include "sources/stationdirectory.h"
#include "teststation/station.h"

namespace
{

const QByteArray kResults = R"([
  {"stationuuid":"u-1","name":" Jazz Radio ","country":"France","codec":"MP3","bitrate":128,
   "tags":"jazz,swing","votes":900,"url":"http://jazz.example/listen.pls"},
  {"stationuuid":"u-2","name":"No Address","url":""},
  {"stationuuid":"u-3","name":"Café Lounge","country":"Deutschland","codec":"AAC+","bitrate":64,
   "tags":"lounge","votes":12,"url":"https://lounge.example/stream"}
])";

quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

struct Outcome
{
    std::optional<QList<DirectoryStation>> stations;
    QString failure;
};

Outcome searchOnce(StationDirectory &directory, const DirectoryQuery &query)
{
    Outcome outcome;
    QObject context;
    QObject::connect(&directory, &StationDirectory::resultsReady, &context,
                     [&](const QList<DirectoryStation> &stations) { outcome.stations = stations; });
    QObject::connect(&directory, &StationDirectory::failed, &context,
                     [&](const QString &message) { outcome.failure = message; });
    directory.search(query);
    EXPECT_TRUE(waitUntil([&] { return outcome.stations.has_value() || !outcome.failure.isEmpty(); }));
    return outcome;
}

} // namespace

TEST(StationDirectory, QueriesAreEscapedAndFollowTheSearchRules)
{
    const QUrl server(QStringLiteral("https://de1.api.example"));
    DirectoryQuery keyword{DirectoryQuery::Kind::Keyword, QStringLiteral("World & Co/Ö"), 24, 2};
    EXPECT_EQ(StationDirectory::searchUrl(server, keyword).toString(QUrl::FullyEncoded),
              QStringLiteral("https://de1.api.example/json/stations/search?name=World%20%26%20Co%2F%C3%96"
                             "&hidebroken=true&limit=20&offset=40&order=votes&reverse=true&bitrateMax=24"));
    DirectoryQuery genre{DirectoryQuery::Kind::Genre, QStringLiteral("- Drum and Bass"), 9999, 0};
    EXPECT_EQ(StationDirectory::searchUrl(server, genre).query(QUrl::FullyEncoded),
              QStringLiteral("tag=Drum%20and%20Bass&hidebroken=true&limit=20&offset=0&order=votes&reverse=true"));
    genre.text = QStringLiteral("R&B/Soul");
    EXPECT_TRUE(StationDirectory::searchUrl(server, genre)
                    .query(QUrl::FullyEncoded)
                    .startsWith(QStringLiteral("tag=R%26B%2FSoul&")));

    bool ok = false;
    const QList<DirectoryStation> stations = StationDirectory::parseStations(kResults, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(stations.size(), 2) << "an entry without an address is left out";
    EXPECT_EQ(stations[0].name, QStringLiteral("Jazz Radio"));
    EXPECT_EQ(stations[0].bitRate, 128);
    EXPECT_EQ(stations[1].name, QStringLiteral("Café Lounge"));
    EXPECT_EQ(stations[1].url, "https://lounge.example/stream");
    StationDirectory::parseStations("<html>busy</html>", &ok);
    EXPECT_FALSE(ok);

    // What the user typed goes out as typed: "%25" is not decoded first.
    keyword.text = QStringLiteral("50%25 off");
    const QUrl escaped = StationDirectory::searchUrl(server, keyword);
    EXPECT_TRUE(escaped.query(QUrl::FullyEncoded).startsWith(QStringLiteral("name=50%2525%20off&")));
    EXPECT_TRUE(escaped.query(QUrl::FullyDecoded).startsWith(QStringLiteral("name=50%25 off&")));

    // A server that sends more than a page gets one page.
    QByteArray many = "[";
    for (int i = 0; i < 50; ++i)
        many += QByteArray(i ? "," : "") + R"({"name":"S","url":"http://s.example/x"})";
    EXPECT_EQ(StationDirectory::parseStations(many + "]", &ok).size(), StationDirectory::kPageSize);
}

TEST(StationDirectory, ServersFromTheListAreTriedUntilOneAnswersAndClicksAreCounted)
{
    teststation::Config config;
    config.pages.insert("/json/stations/search", teststation::Page::json(kResults));
    config.pages.insert("/json/url/u-1", teststation::Page::json(R"({"ok":true})"));
    teststation::Station good(config);
    ASSERT_TRUE(good.start());
    // A server that answers with a broken page, and one where nobody listens.
    teststation::Config brokenConfig;
    brokenConfig.pages.insert("/json/stations/search", teststation::Page::json("[{\"name\":"));
    teststation::Station broken(brokenConfig);
    ASSERT_TRUE(broken.start());
    teststation::Config listConfig;
    listConfig.pages.insert(
        "/json/servers",
        teststation::Page::json("[{\"name\":\"" + broken.hostPort() + "\"},{\"name\":\"" + good.hostPort() +
                                "\"},{\"name\":\"127.0.0.1:" + QByteArray::number(closedPort()) + "\"}]"));
    teststation::Station list(listConfig);
    ASSERT_TRUE(list.start());

    QNetworkAccessManager network;
    StationDirectory directory(network);
    directory.setServerListAddress(QUrl(QString::fromLatin1(list.url("/json/servers"))));
    const Outcome outcome = searchOnce(directory, {DirectoryQuery::Kind::Keyword, QStringLiteral("jazz"), 128, 0});
    ASSERT_TRUE(outcome.stations.has_value()) << qPrintable(outcome.failure);
    EXPECT_EQ(outcome.stations->size(), 2);
    ASSERT_EQ(good.requests().size(), 1);
    EXPECT_EQ(
        good.requests()[0].target,
        "/json/stations/search?name=jazz&hidebroken=true&limit=20&offset=0&order=votes&reverse=true&bitrateMax=128");
    EXPECT_TRUE(good.requests()[0].header.contains("User-Agent: Vorlane/"));

    directory.countClick(QStringLiteral("u-1"));
    ASSERT_TRUE(waitUntil([&] { return good.requests().size() == 2; }));
    EXPECT_EQ(good.requests()[1].target, "/json/url/u-1") << "the server that answered is asked first";

    // Entries that are more than a host name (and port) are never asked.
    listConfig.pages.insert("/json/junk",
                            teststation::Page::json("[{\"name\":\"" + good.url("") + "\"},{\"name\":\"" +
                                                    good.hostPort() + "/x\"},{\"name\":\"a b\"},{\"name\":\":80\"}]"));
    teststation::Station junkList(listConfig);
    ASSERT_TRUE(junkList.start());
    StationDirectory junk(network);
    junk.setServerListAddress(QUrl(QString::fromLatin1(junkList.url("/json/junk"))));
    const Outcome none = searchOnce(junk, {DirectoryQuery::Kind::Keyword, QStringLiteral("jazz"), 128, 0});
    EXPECT_EQ(none.failure, QStringLiteral("The station directory cannot be reached: no servers listed"));
    EXPECT_EQ(good.requests().size(), 2);
}

TEST(StationDirectory, RepliesLargerThanAFewMegabytesAreCutOffAsFailures)
{
    teststation::Config config;
    QByteArray huge = "[";
    const QByteArray entry = R"({"name":"S","url":"http://s.example/x"},)";
    while (huge.size() < 6 * 1024 * 1024)
        huge += entry;
    huge += entry.chopped(1) + "]";
    config.pages.insert("/json/stations/search", teststation::Page::json(huge));
    teststation::Station station(config);
    ASSERT_TRUE(station.start());
    QNetworkAccessManager network;
    StationDirectory directory(network);
    directory.setServer(QUrl(QString::fromLatin1(station.url(""))));
    const Outcome outcome = searchOnce(directory, {DirectoryQuery::Kind::Keyword, QStringLiteral("s"), 0, 0});
    EXPECT_FALSE(outcome.stations.has_value());
    EXPECT_EQ(outcome.failure, QStringLiteral("The station directory's answer was too large. Please try again later."));
}

TEST(StationDirectory, NoServerThatAnswersIsAMessageNotAHang)
{
    QNetworkAccessManager network;
    StationDirectory directory(network);
    directory.setServer(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(closedPort())));
    Outcome outcome = searchOnce(directory, {DirectoryQuery::Kind::Genre, QStringLiteral("Jazz"), 24, 0});
    EXPECT_FALSE(outcome.stations.has_value());
    EXPECT_EQ(outcome.failure, QStringLiteral("The station directory did not answer. Please try again later."));

    StationDirectory unlisted(network);
    unlisted.setServerListAddress(QUrl(QStringLiteral("http://127.0.0.1:%1/json/servers").arg(closedPort())));
    outcome = searchOnce(unlisted, {DirectoryQuery::Kind::Genre, QStringLiteral("Jazz"), 24, 0});
    EXPECT_TRUE(outcome.failure.startsWith(QStringLiteral("The station directory cannot be reached: ")));
}
