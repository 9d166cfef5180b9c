#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "hlsmedia.h"
#include "sources/hlsplaylist.h"
#include "sources/hlssegment.h"
#include "sources/id3tag.h"

using namespace sources;

namespace
{

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int v : values)
        out.append(char(v));
    return out;
}

QByteArray syncSafe(quint32 n)
{
    return bytes({int((n >> 21) & 0x7F), int((n >> 14) & 0x7F), int((n >> 7) & 0x7F), int(n & 0x7F)});
}

QByteArray bigEndian(quint32 n)
{
    return bytes({int(n >> 24) & 0xFF, int(n >> 16) & 0xFF, int(n >> 8) & 0xFF, int(n) & 0xFF});
}

QByteArray frame(int version, const char *id, const QByteArray &body)
{
    return QByteArray(id) + (version == 4 ? syncSafe(body.size()) : bigEndian(body.size())) + QByteArray(2, '\0') +
           body;
}

QByteArray tag(int version, const QByteArray &frames)
{
    return "ID3" + bytes({version, 0, 0}) + syncSafe(frames.size()) + frames;
}

} // namespace

TEST(Id3Tag, TitlesAndTimestampInEveryEncoding)
{
    const QByteArray priv = "com.apple.streaming.transportStreamTimestamp" + QByteArray(1, '\0') + bigEndian(1) +
                            bigEndian(0x00002A30); // 33-bit 90 kHz time, top bit set
    const QByteArray v4 = tag(4, frame(4, "TIT2", "\x03" + QByteArray("Caf\xC3\xA9 Song")) +
                                     frame(4, "TPE1",
                                           QByteArray("\x01\xFF\xFE"
                                                      "A\0B\0\0\0",
                                                      9)) +
                                     frame(4, "PRIV", priv));
    EXPECT_EQ(id3::leadingTagSize(v4 + "audio"), v4.size());
    const std::optional<id3::Tag> a = id3::readTag(v4);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->title, QString::fromUtf8("Caf\xC3\xA9 Song"));
    EXPECT_EQ(a->artist, QStringLiteral("AB"));
    EXPECT_EQ(a->timestamp90k, (qint64(1) << 32) + 0x2A30);

    // v2.3 sizes are plain; a stream title in a TXXX frame, UTF-16 big endian.
    const QByteArray txxx =
        QByteArray("\x02\0T\0i\0t\0l\0e\0\0", 13) + QByteArray("\0S\0t\0r\0e\0a\0m\0T\0i\0t\0l\0e\0=\0'\0X\0'\0;", 32);
    const std::optional<id3::Tag> b = id3::readTag(tag(3, frame(3, "TXXX", txxx) + QByteArray(20, '\0')));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->title, QStringLiteral("X"));
    EXPECT_FALSE(b->timestamp90k);
}

TEST(Id3Tag, LengthsBeyondTheDataAreRefused)
{
    const QByteArray good = frame(4, "TIT2", "\x03Kept");
    QByteArray lying = frame(4, "TPE1", "\x03Lost");
    lying.replace(4, 4, syncSafe(5000));
    const std::optional<id3::Tag> t = id3::readTag(tag(4, good + lying));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->title, QStringLiteral("Kept"));
    EXPECT_TRUE(t->artist.isEmpty());
    // A header claiming more than there is covers what there is.
    QByteArray cut = tag(4, good);
    cut.replace(6, 4, syncSafe(1 << 20));
    EXPECT_EQ(id3::leadingTagSize(cut), cut.size());
    EXPECT_EQ(id3::leadingTagSize("ID3\x04\0\0\x80\0\0\0"), 0); // not sync-safe
    EXPECT_FALSE(id3::readTag("ID3\x02\0\0\0\0\0\0"));          // v2.2
}

// Segments from ffmpeg's HLS muxer come out byte for byte as ffmpeg copies their audio.
class HlsSegments : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    const QStringList sine = words({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=5"});
};

TEST_F(HlsSegments, TransportStreamAndFragmentedMp4AudioAsAdts)
{
    for (const char *type : {"mpegts", "fmp4"}) {
        SCOPED_TRACE(type);
        const QString sub = dir.path() + QLatin1Char('/') + QLatin1String(type);
        QDir().mkpath(sub);
        ASSERT_TRUE(ffmpeg(sub, sine + words({"-c:a", "aac", "-b:a", "64k", "-f", "hls", "-hls_time", "2",
                                              "-hls_segment_type", type, "-hls_playlist_type", "vod", "index.m3u8"})));
        const QUrl base = QUrl::fromLocalFile(sub + QStringLiteral("/index.m3u8"));
        const std::optional<hls::Playlist> playlist =
            hls::parsePlaylist(file(sub + QStringLiteral("/index.m3u8")), base);
        ASSERT_TRUE(playlist);
        ASSERT_GE(playlist->media.segments.size(), 2);
        EXPECT_TRUE(playlist->media.endList);
        for (const hls::Segment &segment : playlist->media.segments) {
            const QByteArray init =
                segment.initSection.isEmpty() ? QByteArray() : file(segment.initSection.toLocalFile());
            const QByteArray data = file(segment.uri.toLocalFile());
            ASSERT_FALSE(data.isEmpty());
            const hls::SegmentAudio audio = hls::segmentAudio(data, init);
            EXPECT_TRUE(audio.error.isEmpty()) << audio.error.toStdString();
            EXPECT_EQ(audio.format, hls::AudioFormat::Aac);
            QFile whole(sub + QStringLiteral("/whole.mp4"));
            ASSERT_TRUE(whole.open(QIODevice::WriteOnly));
            whole.write(init + data);
            whole.close();
            const QByteArray reference = copiedAudio(sub, whole.fileName(), "adts");
            ASSERT_FALSE(reference.isEmpty());
            EXPECT_TRUE(audio.audio == reference) << audio.audio.size() << " bytes, reference " << reference.size();
        }
    }
}

TEST_F(HlsSegments, PackedAudioPassesThroughWithoutItsTag)
{
    ASSERT_TRUE(
        ffmpeg(dir.path(), sine + words({"-c:a", "libmp3lame", "-id3v2_version", "0", "-f", "mp3", "plain.mp3"})));
    ASSERT_TRUE(ffmpeg(dir.path(), sine + words({"-c:a", "aac", "-f", "adts", "plain.aac"})));
    const QByteArray id3 = tag(4, frame(4, "TIT2", "\x03Song") + frame(4, "TPE1",
                                                                       "\x03"
                                                                       "Band"));
    for (const char *name : {"plain.mp3", "plain.aac"}) {
        SCOPED_TRACE(name);
        const QByteArray plain = file(dir.path() + QLatin1Char('/') + QLatin1String(name));
        ASSERT_FALSE(plain.isEmpty());
        const hls::SegmentAudio audio = hls::segmentAudio(id3 + plain);
        EXPECT_TRUE(audio.audio == plain);
        EXPECT_EQ(audio.id3, id3);
        EXPECT_EQ(audio.format, QByteArray(name).endsWith("aac") ? hls::AudioFormat::Aac : hls::AudioFormat::Mpeg);
        ASSERT_EQ(audio.titles.size(), 1);
        EXPECT_EQ(audio.titles[0].title, QStringLiteral("Song"));
        EXPECT_EQ(audio.titles[0].artist, QStringLiteral("Band"));
    }
    // MP3 carried in a transport stream.
    ASSERT_TRUE(ffmpeg(dir.path(), words({"-i", "plain.mp3", "-c", "copy", "-f", "mpegts", "mp3.ts"})));
    const hls::SegmentAudio ts = hls::segmentAudio(file(dir.path() + QStringLiteral("/mp3.ts")));
    EXPECT_EQ(ts.format, hls::AudioFormat::Mpeg);
    EXPECT_TRUE(ts.audio == copiedAudio(dir.path(), QStringLiteral("mp3.ts"), "mp3"));
}

TEST(HlsSegment, NoiseIsAnErrorNotAudio)
{
    for (const QByteArray &noise : QList<QByteArray>{{}, QByteArray(5000, 'x'), "\x47" + QByteArray(400, '\xFF')}) {
        const hls::SegmentAudio audio = hls::segmentAudio(noise);
        EXPECT_EQ(audio.format, hls::AudioFormat::None);
        EXPECT_FALSE(audio.error.isEmpty());
        EXPECT_TRUE(audio.audio.isEmpty());
    }
}
