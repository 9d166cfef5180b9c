// Stream replies: status and header lookup take any bytes, and a header value
// never holds a line end.
#include "fuzzcheck.h"
#include "sources/httpreply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray received = fuzz::bytes(data, size);
    if (const std::optional<sources::HttpStatus> status = sources::httpStatus(received))
        FUZZ_CHECK(status->code >= 0 && status->code <= 999);
    for (const char *name : {"Location", "Content-Type", "Transfer-Encoding"}) {
        if (const std::optional<QByteArray> value = sources::headerValue(received, name))
            FUZZ_CHECK(!value->contains('\n'));
    }
    return 0;
}
