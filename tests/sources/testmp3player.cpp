#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

#include "eventwait.h"
#include "platform/alsaaudiooutput.h"
#include "platform/audiooutput.h"
#include "platform/nullaudiooutput.h"
#include "soundtest.h"
#include "sources/mp3player.h"

namespace
{

// One-connection stream server on a free loopback port; the test writes the reply.
class StreamServer
{
public:
    StreamServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                client = socket;
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { request += socket->readAll(); });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString address(const QString &path = QStringLiteral("/streamer.mp3")) const
    {
        return QStringLiteral("http://127.0.0.1:") + QString::number(m_server.serverPort()) + path;
    }
    bool waitForRequest()
    {
        return waitUntil([this] { return request.contains("\r\n\r\n"); });
    }
    void send(const QByteArray &bytes)
    {
        client->write(bytes);
        client->flush();
    }

    QByteArray request;
    QPointer<QTcpSocket> client;
    int connections = 0;

private:
    QTcpServer m_server;
};

// An output that takes only what the test allows, like a device whose buffer is full.
class ThrottledOutput final : public platform::AudioOutput
{
public:
    explicit ThrottledOutput(qint64 *budget, qint64 *written)
        : m_budget(budget)
        , m_written(written)
    {}
    bool open() override { return true; }
    bool setFormat(int, int) override { return true; }
    qint64 framesWritable() override { return *m_budget; }
    qint64 write(const qint16 *, qint64 frames) override
    {
        frames = std::min(frames, *m_budget);
        *m_budget -= frames;
        *m_written += frames;
        return frames;
    }
    void close() override {}
    QString errorString() const override { return QString(); }

private:
    qint64 *m_budget;
    qint64 *m_written;
};

constexpr qint64 kSamples = Mp3Stream::kSamplesPerFrame;

} // namespace

class Mp3PTest : public ::testing::Test
{
protected:
    NullOutputs outputs;
    StreamServer server;
    Mp3Player player;
    Mp3Stream mp3;

    void startPlaying(const QString &path = QStringLiteral("/streamer.mp3"))
    {
        ASSERT_TRUE(player.open(server.address(path)));
        ASSERT_TRUE(player.play()) << player.errorString().toStdString();
        ASSERT_TRUE(server.waitForRequest());
    }
    bool waitForSamples(qint64 frames)
    {
        return waitUntil([&] { return outputs.counters->framesWritten >= frames * kSamples; });
    }
};

TEST_F(Mp3PTest, PlaysTheRelaysBareReplyWithHeaderTextAndACutFrameAhead)
{
    // Checks the whole path: request, the relay's "ICY 200 OK" without a line
    // end, a station header and half a frame before the first whole frame.
    startPlaying(QStringLiteral("/streamer.mp3?x=1"));
    EXPECT_TRUE(server.request.startsWith("GET /streamer.mp3?x=1 HTTP/1.0\r\n")) << server.request.constData();
    EXPECT_EQ(player.state(), Mp3Player::State::Connecting);

    server.send("ICY 200 OK");
    ASSERT_TRUE(waitUntil([&] { return player.state() == Mp3Player::State::Playing; }));
    const QByteArray frame = mp3.frames(1);
    server.send("\r\nicy-name:Test \xff\xfb Radio\r\nicy-br:128\r\n\r\n" + frame.mid(200));
    server.send(mp3.frames(30));

    ASSERT_TRUE(waitForSamples(30));
    settle(50);
    EXPECT_EQ(outputs.counters->framesWritten, 30 * kSamples);
    EXPECT_EQ(player.framesDecoded(), 30);
    EXPECT_EQ(outputs.counters->sampleRate, Mp3Stream::kSampleRate);
    EXPECT_EQ(outputs.counters->channels, 2);
    EXPECT_GT(outputs.counters->peaks[0], 2000);
    EXPECT_EQ(player.state(), Mp3Player::State::Playing);
}

TEST_F(Mp3PTest, FramesSplitAcrossPacketsAndAHeaderInTheMiddleAllDecode)
{
    // After the recorder reconnects, a station header arrives inside the audio.
    startPlaying();
    server.send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n");
    const QByteArray audio = mp3.frames(10);
    for (qsizetype at = 0; at < audio.size(); at += 100) {
        server.send(audio.mid(at, 100));
        settle(1);
    }
    server.send("ICY 200 OK\r\nicy-name:Again\r\nicy-metaint:0\r\n\r\n");
    server.send(mp3.frames(10));

    ASSERT_TRUE(waitForSamples(19));
    settle(50);
    EXPECT_EQ(outputs.counters->channels, 2);
    EXPECT_GE(outputs.counters->framesWritten, 19 * kSamples);
    EXPECT_LE(outputs.counters->framesWritten, 20 * kSamples);
}

TEST_F(Mp3PTest, VolumeAndBalanceShapeTheSamples)
{
    startPlaying();
    server.send("ICY 200 OK");
    // The decoder's onset overshoots; the level is measured once it is steady.
    server.send(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(8));
    outputs.counters->peaks[0] = outputs.counters->peaks[1] = 0;
    server.send(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(16));
    const int full = outputs.counters->peaks[0];
    ASSERT_GT(full, 2000);
    EXPECT_NEAR(outputs.counters->peaks[1], full, 2);

    // Half way on the slider is an eighth of the level; the master volume is the system's business.
    player.setVolume(50, 10, 50);
    outputs.counters->peaks[0] = outputs.counters->peaks[1] = 0;
    server.send(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(24));
    EXPECT_NEAR(outputs.counters->peaks[0], full / 8.0, 2);
    EXPECT_NEAR(outputs.counters->peaks[1], full / 8.0, 2);

    // Balance to the left silences the right channel.
    player.setVolume(0, 10, 100);
    outputs.counters->peaks[0] = outputs.counters->peaks[1] = 0;
    server.send(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(32));
    EXPECT_NEAR(outputs.counters->peaks[0], full, 2);
    EXPECT_EQ(outputs.counters->peaks[1], 0);

    // Volume 0 is silence; an unknown volume (-1) plays at full level.
    player.setVolume(50, -1, 0);
    outputs.counters->peaks[0] = outputs.counters->peaks[1] = 0;
    server.send(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(40));
    EXPECT_EQ(outputs.counters->peaks[0], 0);
    player.setVolume(50, -1, -1);
    server.send(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(48));
    EXPECT_NEAR(outputs.counters->peaks[0], full, 2);
}

TEST_F(Mp3PTest, ALargeBurstIsPlayedWholeWhenTheOutputTakesIt)
{
    // A relay that kept audio for a while sends it all at once; an output with
    // room plays every frame of it, however much arrives in one read.
    startPlaying();
    const int frameCount = static_cast<int>(3.0 * (1 << 20) / Mp3Stream::kAverageFrameBytes);
    server.send("ICY 200 OK" + mp3.frames(frameCount));
    ASSERT_TRUE(waitForSamples(frameCount));
    EXPECT_EQ(outputs.counters->framesWritten, frameCount * kSamples);
}

TEST_F(Mp3PTest, RefusedStreamStopsThePlayer)
{
    startPlaying();
    server.send("HTTP/1.0 404 Not Found\r\n\r\n" + mp3.frames(5));
    ASSERT_TRUE(waitUntil([&] { return player.state() == Mp3Player::State::Stopped; }));
    EXPECT_TRUE(player.errorString().contains(QStringLiteral("404"))) << player.errorString().toStdString();
    EXPECT_EQ(outputs.counters->framesWritten, 0);
    EXPECT_FALSE(outputs.counters->open);
}

TEST_F(Mp3PTest, StopDropsTheConnectionAndTheDeviceAndPlayStartsAgain)
{
    startPlaying();
    server.send("ICY 200 OK");
    server.send(mp3.frames(4));
    ASSERT_TRUE(waitForSamples(4));
    QPointer<QTcpSocket> first = server.client;

    player.stop();
    EXPECT_EQ(player.state(), Mp3Player::State::Stopped);
    EXPECT_FALSE(outputs.counters->open);
    ASSERT_TRUE(waitUntil([&] { return !first || first->state() != QAbstractSocket::ConnectedState; }));

    server.request.clear();
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(server.waitForRequest());
    EXPECT_EQ(server.connections, 2);
    EXPECT_EQ(outputs.counters->opens, 2);
    server.send("ICY 200 OK");
    server.send(mp3.frames(4));
    ASSERT_TRUE(waitForSamples(8));

    // Close forgets the address: nothing to play any more.
    player.close();
    EXPECT_EQ(player.state(), Mp3Player::State::Closed);
    EXPECT_TRUE(player.address().isEmpty());
    EXPECT_FALSE(player.play());
}

TEST_F(Mp3PTest, EndOfStreamPlaysOutWhatArrivedAndStops)
{
    startPlaying();
    server.send("ICY 200 OK" + mp3.frames(6));
    server.client->disconnectFromHost();
    ASSERT_TRUE(waitUntil([&] { return player.state() == Mp3Player::State::Stopped; }));
    EXPECT_EQ(outputs.counters->framesWritten, 6 * kSamples);
    EXPECT_TRUE(player.errorString().isEmpty());
}

TEST(Mp3Player, OnlyHttpAddressesOpen)
{
    Mp3Player player;
    EXPECT_FALSE(player.open(QStringLiteral("ftp://127.0.0.1/streamer.mp3")));
    EXPECT_FALSE(player.open(QStringLiteral("streamer.mp3")));
    EXPECT_EQ(player.state(), Mp3Player::State::Closed);
    EXPECT_FALSE(player.play());
    EXPECT_TRUE(player.open(QStringLiteral("HTTP://127.0.0.1:29174/streamer.mp3")));
    EXPECT_EQ(player.state(), Mp3Player::State::Stopped);
}

TEST(Mp3Player, WithoutASoundOutputPlayFailsAndNothingConnects)
{
    ScopedAudioOutputFactory noDevice([] { return std::make_unique<NoSoundDevice>(); });
    StreamServer server;
    Mp3Player player;
    ASSERT_TRUE(player.open(server.address()));
    EXPECT_FALSE(player.play());
    EXPECT_EQ(player.errorString(), QStringLiteral("no sound card"));
    EXPECT_EQ(player.state(), Mp3Player::State::Stopped);
    settle(50);
    EXPECT_EQ(server.connections, 0);
}

TEST(Mp3Player, ConnectionRefusedStopsWithAnError)
{
    NullOutputs outputs;
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    Mp3Player player;
    ASSERT_TRUE(player.open(QStringLiteral("http://127.0.0.1:") + QString::number(port) + QStringLiteral("/x.mp3")));
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(waitUntil([&] { return player.state() == Mp3Player::State::Stopped; }));
    EXPECT_FALSE(player.errorString().isEmpty());
    EXPECT_FALSE(outputs.counters->open);
}

TEST(Mp3Player, ABusyOutputIsFedLaterAndAStalledOneSkipsAhead)
{
    qint64 budget = 0;
    qint64 written = 0;
    ScopedAudioOutputFactory throttled([&] { return std::make_unique<ThrottledOutput>(&budget, &written); });
    StreamServer server;
    Mp3Player player;
    Mp3Stream mp3;
    ASSERT_TRUE(player.open(server.address()));
    ASSERT_TRUE(player.play());
    ASSERT_TRUE(server.waitForRequest());
    server.send("ICY 200 OK" + mp3.frames(20));
    settle(100);
    EXPECT_EQ(written, 0);

    // Room appears a little at a time: the player's timer hands over the rest in order, losing nothing.
    for (int i = 0; i < 40 && written < 20 * kSamples; ++i) {
        budget += 2000;
        settle(25);
    }
    EXPECT_EQ(written, 20 * kSamples);

    // An output that takes nothing for long: about a megabyte waits (plus what the
    // decoder already holds), the newest.
    budget = 0;
    written = 0;
    const int frameCount = static_cast<int>(1.5 * (1 << 20) / Mp3Stream::kAverageFrameBytes);
    server.send(mp3.frames(frameCount));
    settle(200);
    budget = 1 << 30;
    settle(200);
    const auto keptFrames = static_cast<qint64>((1 << 20) / Mp3Stream::kAverageFrameBytes);
    EXPECT_GE(written, (keptFrames - 2) * kSamples);
    const auto heldByDecoder = static_cast<qint64>(16 * 1024 / Mp3Stream::kAverageFrameBytes);
    EXPECT_LE(written, (keptFrames + heldByDecoder + 2) * kSamples);
}

TEST(Mp3Player, PlaysThroughAnAlsaDevice)
{
    // ALSA's "null" device needs no sound card; the real output path runs.
    ScopedAudioOutputFactory alsa(
        [] { return std::make_unique<platform::AlsaAudioOutput>(QByteArrayLiteral("null")); });
    StreamServer server;
    Mp3Player player;
    Mp3Stream mp3;
    ASSERT_TRUE(player.open(server.address()));
    ASSERT_TRUE(player.play()) << player.errorString().toStdString();
    ASSERT_TRUE(server.waitForRequest());
    server.send("ICY 200 OK" + mp3.frames(40));
    ASSERT_TRUE(waitUntil([&] { return player.framesDecoded() >= 40; }));
    settle(50);
    EXPECT_EQ(player.state(), Mp3Player::State::Playing);
    EXPECT_TRUE(player.errorString().isEmpty());
}
