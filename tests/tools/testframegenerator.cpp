#include <gtest/gtest.h>

#include <mpg123.h>

#include <cmath>
#include <vector>

#include "teststation/framegenerator.h"
#include "teststation/mp3frame.h"

namespace
{

struct Decoded
{
    std::vector<short> samples; // interleaved
    long rate = 0;
    int channels = 0;
    int frames = 0;
};

Decoded decode(const QByteArray &mp3)
{
    Decoded out;
    mpg123_init();
    int error = 0;
    mpg123_handle *handle = mpg123_new(nullptr, &error);
    mpg123_param(handle, MPG123_FLAGS, MPG123_QUIET, 0);
    mpg123_open_feed(handle);
    mpg123_feed(handle, reinterpret_cast<const unsigned char *>(mp3.constData()), static_cast<size_t>(mp3.size()));
    for (;;) {
        off_t frameNumber = 0;
        unsigned char *audio = nullptr;
        size_t bytes = 0;
        const int result = mpg123_decode_frame(handle, &frameNumber, &audio, &bytes);
        if (result == MPG123_NEW_FORMAT) {
            int encoding = 0;
            mpg123_getformat(handle, &out.rate, &out.channels, &encoding);
            continue;
        }
        if (result != MPG123_OK)
            break;
        ++out.frames;
        const auto *pcm = reinterpret_cast<const short *>(audio);
        out.samples.insert(out.samples.end(), pcm, pcm + bytes / sizeof(short));
    }
    mpg123_delete(handle);
    return out;
}

// Strength of one frequency in the left channel.
double magnitude(const Decoded &d, double frequency)
{
    double re = 0;
    double im = 0;
    const size_t count = qMin<size_t>(d.samples.size() / 2, 44100);
    for (size_t i = 0; i < count; ++i) {
        const double x = d.samples[2 * i];
        re += x * std::cos(2 * M_PI * frequency * static_cast<double>(i) / 44100.0);
        im += x * std::sin(2 * M_PI * frequency * static_cast<double>(i) / 44100.0);
    }
    return std::sqrt(re * re + im * im) / static_cast<double>(count);
}

} // namespace

TEST(FrameGenerator, FramesHaveValidHeadersAndTheExactByteRate)
{
    teststation::FrameGenerator generator(128, true, 3);
    const QByteArray bytes = generator.read(16000 * 10);
    qsizetype pos = 0;
    int frames = 0;
    while (pos + 4 <= bytes.size()) {
        const auto header = teststation::parseMp3FrameHeader(bytes.constData() + pos);
        ASSERT_TRUE(header.has_value()) << "at " << pos;
        EXPECT_EQ(header->bitRateKbps, 128);
        EXPECT_EQ(header->sampleRate, 44100);
        pos += header->frameLength;
        ++frames;
    }
    // 10 s of audio is 382.8 frames of 1152 samples; padding keeps the average length right.
    EXPECT_EQ(frames, 383);
    // 0xFF only starts a frame, and no text longer than three characters appears.
    int printableRun = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<uchar>(bytes.at(i));
        if (c == 0xff) {
            EXPECT_TRUE(teststation::parseMp3FrameHeader(bytes.constData() + i).has_value()) << "at " << i;
        }
        printableRun = c >= 0x20 && c < 0x7f ? printableRun + 1 : 0;
        ASSERT_LE(printableRun, 3) << "at " << i;
    }
    EXPECT_NE(teststation::FrameGenerator(128, true, 4).read(4000),
              teststation::FrameGenerator(128, true, 3).read(4000));
}

TEST(FrameGenerator, DecodesToAToneOrToSilence)
{
    const Decoded tone = decode(teststation::FrameGenerator(128, true).read(16000 * 3));
    EXPECT_EQ(tone.rate, 44100);
    EXPECT_EQ(tone.channels, 2);
    EXPECT_GE(tone.frames, 110);
    double peak = 0;
    double peakFrequency = 0;
    for (double f = 290; f < 320; f += 0.5) {
        const double m = magnitude(tone, f);
        if (m > peak) {
            peak = m;
            peakFrequency = f;
        }
    }
    EXPECT_NEAR(peakFrequency, 306, 3);
    EXPECT_GT(peak, 1000);
    EXPECT_GT(peak, 10 * magnitude(tone, 1000));
    EXPECT_GT(peak, 10 * magnitude(tone, 150));

    const Decoded silence = decode(teststation::FrameGenerator(320, false).read(40000 * 2));
    EXPECT_GE(silence.frames, 70);
    ASSERT_FALSE(silence.samples.empty());
    for (const short s : silence.samples)
        ASSERT_EQ(s, 0);
}
