// A stream server's reply header: every reader of it takes any bytes, the
// redirect target it yields can never end a request line, and a reply read on
// as a possible playlist is either one or given back exactly as it came.
#include "engine/playlistreply.h"
#include "engine/responseheader.h"
#include "fuzzcheck.h"
#include "sources/hlsplaylist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray packet = fuzz::bytes(data, size);
    engine::screenPacket(packet, true);
    engine::screenPacket(packet, false);
    engine::refusalTexts(packet, QStringLiteral("Station"), 1);
    if (const std::optional<QByteArray> name = engine::icyName(packet))
        FUZZ_CHECK(name->size() <= packet.size());
    if (const std::optional<qint32> interval = engine::metaInterval(packet))
        FUZZ_CHECK(*interval >= 0);
    engine::bitRate(packet);
    if (const std::optional<QByteArray> location = engine::redirectLocation(packet))
        FUZZ_CHECK(!location->contains('\r') && !location->contains('\n'));
    const qsizetype end = engine::findHeaderEnd(packet);
    FUZZ_CHECK(end >= 0 && end <= packet.size());

    if (end >= 1) {
        PlaylistReply reply;
        const qsizetype bodyAt = end - 1 + 4;
        qsizetype given = bodyAt + (packet.size() - bodyAt) / 2;
        PlaylistReply::Verdict verdict = reply.begin(packet.left(given));
        while (given < packet.size() && verdict == PlaylistReply::Verdict::Reading) {
            verdict = reply.add(packet.mid(given, 3));
            given = std::min<qsizetype>(given + 3, packet.size());
        }
        if (verdict == PlaylistReply::Verdict::Reading)
            verdict = reply.finish();
        if (verdict == PlaylistReply::Verdict::Stream) {
            FUZZ_CHECK(reply.takeReply() == packet.left(given));
        } else {
            FUZZ_CHECK(verdict == PlaylistReply::Verdict::Playlist);
            const QByteArray text = reply.takePlaylist();
            FUZZ_CHECK(text.size() <= packet.size() - bodyAt && sources::hls::isHlsText(text));
        }
    }
    return 0;
}
