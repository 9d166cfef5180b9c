// Web replies to the playlist reader: completion, chunk decoding and header
// lookup take any bytes, never grow the reply, and a header value never holds
// a line end.
#include "fuzzcheck.h"
#include "sources/httpreply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray received = fuzz::bytes(data, size);
    for (const bool closed : {false, true}) {
        const std::optional<QByteArray> reply = sources::completeHttpReply(received, closed);
        if (closed)
            FUZZ_CHECK(reply.has_value());
        if (reply)
            FUZZ_CHECK(reply->size() <= received.size());
    }
    if (const std::optional<sources::HttpStatus> status = sources::httpStatus(received))
        FUZZ_CHECK(status->code >= 0 && status->code <= 999);
    for (const char *name : {"Location", "Content-Type", "Transfer-Encoding"}) {
        if (const std::optional<QByteArray> value = sources::headerValue(received, name))
            FUZZ_CHECK(!value->contains('\n'));
    }
    return 0;
}
