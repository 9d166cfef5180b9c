// HLS playlists from stations: any text parses in bounded time, numbers its
// segments in sequence, and a follower given it twice hands each segment out once.
#include <QSet>

#include "fuzzcheck.h"
#include "platform/clock.h"
#include "sources/hlsfollower.h"
#include "sources/hlsplaylist.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace sources::hls;
    const QByteArray text = fuzz::bytes(data, size);
    const std::optional<Playlist> playlist = parsePlaylist(text, QUrl(QStringLiteral("http://host.example/a/b.m3u8")));
    if (!playlist)
        return 0;
    FUZZ_CHECK(isHlsText(text));
    FUZZ_CHECK(variantsToTry(playlist->variants, Preference::LowestBandwidth).size() == playlist->variants.size());
    const MediaPlaylist &media = playlist->media;
    for (qsizetype i = 0; i < media.segments.size(); ++i) {
        FUZZ_CHECK(media.segments[i].sequence == media.mediaSequence + i);
        FUZZ_CHECK(std::isfinite(media.segments[i].duration) && media.segments[i].duration >= 0);
    }
    if (playlist->isMaster || media.targetDuration <= 0)
        return 0;
    static platform::SystemClock clock;
    LiveFollower follower(clock);
    QSet<qint64> handedOut;
    for (int reload = 0; reload < 2; ++reload) {
        const LiveFollower::Update update = follower.accept(media);
        for (const Segment &segment : update.fresh) {
            FUZZ_CHECK(!handedOut.contains(segment.sequence));
            handedOut.insert(segment.sequence);
        }
        FUZZ_CHECK(update.lostSegments >= 0 && update.lostSeconds >= 0);
    }
    return 0;
}
