#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

#include "eventwait.h"
#include "fakemixer.h"
#include "soundtest.h"
#include "sources/mp3player.h"
#include "sources/previewrelay.h"

namespace
{

constexpr quint16 kPort = 29174;
const QString kAddressStart = QStringLiteral("http://127.0.0.1:29174/");
const QString kSecondInstance = QStringLiteral("You cannot listen on more than one instance of the Ombrex!");

// True when nothing holds the relay port (binding it briefly has no effect on a relay).
bool portIsFree()
{
    QTcpServer probe;
    const bool free = probe.listen(QHostAddress::LocalHost, kPort);
    probe.close();
    return free;
}

// A raw local client speaking to the relay like a player would.
class RawClient
{
public:
    RawClient()
    {
        QObject::connect(&socket, &QTcpSocket::connected, &socket, [this] { wasConnected = true; });
    }
    bool connect()
    {
        socket.connectToHost(QHostAddress::LocalHost, kPort);
        return waitUntil([this] { return socket.state() == QAbstractSocket::ConnectedState; });
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

QByteArray requestPath(const PreviewRelay &relay)
{
    return relay.address().mid(QStringLiteral("http://127.0.0.1:29174").size()).toLatin1();
}

QByteArray numberedBlock(int index, qsizetype size)
{
    return QByteArray(size, static_cast<char>('A' + index % 26));
}

} // namespace

// Every test here binds the relay's fixed port; CTest runs them under one lock.
class RelayTest : public ::testing::Test
{
protected:
    qint64 samplesPlayed() const { return outputs.counters->framesWritten; }
    bool waitForSamples(qint64 frames)
    {
        return waitUntil([&] { return samplesPlayed() >= frames * Mp3Stream::kSamplesPerFrame; });
    }
    // Brings the relay to the point where its player streams.
    void startStreaming(PreviewRelay &relay)
    {
        relay.startListening();
        relay.pushAudio("ICY 200 OK\r\nicy-name:Test Radio\r\nicy-br:128\r\n\r\n");
        relay.pushAudio(mp3.frames(12));
        ASSERT_TRUE(waitUntil([&] { return relay.player()->state() == Mp3Player::State::Playing; }));
        ASSERT_TRUE(waitForSamples(12));
    }
    // Drops the player's connection from the player's side.
    void dropPlayer(PreviewRelay &relay)
    {
        relay.player()->stop();
        // Let the relay see the connection go before anything is pushed.
        settle(50);
    }

    // Collects what the relay asks to tell the user.
    void watch(PreviewRelay &relay)
    {
        QObject::connect(&relay, &PreviewRelay::messageRequested,
                         [this](const QString &text) { messages.append(text); });
    }

    QStringList messages;
    NullOutputs outputs;
    Mp3Stream mp3;
};

TEST_F(RelayTest, NothingListensUntilMoreThan4000BytesWait)
{
    PreviewRelay relay;
    watch(relay);
    relay.startListening();
    EXPECT_TRUE(relay.listening);
    relay.pushAudio(QByteArray(4000, 'x'));
    settle(350);
    EXPECT_TRUE(portIsFree());
    EXPECT_EQ(relay.player()->state(), Mp3Player::State::Closed);
    EXPECT_EQ(relay.pendingBytes(), 4000);

    relay.pushAudio("y");
    ASSERT_TRUE(waitUntil([&] { return relay.player()->state() != Mp3Player::State::Closed; }));
    EXPECT_EQ(relay.player()->address(), relay.address());
    EXPECT_TRUE(relay.address().startsWith(kAddressStart));
    EXPECT_TRUE(relay.address().endsWith(QStringLiteral("/streamer.mp3")));
    // Each relay has a path of its own that no other program can guess.
    EXPECT_NE(PreviewRelay().address(), relay.address());
    EXPECT_GE(relay.address().size(), kAddressStart.size() + 32);
    EXPECT_FALSE(portIsFree());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RelayTest, PlayerGetsEveryPushedByteAndKeepsDecoding)
{
    PreviewRelay relay;
    watch(relay);
    relay.startListening();
    const QByteArray header = "ICY 200 OK\r\nicy-name:Test Radio\r\nicy-br:128\r\n\r\n";
    QByteArray pushed = header;
    relay.pushAudio(header);
    // Listening may start in the middle of a frame.
    const QByteArray cut = mp3.frames(1).mid(150);
    relay.pushAudio(cut);
    pushed += cut;
    for (int i = 0; i < 10; ++i) {
        const QByteArray frame = mp3.frames(1);
        relay.pushAudio(frame);
        pushed += frame;
    }
    ASSERT_TRUE(waitForSamples(10));
    EXPECT_EQ(relay.player()->state(), Mp3Player::State::Playing);

    // The stream goes on: more blocks arrive between ticks (as while paused) and are played.
    for (int i = 0; i < 40; ++i) {
        const QByteArray frame = mp3.frames(1);
        relay.pushAudio(frame);
        pushed += frame;
        if (i % 8 == 7)
            settle(60);
    }
    ASSERT_TRUE(waitForSamples(50));
    settle(250);
    EXPECT_EQ(samplesPlayed(), 50 * Mp3Stream::kSamplesPerFrame);
    EXPECT_EQ(relay.pendingBytes(), 0);
    // After the status code the player saw " OK" and exactly what was pushed: the relay adds nothing.
    EXPECT_EQ(relay.player()->bytesReceived(), 3 + pushed.size());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RelayTest, ClientGetsTheBareReplyThenRawBytes)
{
    PreviewRelay relay;
    watch(relay);
    startStreaming(relay);
    dropPlayer(relay);
    EXPECT_TRUE(relay.listening);
    EXPECT_TRUE(messages.isEmpty());

    RawClient client;
    ASSERT_TRUE(client.connect());
    client.socket.write("GET " + requestPath(relay) + " HTTP/1.0\r\nIcy-MetaData:0\r\n\r\n");
    ASSERT_TRUE(client.waitForBytes(10));
    settle(50);
    EXPECT_EQ(client.read(), QByteArray("ICY 200 OK"));

    relay.pushAudio("abc");
    relay.pushAudio("\r\ndef");
    ASSERT_TRUE(client.waitForBytes(18));
    EXPECT_EQ(client.read(), QByteArray("ICY 200 OKabc\r\ndef"));
}

// Another local program can neither take the stream, nor stop the relay, nor
// keep the player out by holding a connection.
TEST_F(RelayTest, OtherClientsAreClosedAndThePlayerStillGetsTheStream)
{
    PreviewRelay relay;
    watch(relay);
    startStreaming(relay);
    dropPlayer(relay);

    for (const QByteArray &request :
         {QByteArray("GET / HTTP/1.0\r\n\r\n"), QByteArray("GET /streamer.mp3 HTTP/1.0\r\n\r\n"),
          QByteArray("GET " + requestPath(relay) + "x HTTP/1.0\r\n"), QByteArray(5000, 'G')}) {
        RawClient client;
        ASSERT_TRUE(client.connect());
        client.socket.write(request);
        EXPECT_TRUE(client.waitForClose()) << request.left(40).constData();
        EXPECT_TRUE(client.read().isEmpty());
    }
    EXPECT_TRUE(relay.listening);
    EXPECT_FALSE(portIsFree());

    // A silent connection gives way to the player.
    RawClient squatter;
    ASSERT_TRUE(squatter.connect());
    settle(20);
    const qint64 before = samplesPlayed();
    relay.pushAudio(mp3.frames(10));
    ASSERT_TRUE(waitUntil([&] { return samplesPlayed() >= before + 10 * Mp3Stream::kSamplesPerFrame; }));
    EXPECT_TRUE(squatter.waitForClose());
    EXPECT_TRUE(squatter.read().isEmpty());
    EXPECT_TRUE(messages.isEmpty());
}

// A client that stops reading: the relay neither grows without bound nor
// stops; the oldest audio goes.
TEST_F(RelayTest, ClientThatDoesNotReadKeepsMemoryBounded)
{
    PreviewRelay relay;
    watch(relay);
    startStreaming(relay);
    dropPlayer(relay);
    RawClient client;
    client.socket.setReadBufferSize(1);
    ASSERT_TRUE(client.connect());
    client.socket.write("GET " + requestPath(relay) + " HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(client.waitForBytes(1));

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

TEST_F(RelayTest, SecondRunningRelayReportsAndStopsItsOwnPreview)
{
    PreviewRelay first;
    watch(first);
    startStreaming(first);

    PreviewRelay second;
    watch(second);
    second.startListening();
    second.pushAudio(QByteArray(5000, 'z'));
    ASSERT_TRUE(waitUntil([&] { return !messages.isEmpty(); }));
    EXPECT_EQ(messages, QStringList{kSecondInstance});
    EXPECT_FALSE(second.listening);
    EXPECT_EQ(second.pendingBytes(), 0);
    EXPECT_EQ(second.player()->state(), Mp3Player::State::Closed);

    // The first one goes on streaming.
    first.pushAudio(mp3.frames(5));
    ASSERT_TRUE(waitForSamples(17));
    EXPECT_TRUE(first.listening);
}

TEST_F(RelayTest, WithoutSoundOutputThePreviewStopsAndSaysSo)
{
    ScopedAudioOutputFactory noDevice([] { return std::make_unique<NoSoundDevice>(); });
    PreviewRelay relay;
    watch(relay);
    relay.startListening();
    relay.pushAudio(mp3.frames(12));
    ASSERT_TRUE(waitUntil([&] { return !messages.isEmpty(); }));
    // Not the second-instance text: that would send the user looking for another copy.
    EXPECT_EQ(messages, QStringList{QStringLiteral("No sound output is available: no sound card")});
    EXPECT_FALSE(relay.listening);
    EXPECT_TRUE(portIsFree());
    // The engine checks the flag before pushing; nothing more is kept.
    EXPECT_EQ(relay.pendingBytes(), 0);
}

TEST_F(RelayTest, StopThenStartBeginsEmpty)
{
    PreviewRelay relay;
    watch(relay);
    startStreaming(relay);
    relay.pushAudio(QByteArray(3000, 'q'));
    relay.stopListening();
    EXPECT_FALSE(relay.listening);
    EXPECT_EQ(relay.pendingBytes(), 0);
    EXPECT_TRUE(portIsFree());
    EXPECT_EQ(relay.player()->state(), Mp3Player::State::Closed);
    EXPECT_FALSE(outputs.counters->open);

    relay.startListening();
    relay.startListening(); // again: changes nothing
    relay.pushAudio(QByteArray(3000, 'r'));
    settle(250);
    EXPECT_TRUE(portIsFree());
    EXPECT_EQ(relay.pendingBytes(), 3000);

    const qint64 before = samplesPlayed();
    relay.pushAudio(mp3.frames(4));
    ASSERT_TRUE(waitUntil([&] { return samplesPlayed() >= before + 4 * Mp3Stream::kSamplesPerFrame; }));
    EXPECT_EQ(relay.player()->state(), Mp3Player::State::Playing);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RelayTest, UntakenAudioKeepsOnlyTheNewest2MiBInWholeBlocks)
{
    PreviewRelay relay;
    watch(relay);
    startStreaming(relay);
    dropPlayer(relay);

    // This client takes the relay's one stream, so that the restarted player is
    // turned away; the pushes come between two sends.
    RawClient client;
    ASSERT_TRUE(client.connect());
    client.socket.write("GET " + requestPath(relay) + " HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(client.waitForBytes(10));
    constexpr qsizetype kBlock = 4096;
    for (int i = 0; i < 768; ++i)
        relay.pushAudio(numberedBlock(i, kBlock));
    relay.pushAudio(QByteArray());
    EXPECT_EQ(relay.pendingBytes(), 2 * 1024 * 1024);

    ASSERT_TRUE(client.waitForBytes(10 + 2 * 1024 * 1024));
    settle(150);
    const QByteArray received = client.read();
    ASSERT_EQ(received.size(), 10 + 2 * 1024 * 1024);
    EXPECT_TRUE(received.startsWith("ICY 200 OK"));
    for (int i = 256; i < 768; ++i)
        ASSERT_EQ(received.mid(10 + (i - 256) * kBlock, kBlock), numberedBlock(i, kBlock)) << "block " << i;
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RelayTest, SecondLocalClientIsClosedAndTheStreamGoesOn)
{
    PreviewRelay relay;
    watch(relay);
    startStreaming(relay);

    RawClient intruder;
    intruder.socket.connectToHost(QHostAddress::LocalHost, kPort);
    ASSERT_TRUE(waitUntil([&] { return intruder.wasConnected; }));
    EXPECT_TRUE(intruder.waitForClose());
    EXPECT_TRUE(intruder.read().isEmpty());

    relay.pushAudio(mp3.frames(6));
    ASSERT_TRUE(waitForSamples(18));
    EXPECT_EQ(relay.player()->state(), Mp3Player::State::Playing);
    EXPECT_TRUE(relay.listening);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RelayTest, DroppedPlayerStopsQuietlyAndConnectsAgain)
{
    PreviewRelay relay;
    watch(relay);
    startStreaming(relay);
    dropPlayer(relay);
    // Nothing is sent to the closed connection and nothing is reported.
    relay.pushAudio(QByteArray(1000, 'w'));
    settle(250);
    EXPECT_EQ(relay.pendingBytes(), 1000);
    EXPECT_TRUE(relay.listening);
    EXPECT_TRUE(messages.isEmpty());

    // Once audio waits again the player is pointed at the relay and plays on.
    const qint64 before = samplesPlayed();
    relay.pushAudio(mp3.frames(10));
    ASSERT_TRUE(waitUntil([&] { return samplesPlayed() >= before + 10 * Mp3Stream::kSamplesPerFrame; }));
    EXPECT_EQ(relay.player()->state(), Mp3Player::State::Playing);
    EXPECT_EQ(relay.player()->address(), relay.address());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RelayTest, SetVolumeReachesThePlayerAndIsRemembered)
{
    FakeMixer mixer(32767);
    PreviewRelay relay;
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
