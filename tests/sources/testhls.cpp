#include <gtest/gtest.h>

#include "fakeclock.h"
#include "sources/hlsfollower.h"
#include "sources/hlsplaylist.h"

using namespace sources::hls;

namespace
{

const QUrl base(QStringLiteral("https://radio.example/live/index.m3u8?token=1"));

MediaPlaylist media(const QByteArray &text)
{
    const std::optional<Playlist> playlist = parsePlaylist(text, base);
    EXPECT_TRUE(playlist && !playlist->isMaster);
    return playlist ? playlist->media : MediaPlaylist();
}

// A live window of count 4-second segments from first on.
MediaPlaylist window(qint64 first, int count, bool end = false)
{
    QByteArray text = "#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(first) + "\n";
    for (int i = 0; i < count; ++i)
        text += "#EXTINF:4.0,\nseg" + QByteArray::number(first + i) + ".aac\n";
    if (end)
        text += "#EXT-X-ENDLIST\n";
    return media(text);
}

QList<qint64> sequences(const QList<Segment> &segments)
{
    QList<qint64> out;
    for (const Segment &s : segments)
        out.append(s.sequence);
    return out;
}

} // namespace

TEST(HlsPlaylist, RecognisedByTagLinesOnly)
{
    EXPECT_TRUE(isHlsText("\xEF\xBB\xBF#EXTM3U\r\n#EXT-X-VERSION:3\r\nseg.ts\r\n"));
    EXPECT_FALSE(isHlsText("#EXTM3U\n#EXTINF:-1,Radio\nhttp://a/x\n"));
    EXPECT_FALSE(isHlsText("[playlist]\nTitle1=#EXT-X-none\nFile1=http://a/x\n"));
}

TEST(HlsPlaylist, MasterVariantsAudioOnlyFirstByPreference)
{
    const std::optional<Playlist> playlist = parsePlaylist(
        "#EXTM3U\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=800000,CODECS=\"avc1.4d401f,mp4a.40.2\",RESOLUTION=640x360\nvideo.m3u8\n"
        "#EXT-X-STREAM-INF:BANDWIDTH=64000,CODECS=\"mp4a.40.5\"\nlow/index.m3u8\n"
        "#EXT-X-STREAM-INF:CODECS=\"mp4a.40.2\",BANDWIDTH=128000\n/high.m3u8\n",
        base);
    ASSERT_TRUE(playlist && playlist->isMaster);
    ASSERT_EQ(playlist->variants.size(), 3);
    EXPECT_EQ(playlist->variants[1].uri, QUrl(QStringLiteral("https://radio.example/live/low/index.m3u8")));
    EXPECT_EQ(playlist->variants[1].codecs, "mp4a.40.5");

    const QList<Variant> high = variantsToTry(playlist->variants, Preference::HighestBandwidth);
    EXPECT_EQ((QList<qint64>{high[0].bandwidth, high[1].bandwidth, high[2].bandwidth}),
              (QList<qint64>{128000, 64000, 800000}));
    const QList<Variant> low = variantsToTry(playlist->variants, Preference::LowestBandwidth);
    EXPECT_EQ((QList<qint64>{low[0].bandwidth, low[1].bandwidth, low[2].bandwidth}),
              (QList<qint64>{64000, 128000, 800000}));
    // Without any audio-only variant every variant is a choice.
    EXPECT_EQ(variantsToTry({playlist->variants[0]}, Preference::LowestBandwidth).size(), 1);
}

TEST(HlsPlaylist, MediaTagsApplyToTheSegmentsTheyPrecede)
{
    const MediaPlaylist m =
        media("#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:6\n"
              "#EXT-X-MEDIA-SEQUENCE:1200\n#EXT-X-MAP:URI=\"init.mp4\"\n"
              "#EXTINF:5.952,title=\"Night, Song\",artist=\"The Band\"\nseg1200.m4s\n"
              "# a comment\n\n"
              "#EXT-X-DISCONTINUITY\n#EXTINF:6,Plain Title\nhttps://cdn.example/seg1201.m4s\n"
              "stray-uri-without-extinf.m4s\n"
              "#EXT-X-MEDIA-SEQUENCE:5\n#EXT-X-KEY:METHOD=AES-128,URI=\"key\"\n#EXTINF:6,\nseg1202.m4s\n"
              "#EXT-X-ENDLIST\n");
    EXPECT_EQ(m.targetDuration, 6);
    EXPECT_TRUE(m.endList);
    ASSERT_EQ(m.segments.size(), 3);
    const Segment &a = m.segments[0];
    EXPECT_EQ(a.sequence, 1200);
    EXPECT_DOUBLE_EQ(a.duration, 5.952);
    EXPECT_EQ(a.title, QStringLiteral("Night, Song"));
    EXPECT_EQ(a.artist, QStringLiteral("The Band"));
    EXPECT_EQ(a.uri, QUrl(QStringLiteral("https://radio.example/live/seg1200.m4s")));
    EXPECT_EQ(a.initSection, QUrl(QStringLiteral("https://radio.example/live/init.mp4")));
    EXPECT_FALSE(a.discontinuity);
    EXPECT_EQ(a.keyMethod, "NONE");
    const Segment &b = m.segments[1];
    EXPECT_EQ(b.sequence, 1201);
    EXPECT_TRUE(b.discontinuity);
    EXPECT_EQ(b.title, QStringLiteral("Plain Title"));
    EXPECT_EQ(b.uri, QUrl(QStringLiteral("https://cdn.example/seg1201.m4s")));
    EXPECT_EQ(m.segments[2].keyMethod, "AES-128");
    EXPECT_EQ(m.segments[2].sequence, 1202); // a late MEDIA-SEQUENCE renumbers nothing
    EXPECT_FALSE(m.segments[2].discontinuity);
}

TEST(HlsPlaylist, RefusesWhatIsNotAPlaylist)
{
    EXPECT_FALSE(parsePlaylist("#EXTINF:4,\nseg.ts\n", base));                // no #EXTM3U
    EXPECT_FALSE(parsePlaylist("#EXTM3U\n#EXTINF:4,\nseg.ts\n", base));       // no target duration
    EXPECT_FALSE(parsePlaylist("#EXTM3U\n#EXT-X-TARGETDURATION:-3\n", base)); // nonsense target
    EXPECT_FALSE(parsePlaylist("#EXTM3U\n" + QByteArray(MaxPlaylistBytes, '#'), base));
}

TEST(HlsFollower, HandsOutEachSegmentOnceAndCountsWhatWasLost)
{
    FakeClock clock;
    clock.setSelfStepping(false);
    LiveFollower follower(clock);

    LiveFollower::Update u = follower.accept(window(10, 3));
    EXPECT_EQ(sequences(u.fresh), (QList<qint64>{10, 11, 12}));
    follower.fetched(10);
    ASSERT_TRUE(follower.nextSegment());
    EXPECT_EQ(follower.nextSegment()->sequence, 11); // 11 failed: still to fetch

    // The window slid by two; 11 is still listed, so it may be retried.
    u = follower.accept(window(11, 4));
    EXPECT_EQ(sequences(u.fresh), (QList<qint64>{13, 14}));
    EXPECT_EQ(u.lostSegments, 0);
    follower.fetched(12);

    // 11, 13 and 14 leave unfetched; 15 to 20 came and went between reloads.
    clock.advance(40000);
    u = follower.accept(window(21, 2));
    EXPECT_EQ(sequences(u.fresh), (QList<qint64>{21, 22}));
    EXPECT_TRUE(u.fresh[0].discontinuity);
    EXPECT_EQ(u.lostSegments, 3 + 6);
    EXPECT_DOUBLE_EQ(u.lostSeconds, 9 * 4.0);
    EXPECT_EQ(follower.nextSegment()->sequence, 21);

    // A shorter window that moved back lists nothing new and loses nothing.
    u = follower.accept(window(20, 2));
    EXPECT_TRUE(u.fresh.isEmpty());
    EXPECT_EQ(u.lostSegments, 0);
    EXPECT_EQ(follower.lostSegments(), 9);

    // A restarted server numbers anew, lower or further ahead than time allows:
    // all of its window is new, nothing listed is lost, the audio breaks.
    follower.fetched(21);
    for (const qint64 restart : {qint64(0), qint64(1) << 40}) {
        u = follower.accept(window(restart, 2));
        EXPECT_EQ(sequences(u.fresh), (QList<qint64>{restart, restart + 1}));
        EXPECT_TRUE(u.fresh[0].discontinuity && !u.fresh[1].discontinuity);
        EXPECT_EQ(u.lostSegments, restart == 0 ? 1 : 0); // 22, still pending, is no longer listed
        follower.fetched(restart);
        follower.fetched(restart + 1);
    }
}

TEST(HlsFollower, ReloadsAtTargetDurationOrHalfOfItWhenUnchanged)
{
    FakeClock clock;
    clock.setSelfStepping(false);
    LiveFollower follower(clock);

    follower.reloadStarted();
    clock.advance(300); // the reply took a while: the wait counts from the request
    EXPECT_TRUE(follower.accept(window(1, 3)).changed);
    EXPECT_EQ(follower.msUntilReload(), 3700);

    clock.advance(4000);
    follower.reloadStarted();
    EXPECT_FALSE(follower.accept(window(1, 3)).changed);
    EXPECT_EQ(follower.msUntilReload(), 2000);
    clock.advance(2500);
    EXPECT_EQ(follower.msUntilReload(), 0);

    follower.reloadStarted();
    const LiveFollower::Update last = follower.accept(window(2, 3, true));
    EXPECT_TRUE(last.ended);
    EXPECT_EQ(sequences(last.fresh), (QList<qint64>{4}));
    EXPECT_FALSE(follower.msUntilReload());
}

TEST(HlsFollower, RefusesEncryptedSegmentsAndSaysSo)
{
    FakeClock clock;
    LiveFollower follower(clock);
    const LiveFollower::Update u = follower.accept(
        media("#EXTM3U\n#EXT-X-TARGETDURATION:4\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"k\"\n#EXTINF:4,\na.ts\n"));
    EXPECT_TRUE(u.fresh.isEmpty());
    EXPECT_TRUE(u.refusal.contains(QStringLiteral("encrypts"))) << u.refusal.toStdString();
    EXPECT_TRUE(u.refusal.contains(QStringLiteral("SAMPLE-AES")));
    EXPECT_FALSE(follower.nextSegment());
    EXPECT_FALSE(follower.msUntilReload());
    EXPECT_FALSE(follower.accept(window(1, 1)).refusal.isEmpty());
}
