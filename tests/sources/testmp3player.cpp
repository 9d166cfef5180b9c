#include <gtest/gtest.h>

#include <memory>

#include "eventwait.h"
#include "platform/alsaaudiooutput.h"
#include "platform/audiooutput.h"
#include "soundtest.h"
#include "sources/mp3player.h"
#include "testdevices.h"

namespace
{

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
    TestDevices devices;
    Mp3Player player{devices.audio.makeOutput};
    Mp3Stream mp3;

    void startPlaying() { ASSERT_TRUE(player.play()) << player.errorString().toStdString(); }
    bool waitForSamples(qint64 frames)
    {
        return waitUntil([&] { return devices.played->framesWritten >= frames * kSamples; });
    }
};

TEST_F(Mp3PTest, PlaysPastHeaderTextAndACutFrame)
{
    // Listening may start with a station's header and half a frame before the first whole frame.
    player.feed(mp3.frames(2)); // not playing yet: ignored
    EXPECT_EQ(player.state(), Mp3Player::State::Stopped);
    startPlaying();
    EXPECT_EQ(player.state(), Mp3Player::State::Playing);
    const QByteArray frame = mp3.frames(1);
    player.feed("ICY 200 OK\r\nicy-name:Test \xff\xfb Radio\r\nicy-br:128\r\n\r\n" + frame.mid(200));
    player.feed(mp3.frames(30));

    ASSERT_TRUE(waitForSamples(30));
    settle(50);
    EXPECT_EQ(devices.played->framesWritten, 30 * kSamples);
    EXPECT_EQ(player.framesDecoded(), 30);
    EXPECT_EQ(devices.played->sampleRate, Mp3Stream::kSampleRate);
    EXPECT_EQ(devices.played->channels, 2);
    EXPECT_GT(devices.played->peaks[0], 2000);
    EXPECT_EQ(player.state(), Mp3Player::State::Playing);
}

TEST_F(Mp3PTest, FramesSplitAcrossPacketsAndAHeaderInTheMiddleAllDecode)
{
    // After the recorder reconnects, a station header arrives inside the audio.
    startPlaying();
    player.feed("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n");
    const QByteArray audio = mp3.frames(10);
    for (qsizetype at = 0; at < audio.size(); at += 100) {
        player.feed(audio.mid(at, 100));
        settle(1);
    }
    player.feed("ICY 200 OK\r\nicy-name:Again\r\nicy-metaint:0\r\n\r\n");
    player.feed(mp3.frames(10));

    ASSERT_TRUE(waitForSamples(19));
    settle(50);
    EXPECT_EQ(devices.played->channels, 2);
    EXPECT_GE(devices.played->framesWritten, 19 * kSamples);
    EXPECT_LE(devices.played->framesWritten, 20 * kSamples);
}

TEST_F(Mp3PTest, VolumeAndBalanceShapeTheSamples)
{
    startPlaying();
    // The decoder's onset overshoots; the level is measured once it is steady.
    player.feed(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(8));
    devices.played->peaks[0] = devices.played->peaks[1] = 0;
    player.feed(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(16));
    const int full = devices.played->peaks[0];
    ASSERT_GT(full, 2000);
    EXPECT_NEAR(devices.played->peaks[1], full, 2);

    // Half way on the slider is an eighth of the level; the master volume is the system's business.
    player.setVolume(50, 10, 50);
    devices.played->peaks[0] = devices.played->peaks[1] = 0;
    player.feed(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(24));
    EXPECT_NEAR(devices.played->peaks[0], full / 8.0, 2);
    EXPECT_NEAR(devices.played->peaks[1], full / 8.0, 2);

    // Balance to the left silences the right channel.
    player.setVolume(0, 10, 100);
    devices.played->peaks[0] = devices.played->peaks[1] = 0;
    player.feed(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(32));
    EXPECT_NEAR(devices.played->peaks[0], full, 2);
    EXPECT_EQ(devices.played->peaks[1], 0);

    // Volume 0 is silence; an unknown volume (-1) plays at full level.
    player.setVolume(50, -1, 0);
    devices.played->peaks[0] = devices.played->peaks[1] = 0;
    player.feed(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(40));
    EXPECT_EQ(devices.played->peaks[0], 0);
    player.setVolume(50, -1, -1);
    player.feed(mp3.frames(8));
    ASSERT_TRUE(waitForSamples(48));
    EXPECT_NEAR(devices.played->peaks[0], full, 2);
}

TEST_F(Mp3PTest, ALargeBurstIsPlayedWholeWhenTheOutputTakesIt)
{
    // A relay that kept audio for a while sends it all at once; an output with
    // room plays every frame of it, however much arrives in one read.
    startPlaying();
    const int frameCount = static_cast<int>(3.0 * (1 << 20) / Mp3Stream::kAverageFrameBytes);
    player.feed(mp3.frames(frameCount));
    ASSERT_TRUE(waitForSamples(frameCount));
    EXPECT_EQ(devices.played->framesWritten, frameCount * kSamples);
}

TEST_F(Mp3PTest, StopReleasesTheDeviceAndPlayStartsAgain)
{
    startPlaying();
    player.feed(mp3.frames(4));
    ASSERT_TRUE(waitForSamples(4));

    player.stop();
    EXPECT_EQ(player.state(), Mp3Player::State::Stopped);
    EXPECT_FALSE(devices.played->open);
    player.feed(mp3.frames(4));
    settle(50);
    EXPECT_EQ(devices.played->framesWritten, 4 * kSamples);

    startPlaying();
    EXPECT_EQ(devices.played->opens, 2);
    const QByteArray again = mp3.frames(4);
    player.feed(again);
    ASSERT_TRUE(waitForSamples(8));
    // Counted afresh from this play() on.
    EXPECT_EQ(player.bytesReceived(), again.size());
}

TEST(Mp3Player, WithoutASoundOutputPlayFails)
{
    Mp3Player player([] { return std::make_unique<NoSoundDevice>(); });
    EXPECT_FALSE(player.play());
    EXPECT_EQ(player.errorString(), QStringLiteral("no sound card"));
    EXPECT_TRUE(player.soundOutputFailed());
    EXPECT_EQ(player.state(), Mp3Player::State::Stopped);
}

TEST(Mp3Player, ABusyOutputIsFedLaterAndAStalledOneSkipsAhead)
{
    qint64 budget = 0;
    qint64 written = 0;
    Mp3Player player([&] { return std::make_unique<ThrottledOutput>(&budget, &written); });
    Mp3Stream mp3;
    ASSERT_TRUE(player.play());
    player.feed(mp3.frames(20));
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
    player.feed(mp3.frames(frameCount));
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
    Mp3Player player([] { return std::make_unique<platform::AlsaAudioOutput>(QByteArrayLiteral("null")); });
    Mp3Stream mp3;
    ASSERT_TRUE(player.play()) << player.errorString().toStdString();
    player.feed(mp3.frames(40));
    ASSERT_TRUE(waitUntil([&] { return player.framesDecoded() >= 40; }));
    settle(50);
    EXPECT_EQ(player.state(), Mp3Player::State::Playing);
    EXPECT_TRUE(player.errorString().isEmpty());
}
