// A stream server's reply header: every reader of it takes any bytes, and the
// redirect target it yields can never end a request line.
#include "engine/responseheader.h"
#include "fuzzcheck.h"

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
    return 0;
}
