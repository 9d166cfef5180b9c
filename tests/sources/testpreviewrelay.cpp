#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

#include "eventwait.h"
#include "soundtest.h"
#include "sources/mp3player.h"
#include "sources/previewrelay.h"
#include "testdevices.h"
#include "testenv.h"

namespace
{

// A raw local client speaking to the relay like a player would.
class RawClient
{
public:
    RawClient()
    {
        QObject::connect(&socket, &QTcpSocket::connected, &socket, [this] { wasConnected = true; });
    }
    bool connect(const PreviewRelay &relay)
    {
        socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(QUrl(relay.address()).port()));
        return waitUntil([this] { return socket.state() == QAbstractSocket::ConnectedState; });
    }
    // Connects and asks for the stream as the external player would.
    bool request(const PreviewRelay &relay)
    {
        if (!connect(relay))
            return false;
        socket.write("GET " + QUrl(relay.address()).path().toLatin1() + " HTTP/1.0\r\nIcy-MetaData:0\r\n\r\n");
        return waitForBytes(10);
    }
    QByteArray &read()
    {
        received += socket.readAll();
        return received;
    }
    bool waitForBytes(qsizetype count)
    {
        return waitUntil([&] { return read().size() >= count; });
    }
    bool waitForClose()
    {
        return waitUntil([this] { return socket.state() == QAbstractSocket::UnconnectedState; });
    }

    QTcpSocket socket;
    QByteArray received;
    bool wasConnected = false;
};

QByteArray numberedBlock(int index, qsizetype size)
{
    return QByteArray(size, static_cast<char>('A' + index % 26));
}

} // namespace

class RelayTest : public ::testing::Test
{
protected:
    qint64 samplesPlayed() const { return devices.played->framesWritten; }
    bool waitForSamples(qint64 frames)
    {
        return waitUntil([&] { return samplesPlayed() >= frames * Mp3Stream::kSamplesPerFrame; });
    }
    // Collects what the relay asks to tell the user.
    void watch(PreviewRelay &relay)
    {
        QObject::connect(&relay, &PreviewRelay::messageRequested,
                         [this](const QString &text) { messages.append(text); });
    }

    QStringList messages;
    TestDevices devices;
    Mp3Stream mp3;
};

TEST_F(RelayTest, EmbeddedPlayerIsFedEveryPushedByteAndNothingListens)
{
    PreviewRelay relay(devices.audio);
    watch(relay);
    relay.pushAudio(mp3.frames(3)); // not listening: dropped
    relay.startListening();
    EXPECT_TRUE(relay.listening);
    const QByteArray header = "ICY 200 OK\r\nicy-name:Test Radio\r\nicy-br:128\r\n\r\n";
    // Listening may start in the middle of a frame.
    QByteArray pushed = header + mp3.frames(1).mid(150);
    relay.pushAudio(pushed);
    for (int i = 0; i < 50; ++i) {
        const QByteArray frame = mp3.frames(1);
        relay.pushAudio(frame);
        pushed += frame;
        if (i % 8 == 7)
            settle(60);
    }
    ASSERT_TRUE(waitForSamples(50));
    settle(100);
    EXPECT_EQ(samplesPlayed(), 50 * Mp3Stream::kSamplesPerFrame);
    EXPECT_EQ(relay.player()->bytesReceived(), pushed.size());
    EXPECT_EQ(relay.pendingBytes(), 0);
    EXPECT_TRUE(relay.address().isEmpty());
    EXPECT_TRUE(messages.isEmpty());

    // Stop, then start again: the device is let go, and the next audio plays afresh.
    relay.stopListening();
    EXPECT_FALSE(relay.listening);
    EXPECT_EQ(relay.player()->state(), Mp3Player::State::Stopped);
    EXPECT_FALSE(devices.played->open);
    relay.startListening();
    relay.startListening(); // again: changes nothing
    relay.pushAudio(mp3.frames(4));
    ASSERT_TRUE(waitForSamples(54));
    EXPECT_EQ(devices.played->opens, 2);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RelayTest, WithoutSoundOutputThePreviewStopsAndSaysSo)
{
    devices.makeOutput = [] { return std::make_unique<NoSoundDevice>(); };
    PreviewRelay relay(devices.audio);
    watch(relay);
    int failures = 0;
    QObject::connect(&relay, &PreviewRelay::listeningFailed, [&] { ++failures; });
    relay.startListening();
    relay.pushAudio(mp3.frames(12));
    relay.pushAudio(mp3.frames(1)); // the engine checks the flag; the relay ignores it too
    EXPECT_EQ(messages, QStringList{QStringLiteral("No sound output is available: no sound card")});
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(relay.listening);
}

TEST_F(RelayTest, SetVolumeReachesThePlayerAndIsRemembered)
{
    devices.mixer.raw = 32767;
    PreviewRelay relay(devices.audio);
    watch(relay);
    EXPECT_EQ(relay.appliedVolume, 0);
    // Until the engine passes a volume the player is at the 0 appliedVolume reports.
    EXPECT_EQ(relay.player()->leftGain(), 0.0);
    relay.setVolume(50);
    EXPECT_EQ(relay.appliedVolume, 50);
    EXPECT_DOUBLE_EQ(relay.player()->leftGain(), 0.125);
    EXPECT_DOUBLE_EQ(relay.player()->rightGain(), 0.125);
    relay.setVolume(100);
    EXPECT_DOUBLE_EQ(relay.player()->leftGain(), 1.0);
    EXPECT_EQ(relay.appliedVolume, 100);
}

// With an external player the relay serves the stream on a port of its own;
// the "player" here is a script that notes the address it was given.
class ExternalRelayTest : public RelayTest
{
protected:
    void SetUp() override
    {
        argsFile = testenv::home() + QStringLiteral("/player-args-") +
                   QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        QFile::remove(argsFile);
        player = testenv::writeFile(argsFile + QStringLiteral(".sh"),
                                    "#!/bin/sh\necho \"$1\" >> '" + QFile::encodeName(argsFile) + "'\n");
        QFile::setPermissions(player, QFile::ReadOwner | QFile::ExeOwner);
        relay.setExternalPlayer(player);
        watch(relay);
    }
    // The addresses the player was started with, one a start.
    QStringList playerStarts() const
    {
        return QString::fromLatin1(testenv::readFile(argsFile)).split(u'\n', Qt::SkipEmptyParts);
    }
    // Brings the relay to the point where the player was started and a client streams.
    void startStreaming(RawClient &client)
    {
        relay.startListening();
        relay.pushAudio(QByteArray(5000, 'h'));
        ASSERT_TRUE(waitUntil([&] { return !playerStarts().isEmpty(); }));
        ASSERT_TRUE(client.request(relay));
    }

    QString argsFile;
    QString player;
    PreviewRelay relay{devices.audio};
};

TEST_F(ExternalRelayTest, ListensOnceMoreThan4000BytesWaitAndHandsTheAddressToThePlayer)
{
    relay.startListening();
    relay.pushAudio(QByteArray(4000, 'x'));
    settle(250);
    EXPECT_TRUE(relay.address().isEmpty());
    EXPECT_EQ(relay.pendingBytes(), 4000);
    EXPECT_TRUE(playerStarts().isEmpty());

    relay.pushAudio("y");
    ASSERT_TRUE(waitUntil([&] { return !playerStarts().isEmpty(); }));
    EXPECT_EQ(playerStarts(), QStringList{relay.address()});
    const QUrl address(relay.address());
    EXPECT_EQ(address.host(), QStringLiteral("127.0.0.1"));
    EXPECT_GT(address.port(), 0);
    EXPECT_TRUE(address.path().endsWith(QStringLiteral("/streamer.mp3")));
    EXPECT_GE(address.path().size(), 32);
    // The embedded player stays silent.
    EXPECT_EQ(relay.player()->state(), Mp3Player::State::Stopped);

    // A second relay listens beside it, on another port and path.
    PreviewRelay second(devices.audio);
    second.setExternalPlayer(player);
    second.startListening();
    second.pushAudio(QByteArray(5000, 'z'));
    ASSERT_TRUE(waitUntil([&] { return playerStarts().size() == 2; }));
    EXPECT_NE(QUrl(second.address()).port(), address.port());
    EXPECT_NE(QUrl(second.address()).path(), address.path());
    EXPECT_TRUE(second.listening);
    EXPECT_TRUE(messages.isEmpty());

    relay.stopListening();
    EXPECT_TRUE(relay.address().isEmpty());
    EXPECT_EQ(relay.pendingBytes(), 0);
}

TEST_F(ExternalRelayTest, ClientGetsTheBareReplyThenRawBytesAndMayComeBack)
{
    {
        RawClient client;
        startStreaming(client);
        settle(150);
        EXPECT_EQ(client.read(), "ICY 200 OK" + QByteArray(5000, 'h'));
        relay.pushAudio("abc");
        relay.pushAudio("\r\ndef");
        ASSERT_TRUE(client.waitForBytes(5018));
        EXPECT_TRUE(client.read().endsWith("abc\r\ndef"));
    }
    // The player went away: no error, it is not started again, and it may come back.
    settle(50);
    relay.pushAudio(QByteArray(6000, 'w'));
    settle(250);
    EXPECT_EQ(relay.pendingBytes(), 6000);
    RawClient again;
    ASSERT_TRUE(again.request(relay));
    ASSERT_TRUE(again.waitForBytes(6010));
    EXPECT_EQ(playerStarts().size(), 1);
    EXPECT_TRUE(relay.listening);
    EXPECT_TRUE(messages.isEmpty());
}

// Another local program can neither take the stream, nor stop the relay, nor
// keep the player out by holding a connection.
TEST_F(ExternalRelayTest, OtherClientsAreClosedAndThePlayerStillGetsTheStream)
{
    relay.startListening();
    relay.pushAudio(QByteArray(5000, 'h'));
    ASSERT_TRUE(waitUntil([&] { return !playerStarts().isEmpty(); }));
    const QByteArray path = QUrl(relay.address()).path().toLatin1();
    for (const QByteArray &request :
         {QByteArray("GET / HTTP/1.0\r\n\r\n"), QByteArray("GET /streamer.mp3 HTTP/1.0\r\n\r\n"),
          QByteArray("GET " + path + "x HTTP/1.0\r\n"), QByteArray(5000, 'G')}) {
        RawClient client;
        ASSERT_TRUE(client.connect(relay));
        client.socket.write(request);
        EXPECT_TRUE(client.waitForClose()) << request.left(40).constData();
        EXPECT_TRUE(client.read().isEmpty());
    }
    EXPECT_TRUE(relay.listening);

    // A silent connection gives way to the player.
    RawClient squatter;
    ASSERT_TRUE(squatter.connect(relay));
    settle(20);
    RawClient client;
    ASSERT_TRUE(client.request(relay));
    EXPECT_TRUE(squatter.waitForClose());
    EXPECT_TRUE(squatter.read().isEmpty());

    // One player at a time: a second client is closed and the stream goes on.
    RawClient intruder;
    intruder.socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(QUrl(relay.address()).port()));
    ASSERT_TRUE(waitUntil([&] { return intruder.wasConnected; }));
    EXPECT_TRUE(intruder.waitForClose());
    relay.pushAudio("more");
    ASSERT_TRUE(client.waitForBytes(5014));
    EXPECT_TRUE(client.read().endsWith("more"));
    EXPECT_TRUE(messages.isEmpty());
}

// A client that stops reading: the relay neither grows without bound nor
// stops; the oldest audio goes.
TEST_F(ExternalRelayTest, ClientThatDoesNotReadKeepsMemoryBounded)
{
    RawClient client;
    client.socket.setReadBufferSize(1);
    startStreaming(client);

    qint64 mostInTransit = 0;
    for (int i = 0; i < 160; ++i) { // 40 MiB, far beyond the system's socket buffers
        relay.pushAudio(numberedBlock(i, 256 * 1024));
        settle(i % 8 == 0 ? 110 : 0);
        mostInTransit = std::max(mostInTransit, relay.bytesInTransit());
        ASSERT_LE(relay.pendingBytes(), 2 * 1024 * 1024);
    }
    EXPECT_LE(mostInTransit, 256 * 1024 + 2 * 1024 * 1024);
    EXPECT_TRUE(relay.listening);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ExternalRelayTest, UntakenAudioKeepsOnlyTheNewest2MiBInWholeBlocks)
{
    RawClient client;
    startStreaming(client);
    ASSERT_TRUE(client.waitForBytes(5010));
    client.received.clear();
    // The pushes come between two sends.
    constexpr qsizetype kBlock = 4096;
    for (int i = 0; i < 768; ++i)
        relay.pushAudio(numberedBlock(i, kBlock));
    relay.pushAudio(QByteArray());
    EXPECT_EQ(relay.pendingBytes(), 2 * 1024 * 1024);

    ASSERT_TRUE(client.waitForBytes(2 * 1024 * 1024));
    settle(150);
    const QByteArray received = client.read();
    ASSERT_EQ(received.size(), 2 * 1024 * 1024);
    for (int i = 256; i < 768; ++i)
        ASSERT_EQ(received.mid((i - 256) * kBlock, kBlock), numberedBlock(i, kBlock)) << "block " << i;
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ExternalRelayTest, APlayerThatCannotStartEndsListeningAndSaysSo)
{
    relay.setExternalPlayer(QStringLiteral("/nonexistent/player"));
    int failures = 0;
    QObject::connect(&relay, &PreviewRelay::listeningFailed, [&] { ++failures; });
    relay.startListening();
    relay.pushAudio(QByteArray(5000, 'q'));
    ASSERT_TRUE(waitUntil([&] { return failures > 0; }));
    EXPECT_EQ(messages, QStringList{QStringLiteral("The external player could not be started: /nonexistent/player")});
    EXPECT_FALSE(relay.listening);
    EXPECT_TRUE(relay.address().isEmpty());
    EXPECT_EQ(relay.pendingBytes(), 0);
}
