// The test station as a source client of a real Icecast server (icecast2):
// what it sends must reach listeners, titles set through the admin interface
// must appear in-band, and the server's limits and refusals must show.
#include <QTcpSocket>

#include <gtest/gtest.h>

#include "eventwait.h"
#include "icecastserver.h"
#include "teststation/sourceclient.h"

using teststation::SourceClient;
using teststation::SourceConfig;

namespace
{

// A listener of one mount that asks for in-band titles.
struct Listener
{
    QTcpSocket socket;
    QByteArray bytes;
    bool closed = false;

    Listener(const IcecastServer &icecast, const QByteArray &mount)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { bytes += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        socket.connectToHost(QStringLiteral("127.0.0.1"), icecast.port());
        socket.write("GET " + mount + " HTTP/1.0\r\nUser-Agent: WinampMPEG/5.0\r\nIcy-MetaData:1\r\n\r\n");
    }
    bool hasHeader() const { return bytes.contains("\r\n\r\n"); }
    QByteArray header() const { return bytes.left(bytes.indexOf("\r\n\r\n") + 4); }
    QByteArray body() const { return bytes.mid(bytes.indexOf("\r\n\r\n") + 4); }
    int metaInt() const
    {
        const QByteArray head = header().toLower();
        const qsizetype at = head.indexOf("icy-metaint:");
        return at < 0 ? 0 : head.mid(at + 12, head.indexOf('\r', at) - at - 12).trimmed().toInt();
    }
    // The audio without the metadata blocks, and the non-empty blocks.
    std::pair<QByteArray, QList<QByteArray>> demux() const
    {
        const QByteArray data = body();
        const int every = metaInt();
        QByteArray audio;
        QList<QByteArray> blocks;
        qsizetype pos = 0;
        while (every > 0 && pos < data.size()) {
            audio += data.mid(pos, every);
            pos += every;
            if (pos >= data.size())
                break;
            const int length = static_cast<uchar>(data.at(pos)) * 16;
            if (pos + 1 + length > data.size())
                break;
            if (length > 0)
                blocks.append(data.mid(pos + 1, length));
            pos += 1 + length;
        }
        return {audio, blocks};
    }
    bool heard(const QByteArray &title) const
    {
        const QByteArray wanted = "StreamTitle='" + title + "';";
        const QList<QByteArray> blocks = demux().second;
        return std::any_of(blocks.begin(), blocks.end(),
                           [&wanted](const QByteArray &block) { return block.startsWith(wanted); });
    }
};

SourceConfig sourceFor(const IcecastServer &icecast, const QByteArray &mount)
{
    SourceConfig config;
    config.port = icecast.port();
    config.mount = mount;
    config.password = icecast.options().sourcePassword;
    config.adminUser = icecast.options().adminUser;
    config.adminPassword = icecast.options().adminPassword;
    config.stream.name = "Vorlane Source Test";
    config.stream.burstBytes = 32000; // listeners get audio at once
    return config;
}

class Icecast : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!IcecastServer::isInstalled())
            GTEST_SKIP() << IcecastServer::program().toStdString() << " is not installed";
    }
    void launch(const IcecastServer::Options &options)
    {
        icecast = std::make_unique<IcecastServer>(options);
        ASSERT_TRUE(icecast->start()) << icecast->errorString().toStdString();
        ASSERT_TRUE(icecast->waitUntilReady()) << icecast->errorString().toStdString();
    }
    std::unique_ptr<IcecastServer> icecast;
};

} // namespace

TEST_F(Icecast, ListenerGetsTheSourceAudioAndAdminTitlesInBand)
{
    IcecastServer::Options options;
    options.mounts = {{"/live", 1}};
    launch(options);

    SourceClient source(sourceFor(*icecast, "/live"));
    source.start();
    ASSERT_TRUE(waitUntil([&] { return source.isStreaming() || source.state() == SourceClient::State::Idle; }));
    ASSERT_TRUE(source.isStreaming()) << source.errorString().toStdString();
    EXPECT_TRUE(source.session(0).request.startsWith("PUT /live HTTP/1.1\r\n"));

    Listener listener(*icecast, "/live");
    ASSERT_TRUE(waitUntil([&] { return listener.body().size() > 20000; }));
    EXPECT_TRUE(listener.header().startsWith("HTTP/1.0 200 OK\r\n")) << listener.header().constData();
    EXPECT_TRUE(listener.header().contains("icy-name:Vorlane Source Test\r\n"));
    ASSERT_GT(listener.metaInt(), 0);

    // Titles are bytes: quotes, slashes and 8-bit characters go through unchanged.
    const QByteArray title = "Motörhead's AC/DC: \xE9t\xE9 & more?";
    source.setTitle(title);
    ASSERT_TRUE(waitUntil([&] { return source.titleUpdates().value(0).status != 0; }));
    EXPECT_EQ(source.titleUpdates().at(0).status, 200) << source.titleUpdates().at(0).reply.constData();
    EXPECT_TRUE(source.titleUpdates().at(0).reply.contains("Metadata update successful"));
    ASSERT_TRUE(waitUntil([&] { return listener.heard(title); }, 15000));

    // What the listener heard is one unbroken piece of what the source sent.
    const QByteArray heard = listener.demux().first;
    const QByteArray &sent = source.session(0).audio;
    const qsizetype at = sent.indexOf(heard.left(4096));
    ASSERT_GE(at, 0);
    EXPECT_EQ(heard, sent.mid(at, heard.size()));

    // The mount takes one listener.
    Listener second(*icecast, "/live");
    ASSERT_TRUE(waitUntil([&] { return second.closed; }));
    EXPECT_TRUE(second.bytes.startsWith("HTTP/1.0 403 ")) << second.bytes.constData();
    EXPECT_FALSE(listener.closed);
}

TEST_F(Icecast, SourceStopsComesBackAndIsRefused)
{
    IcecastServer::Options options;
    options.mounts = {{"/live", -1}};
    launch(options);

    // Configured titles go to the admin interface as they fall due.
    SourceConfig config = sourceFor(*icecast, "/live");
    config.stream.titles = {"First Song", "Second Song"};
    config.stream.titleEvery = 40000; // the second one half a second after the burst
    SourceClient source(config);
    source.start();
    ASSERT_TRUE(waitUntil([&] { return source.titleUpdates().size() >= 2; }));
    ASSERT_TRUE(waitUntil([&] { return source.titleUpdates().at(1).status != 0; }));
    EXPECT_EQ(source.titleUpdates().at(0).title, "First Song");
    EXPECT_EQ(source.titleUpdates().at(0).audioOffset, 0); // on acceptance, before any audio
    EXPECT_EQ(source.titleUpdates().at(1).title, "Second Song");
    EXPECT_GE(source.titleUpdates().at(1).audioOffset, 40000);
    EXPECT_EQ(source.titleUpdates().at(0).status, 200);
    EXPECT_EQ(source.titleUpdates().at(1).status, 200);

    // A second source for a mount in use, and one with a wrong password, are refused.
    SourceClient intruder(sourceFor(*icecast, "/live"));
    SourceConfig wrong = sourceFor(*icecast, "/other");
    wrong.password = "guess";
    SourceClient guesser(wrong);
    intruder.start();
    guesser.start();
    ASSERT_TRUE(waitUntil([&] { return intruder.sessionCount() == 1 && !intruder.session(0).open; }));
    ASSERT_TRUE(waitUntil([&] { return guesser.sessionCount() == 1 && !guesser.session(0).open; }));
    EXPECT_EQ(intruder.session(0).status, 403) << intruder.session(0).response.constData();
    EXPECT_EQ(guesser.session(0).status, 401) << guesser.session(0).response.constData();
    EXPECT_FALSE(guesser.session(0).accepted);
    EXPECT_TRUE(guesser.errorString().contains(QStringLiteral("401")));
    EXPECT_TRUE(source.isStreaming());

    // Stopping the source takes the mount away, listeners with it.
    Listener before(*icecast, "/live");
    ASSERT_TRUE(waitUntil([&] { return before.body().size() > 1000; }));
    source.stop();
    ASSERT_TRUE(waitUntil([&] { return before.closed; }));
    EXPECT_FALSE(source.session(0).closedByServer);
    Listener gone(*icecast, "/live");
    ASSERT_TRUE(waitUntil([&] { return gone.closed; }));
    EXPECT_TRUE(gone.bytes.startsWith("HTTP/1.0 404 ")) << gone.bytes.constData();

    // ... and it comes back, this time through the legacy SOURCE request.
    source.config().method = SourceConfig::Method::Source;
    source.start();
    ASSERT_TRUE(waitUntil([&] { return source.isStreaming() || source.state() == SourceClient::State::Idle; }));
    ASSERT_TRUE(source.isStreaming()) << source.errorString().toStdString();
    EXPECT_TRUE(source.session(1).request.startsWith("SOURCE /live HTTP/1.0\r\n"));
    Listener after(*icecast, "/live");
    ASSERT_TRUE(waitUntil([&] { return after.body().size() > 1000; }));
    EXPECT_TRUE(after.bytes.startsWith("HTTP/1.0 200 OK\r\n"));

    // A server that goes away ends the source's session.
    icecast->stop();
    ASSERT_TRUE(waitUntil([&] { return !source.isStreaming(); }));
    EXPECT_TRUE(source.session(1).closedByServer);
}
