// Live playlists from real HLS producers, served from the folder they write
// to: what the station hands out is the audio of the segments, byte for byte,
// with nothing lost.
#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "eventwait.h"
#include "hlsmedia.h"
#include "platform/clock.h"
#include "sources/hlsstation.h"
#include "teststation/station.h"

namespace
{

class HlsProducers : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        station.config().folders["/hls"] = dir.path();
        ASSERT_TRUE(station.start());
        QObject::connect(&hls, &sources::HlsStation::audio, &hls,
                         [this](const QByteArray &data, sources::hls::AudioFormat) { recorded += data; });
        QObject::connect(&hls, &sources::HlsStation::finished, &hls, [this] { finished = true; });
    }
    void TearDown() override
    {
        producer.kill();
        producer.waitForFinished();
    }

    // Starts recording once the producer wrote its playlist.
    void record(const QString &playlist)
    {
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(dir.filePath(playlist)); }, 20000));
        hls.start(QUrl::fromEncoded(station.url("/hls/" + playlist.toUtf8())));
    }

    // The segment files fetched, in the order they were asked for.
    QStringList fetchedSegments(const QString &pattern) const
    {
        const QRegularExpression name(QStringLiteral("^/hls/(") + pattern + QStringLiteral(")$"));
        QStringList names;
        for (const teststation::RequestRecord &r : station.requests()) {
            const QRegularExpressionMatch m = name.match(QString::fromLatin1(r.target));
            if (m.hasMatch() && !names.contains(m.captured(1)))
                names.append(m.captured(1));
        }
        return names;
    }

    QByteArray referenceAudio(const QStringList &segments, const char *format) const
    {
        QByteArray audio;
        for (const QString &segment : segments)
            audio += copiedAudio(dir.path(), segment, format);
        return audio;
    }

    QTemporaryDir dir;
    teststation::Station station;
    platform::SystemClock clock;
    QNetworkAccessManager network;
    sources::HlsStation hls{network, clock, {{}, sources::hls::Preference::HighestBandwidth}};
    QProcess producer;
    QByteArray recorded;
    bool finished = false;
};

} // namespace

TEST_F(HlsProducers, FfmpegMuxerToItsEnd)
{
    producer.setWorkingDirectory(dir.path());
    // Old segments stay on disk a while after they leave the window, as the reference.
    producer.start(QStringLiteral("ffmpeg"), words({"-nostdin",
                                                    "-loglevel",
                                                    "error",
                                                    "-re",
                                                    "-f",
                                                    "lavfi",
                                                    "-i",
                                                    "sine=frequency=440:sample_rate=44100:duration=10",
                                                    "-c:a",
                                                    "aac",
                                                    "-b:a",
                                                    "64k",
                                                    "-f",
                                                    "hls",
                                                    "-hls_time",
                                                    "2",
                                                    "-hls_list_size",
                                                    "5",
                                                    "-hls_flags",
                                                    "delete_segments",
                                                    "-hls_delete_threshold",
                                                    "20",
                                                    "live.m3u8"}));
    record(QStringLiteral("live.m3u8"));
    ASSERT_TRUE(waitUntil([&] { return finished; }, 30000));

    const QStringList segments = fetchedSegments(QStringLiteral("live\\d+\\.ts"));
    ASSERT_GE(segments.size(), 5);
    for (int i = 0; i < segments.size(); ++i)
        EXPECT_EQ(segments[i], QStringLiteral("live%1.ts").arg(i));
    EXPECT_EQ(hls.segmentsFetched(), segments.size());
    EXPECT_EQ(hls.lostSegments(), 0);
    EXPECT_TRUE(recorded == referenceAudio(segments, "adts")) << recorded.size() << " bytes recorded";
}

TEST_F(HlsProducers, LiquidsoapOutputFileHls)
{
    const QString liquidsoap = QStandardPaths::findExecutable(QStringLiteral("liquidsoap"));
    if (liquidsoap.isEmpty())
        GTEST_SKIP() << "liquidsoap is not installed";
    // A master playlist naming one MP3 stream; segments beyond the window are kept a while.
    producer.start(liquidsoap, {QStringLiteral("settings.init.allow_root.set(true)\n"
                                               "settings.log.file.set(false)\n"
                                               "output.file.hls(playlist=\"live.m3u8\", segment_duration=2.0, "
                                               "segments=5, segments_overhead=10, \"") +
                                dir.path() + QStringLiteral("\", [(\"mp3\", %mp3(bitrate=128))], sine())")});
    record(QStringLiteral("live.m3u8"));
    ASSERT_TRUE(waitUntil([&] { return hls.segmentsFetched() >= 5; }, 30000));
    hls.stop();

    const QStringList segments = fetchedSegments(QStringLiteral("mp3_\\d+\\.mp3")).mid(0, 5);
    ASSERT_EQ(segments.size(), 5);
    const int first = segments[0].mid(4).section(QLatin1Char('.'), 0, 0).toInt();
    for (int i = 0; i < segments.size(); ++i)
        EXPECT_EQ(segments[i], QStringLiteral("mp3_%1.mp3").arg(first + i));
    EXPECT_EQ(hls.lostSegments(), 0);
    EXPECT_TRUE(recorded == referenceAudio(segments, "mp3")) << recorded.size() << " bytes recorded";
}
