#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include "eventwait.h"

#include <functional>

#include "fakeclock.h"
#include "testenv.h"
#include "teststation/framegenerator.h"
#include "teststation/station.h"
#include "teststation/testcertificates.h"

using teststation::Page;
using teststation::Station;
using teststation::Stream;

namespace
{

// A plain TCP client that keeps every arrival separately.
struct Client
{
    QTcpSocket socket;
    QList<QByteArray> arrivals;
    QByteArray bytes;
    bool closed = false;

    Client(const Station &station, const QByteArray &request)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            const QByteArray piece = socket.readAll();
            arrivals.append(piece);
            bytes += piece;
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        socket.connectToHost(QStringLiteral("127.0.0.1"), station.port());
        socket.write(request);
    }
    bool waitClosed()
    {
        return waitUntil([this] { return closed; });
    }
    QByteArray header() const { return bytes.left(bytes.indexOf("\r\n\r\n") + 4); }
    QByteArray body() const { return bytes.mid(bytes.indexOf("\r\n\r\n") + 4); }
};

QByteArray request(const QByteArray &path, bool metadata, const QByteArray &agent = "WinampMPEG/2.8")
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: " + agent +
           "\r\nAccept: */*\r\nIcy-MetaData:" + (metadata ? "1" : "0") + "\r\nConnection: close\r\n\r\n";
}

struct Demuxed
{
    QByteArray audio;
    QList<teststation::TitleMark> titles;
    QList<QByteArray> blocks;
    bool onGrid = true;
};

// Splits a stream body into audio and metadata blocks as a client must.
Demuxed demux(const QByteArray &body, int metaInt)
{
    Demuxed out;
    qsizetype pos = 0;
    while (pos < body.size()) {
        const qsizetype take = qMin<qsizetype>(metaInt, body.size() - pos);
        out.audio += body.mid(pos, take);
        pos += take;
        if (pos >= body.size())
            break;
        const int length = static_cast<uchar>(body.at(pos)) * 16;
        const QByteArray block = body.mid(pos + 1, length);
        if (block.size() != length)
            out.onGrid = false;
        out.blocks.append(block);
        if (length > 0) {
            const qsizetype start = block.indexOf("StreamTitle='") + 13;
            const qsizetype end = block.indexOf("';StreamUrl=");
            out.titles.append({out.audio.size(), block.mid(start, end - start)});
        }
        pos += 1 + length;
    }
    return out;
}

Stream fastStream()
{
    Stream stream;
    stream.pace = Stream::Pace::Fast;
    return stream;
}

} // namespace

TEST(TestStation, MetadataGridAndSentAudioMatchWhatTheClientReceives)
{
    Stream stream = fastStream();
    stream.metaInt = 1000;
    stream.titles = {"Don't Stop", "AC/DC: Back? Yes", "a/b\\c"};
    stream.titleEvery = 2500;
    stream.dropAfter = 10000;
    teststation::Config config;
    config.streams["/stream"] = stream;
    Station station(config);
    ASSERT_TRUE(station.start());

    Client client(station, request("/stream", true));
    ASSERT_TRUE(client.waitClosed());
    const QByteArray header = client.header();
    EXPECT_TRUE(header.startsWith("ICY 200 OK\r\n"));
    EXPECT_TRUE(header.contains("\r\nicy-name:Vorlane Test Station\r\n"));
    EXPECT_TRUE(header.contains("\r\nicy-metaint:1000\r\n"));
    EXPECT_TRUE(header.contains("\r\nicy-br:128\r\nicy-"));

    const Demuxed got = demux(client.body(), 1000);
    EXPECT_TRUE(got.onGrid);
    ASSERT_EQ(got.audio.size(), 10000);
    const teststation::ConnectionRecord &rec = station.connection(0);
    EXPECT_EQ(rec.header, header);
    EXPECT_EQ(rec.audio, got.audio);
    EXPECT_EQ(rec.audioBytes, 10000);
    EXPECT_TRUE(rec.metadata);
    EXPECT_TRUE(rec.dropped);
    EXPECT_FALSE(rec.open);

    // Titles are announced at the first block at or after they fall due, then cycle.
    const QList<std::pair<qint64, QByteArray>> want = {
        {1000, "Don't Stop"}, {3000, "AC/DC: Back? Yes"}, {5000, "a/b\\c"}, {8000, "Don't Stop"}};
    ASSERT_EQ(rec.titles.size(), want.size());
    ASSERT_EQ(got.titles.size(), want.size());
    for (qsizetype i = 0; i < want.size(); ++i) {
        EXPECT_EQ(rec.titles.at(i).audioOffset, want.at(i).first);
        EXPECT_EQ(rec.titles.at(i).title, want.at(i).second);
        EXPECT_EQ(got.titles.at(i).audioOffset, want.at(i).first);
        EXPECT_EQ(got.titles.at(i).title, want.at(i).second);
    }
    // Nine blocks (after 1000 .. 9000 audio bytes); unchanged titles go as empty blocks.
    ASSERT_EQ(got.blocks.size(), 9);
    EXPECT_TRUE(got.blocks.at(1).isEmpty());
    QByteArray first = "StreamTitle='Don't Stop';StreamUrl='';";
    first.append(48 - first.size(), '\0');
    EXPECT_EQ(got.blocks.at(0), first);
}

TEST(TestStation, MetadataOnlyWhenAskedAndNeverIcecastStyle)
{
    teststation::Config config;
    Stream stream = fastStream();
    stream.titles = {"Only"};
    stream.dropAfter = 30000;
    config.streams["/plain"] = stream;
    stream.icecastStyle = true;
    stream.status = "HTTP/1.0 200 OK";
    config.streams["/ice"] = stream;
    Station station(config);
    ASSERT_TRUE(station.start());

    Client plain(station, request("/plain", false));
    Client ice(station, request("/ice", true));
    ASSERT_TRUE(plain.waitClosed());
    ASSERT_TRUE(ice.waitClosed());

    EXPECT_FALSE(plain.header().contains("icy-metaint"));
    EXPECT_EQ(plain.body(), station.connection(0).audio);
    EXPECT_TRUE(station.connection(0).titles.isEmpty());

    EXPECT_TRUE(ice.header().startsWith("HTTP/1.0 200 OK\r\n"));
    EXPECT_TRUE(ice.header().contains("icy-name:Vorlane Test Station"));
    EXPECT_FALSE(ice.header().contains("icy-metaint"));
    EXPECT_TRUE(station.connection(1).askedForMetadata);
    EXPECT_FALSE(station.connection(1).metadata);
    EXPECT_EQ(ice.body().size(), 30000);
}

TEST(TestStation, RealTimePaceFollowsItsClock)
{
    FakeClock clock;
    teststation::Config config;
    config.clock = &clock;
    config.streams["/stream"] = Stream(); // 128 kbit/s: 16000 bytes a second
    Station station(config);
    ASSERT_TRUE(station.start());

    Client client(station, request("/stream", false));
    ASSERT_TRUE(waitUntil([&] { return client.bytes.contains("\r\n\r\n"); }));
    settle(60);
    EXPECT_EQ(station.connection(0).audioBytes, 0);
    clock.advance(1000);
    ASSERT_TRUE(waitUntil([&] { return client.body().size() >= 16000; }));
    settle(60);
    EXPECT_EQ(client.body().size(), 16000);
    clock.advance(500);
    ASSERT_TRUE(waitUntil([&] { return client.body().size() >= 24000; }));
    EXPECT_EQ(station.connection(0).audio, client.body());
}

TEST(TestStation, RefusalsRedirectsAndBrowserPage)
{
    teststation::Config config;
    config.streams["/stream"] = fastStream();
    config.pages["/moved"] = Page::redirect("http://{station}/stream");
    Station station(config);
    ASSERT_TRUE(station.start());

    Client browser(station, request("/stream", false, "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"));
    Client moved(station, request("/moved", true));
    Client missing(station, request("/nowhere", true));
    ASSERT_TRUE(browser.waitClosed());
    ASSERT_TRUE(moved.waitClosed());
    ASSERT_TRUE(missing.waitClosed());
    EXPECT_TRUE(browser.bytes.contains("SHOUTCast Server"));
    EXPECT_EQ(moved.bytes, "HTTP/1.0 302 Found\r\nLocation: http://" + station.hostPort() + "/stream\r\n\r\n");
    EXPECT_EQ(missing.bytes, "HTTP/1.0 404 Not Found\r\n\r\n");

    station.config().everyRequest = Page::statusOnly("ICY 400 Server Full");
    Client full(station, request("/stream", true));
    ASSERT_TRUE(full.waitClosed());
    EXPECT_EQ(full.bytes, "ICY 400 Server Full\r\n\r\n");
    EXPECT_EQ(station.connection(3).target, "/stream");
}

TEST(TestStation, SplitHeaderStallAndDrop)
{
    teststation::Config config;
    Stream stream = fastStream();
    stream.headerPieces = 3;
    stream.pieceDelayMs = 80; // long enough to arrive separately on a busy machine
    stream.stallAfter = 5000;
    config.streams["/stall"] = stream;
    stream = fastStream();
    stream.dropAfter = 7000;
    config.streams["/drop"] = stream;
    Station station(config);
    ASSERT_TRUE(station.start());

    Client stalled(station, request("/stall", false));
    Client dropped(station, request("/drop", false));
    ASSERT_TRUE(waitUntil([&] { return stalled.body().size() >= 5000 && stalled.bytes.contains("\r\n\r\n"); }));
    ASSERT_TRUE(dropped.waitClosed());
    settle(100);
    EXPECT_FALSE(stalled.closed);
    EXPECT_EQ(stalled.body().size(), 5000);
    EXPECT_TRUE(station.connection(0).stalled);
    // The header came in three separate arrivals before any audio.
    const QByteArray header = station.connection(0).header;
    ASSERT_GE(stalled.arrivals.size(), 3);
    EXPECT_LT(stalled.arrivals.at(0).size(), header.size());
    EXPECT_FALSE(stalled.arrivals.at(1).contains("\r\n\r\n"));
    EXPECT_EQ(dropped.body().size(), 7000);
    EXPECT_TRUE(station.connection(1).dropped);
}

TEST(TestStation, PagesChunkedWithLengthInPiecesAndPlaceholders)
{
    teststation::Config config;
    Page chunked = Page::pls({"http://{station}/a", "http://{station}/b"}, {"One"});
    chunked.framing = Page::Framing::Chunked;
    chunked.chunkSize = 16;
    chunked.headerSeparately = true;
    chunked.pieces = 3;
    chunked.pieceDelayMs = 80;
    config.pages["/chunked.pls"] = chunked;
    Page open = Page::m3u({"http://{station}/a"});
    open.keepOpen = true;
    config.pages["/open.m3u"] = open;
    Station station(config);
    ASSERT_TRUE(station.start());

    Client a(station, request("/chunked.pls", false));
    Client b(station, request("/open.m3u", false));
    ASSERT_TRUE(a.waitClosed());
    EXPECT_GE(a.arrivals.size(), 3);
    EXPECT_TRUE(a.header().contains("Transfer-Encoding: chunked\r\n"));
    // Undo the chunking by hand.
    QByteArray body;
    QByteArray rest = a.body();
    for (;;) {
        const qsizetype lineEnd = rest.indexOf("\r\n");
        const int size = rest.left(lineEnd).toInt(nullptr, 16);
        if (size == 0)
            break;
        body += rest.mid(lineEnd + 2, size);
        rest = rest.mid(lineEnd + 2 + size + 2);
    }
    const QByteArray host = station.hostPort();
    EXPECT_EQ(body, "[playlist]\r\nNumberOfEntries=2\r\nFile1=http://" + host +
                        "/a\r\nTitle1=One\r\nLength1=-1\r\nFile2=http://" + host + "/b\r\nLength2=-1\r\nVersion=2\r\n");

    ASSERT_TRUE(waitUntil([&] { return b.bytes.endsWith("/a\r\n"); }));
    settle(50);
    EXPECT_FALSE(b.closed);
    EXPECT_TRUE(b.header().contains(QByteArray("Content-Length: " + QByteArray::number(b.body().size()) + "\r\n")));
}

TEST(TestStation, Mp3FileStreamsItsFramesInALoop)
{
    teststation::FrameGenerator generator(128, true, 9);
    const QByteArray frames = generator.read(4180 * 3); // whole frames: 30 of them
    QByteArray id3v2("ID3\x03\x00\x00\x00\x00\x00\x05", 10);
    const QByteArray file = id3v2 + "abcde" + frames + "TAG" + QByteArray(125, 'x');
    const QString path = testenv::writeFile(testenv::home() + QStringLiteral("/song.mp3"), file);

    teststation::Config config;
    Stream stream = fastStream();
    stream.mp3File = path;
    stream.dropAfter = frames.size() * 2 + 100;
    config.streams["/song"] = stream;
    Station station(config);
    ASSERT_TRUE(station.start());
    Client client(station, request("/song", false));
    ASSERT_TRUE(client.waitClosed());
    EXPECT_EQ(client.body(), frames + frames + frames.left(100));

    stream.mp3File = testenv::home() + QStringLiteral("/missing.mp3");
    teststation::Config brokenConfig;
    brokenConfig.streams["/x"] = stream;
    Station broken(brokenConfig);
    QString error;
    EXPECT_FALSE(broken.start(&error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(TestStation, JsonRepliesAndEveryRequestLineRecorded)
{
    teststation::Config config;
    config.pages["/json/stations/search"] = Page::json(R"([{"name":"One","url":"http://{station}/stream"}])");
    Page tags = Page::json("[]");
    tags.keepOpen = true;
    config.pages["/json/tags"] = tags;
    Station station(config);
    ASSERT_TRUE(station.start());

    Client search(station, "GET /json/stations/search?name=Jazz%20FM&limit=5&hidebroken=true HTTP/1.1\r\n"
                           "Host: 127.0.0.1\r\nAccept: application/json\r\n\r\n");
    ASSERT_TRUE(search.waitClosed());
    const QByteArray body = R"([{"name":"One","url":"http://)" + station.hostPort() + R"(/stream"}])";
    EXPECT_EQ(search.header(), "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                                   QByteArray::number(body.size()) + "\r\n\r\n");
    EXPECT_EQ(search.body(), body);

    // A connection kept open carries further requests, a body (under
    // Content-Length) not taken for the next one; all arrive at once here.
    Client kept(
        station,
        "POST /json/tags HTTP/1.1\r\nContent-Length: 9\r\n\r\nname=x&y=GET /json/tags?order=name HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(waitUntil([&] { return kept.bytes.count("application/json") == 2; }));
    Client missing(station, "GET /json/none?q=%27a%27 HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(missing.waitClosed());
    EXPECT_FALSE(kept.closed);

    const QList<QByteArray> lines = {"GET /json/stations/search?name=Jazz%20FM&limit=5&hidebroken=true HTTP/1.1",
                                     "POST /json/tags HTTP/1.1", "GET /json/tags?order=name HTTP/1.1",
                                     "GET /json/none?q=%27a%27 HTTP/1.0"};
    EXPECT_EQ(station.requestLines(), lines);
    const QList<teststation::RequestRecord> &requests = station.requests();
    ASSERT_EQ(requests.size(), 4);
    EXPECT_EQ(requests.at(1).method, "POST");
    EXPECT_EQ(requests.at(1).body, "name=x&y=");
    EXPECT_EQ(requests.at(1).connection, requests.at(2).connection);
    EXPECT_EQ(requests.at(2).target, "/json/tags?order=name");
    EXPECT_EQ(requests.at(3).connection, 2);
}

namespace
{

// A TLS client of the station that trusts the given CAs (none: the system's).
struct TlsClient
{
    QSslSocket socket;
    QByteArray bytes;
    QList<QSslError> errors;
    bool ended = false;

    TlsClient(const Station &station, const QList<QSslCertificate> &trusted, const QString &peerName)
    {
        if (!trusted.isEmpty()) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setCaCertificates(trusted);
            socket.setSslConfiguration(tls);
        }
        QObject::connect(&socket, &QSslSocket::readyRead, [this] { bytes += socket.readAll(); });
        QObject::connect(&socket, &QSslSocket::sslErrors, [this](const QList<QSslError> &list) { errors += list; });
        QObject::connect(&socket, &QSslSocket::disconnected, [this] { ended = true; });
        QObject::connect(&socket, &QSslSocket::errorOccurred, [this] { ended = true; });
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), station.port(), peerName);
        socket.write(request("/stream", true));
    }
    bool hasError(QSslError::SslError error) const
    {
        return std::any_of(errors.begin(), errors.end(), [error](const QSslError &e) { return e.error() == error; });
    }
};

} // namespace

TEST(TestStation, TlsStreamForClientsThatTrustTheTestCa)
{
    teststation::TestCertificates certificates;
    certificates.make();
    ASSERT_TRUE(waitUntil([&] { return certificates.isDone(); }));
    ASSERT_TRUE(certificates.isValid()) << certificates.errorString().toStdString();

    teststation::Config config;
    Stream stream = fastStream();
    stream.titles = {"Secure Song"};
    stream.dropAfter = 20000;
    config.streams["/stream"] = stream;
    config.tls = certificates.tls();
    Station station(config);
    QString error;
    ASSERT_TRUE(station.start(&error)) << error.toStdString();
    EXPECT_TRUE(station.url("/stream").startsWith("https://127.0.0.1:"));
    ASSERT_EQ(station.caCertificates().size(), 1);
    EXPECT_EQ(station.caCertificates(), certificates.caCertificates());

    // The server certificate names both the address and localhost.
    TlsClient byAddress(station, station.caCertificates(), QString());
    TlsClient byName(station, station.caCertificates(), QStringLiteral("localhost"));
    ASSERT_TRUE(waitUntil([&] { return byAddress.ended && byName.ended; }));
    for (const TlsClient *client : {&byAddress, &byName}) {
        EXPECT_TRUE(client->errors.isEmpty());
        EXPECT_TRUE(client->bytes.startsWith("ICY 200 OK\r\n"));
        const QByteArray body = client->bytes.mid(client->bytes.indexOf("\r\n\r\n") + 4);
        // Both connections send the same audio (same seed, from the first byte).
        EXPECT_EQ(demux(body, stream.metaInt).audio, station.connection(0).audio);
    }

    // Without the CA, or under another name, verification fails and nothing is served.
    TlsClient stranger(station, {}, QString());
    TlsClient impostor(station, station.caCertificates(), QStringLiteral("radio.example.org"));
    ASSERT_TRUE(waitUntil([&] { return stranger.ended && impostor.ended; }));
    EXPECT_FALSE(stranger.errors.isEmpty());
    EXPECT_FALSE(stranger.hasError(QSslError::HostNameMismatch));
    EXPECT_TRUE(impostor.hasError(QSslError::HostNameMismatch));
    EXPECT_TRUE(stranger.bytes.isEmpty());
    EXPECT_TRUE(impostor.bytes.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return station.failedHandshakeCount() == 2; }));
    EXPECT_EQ(station.connectionCount(), 2);
}
