#include <gtest/gtest.h>

#include <vector>

#include "platform/alsaaudiooutput.h"
#include "platform/nullaudiooutput.h"

// ALSA's "null" device exists without a sound card and takes whatever is
// written, so the real output code runs here as it would on a desktop.
TEST(AlsaAudioOutput, PlaysThroughAnAlsaDeviceWithoutBlocking)
{
    platform::AlsaAudioOutput output(QByteArrayLiteral("null"));
    ASSERT_TRUE(output.open()) << output.errorString().toStdString();
    // Nothing can be written before the format is known.
    EXPECT_EQ(output.framesWritable(), -1);
    ASSERT_TRUE(output.setFormat(44100, 2)) << output.errorString().toStdString();

    const std::vector<qint16> samples(2 * 4096, 1000);
    qint64 written = 0;
    for (int i = 0; i < 20; ++i) {
        const qint64 room = output.framesWritable();
        ASSERT_GE(room, 0);
        const qint64 taken = output.write(samples.data(), std::min<qint64>(room, 4096));
        ASSERT_GE(taken, 0);
        written += taken;
    }
    EXPECT_GT(written, 0);

    // A stream that changes its format mid-way (mono, another rate) is taken too.
    ASSERT_TRUE(output.setFormat(22050, 1));
    EXPECT_GE(output.write(samples.data(), 1024), 0);

    output.close();
    EXPECT_EQ(output.write(samples.data(), 16), -1);
    output.close(); // closing twice is harmless
}

TEST(AlsaAudioOutput, MissingDeviceFailsWithAReason)
{
    platform::AlsaAudioOutput output(QByteArrayLiteral("vorlane_no_such_device"));
    EXPECT_FALSE(output.open());
    EXPECT_FALSE(output.errorString().isEmpty());
    EXPECT_FALSE(output.setFormat(44100, 2));
    EXPECT_EQ(output.framesWritable(), -1);
}

TEST(NullAudioOutput, CountsWhatItIsGivenAcrossOutputs)
{
    auto counters = std::make_shared<platform::NullAudioCounters>();
    const std::vector<qint16> samples = {100, -300, 200, 50};
    {
        platform::NullAudioOutput output(counters);
        EXPECT_EQ(output.write(samples.data(), 2), -1); // not open
        ASSERT_TRUE(output.open());
        EXPECT_FALSE(output.setFormat(0, 2));
        ASSERT_TRUE(output.setFormat(44100, 2));
        EXPECT_EQ(output.write(samples.data(), 2), 2);
        EXPECT_TRUE(counters->open);
    }
    // The counters outlive the output, which closed itself.
    EXPECT_FALSE(counters->open);
    EXPECT_EQ(counters->opens, 1);
    EXPECT_EQ(counters->framesWritten, 2);
    EXPECT_EQ(counters->peaks[0], 200);
    EXPECT_EQ(counters->peaks[1], 300);
}
