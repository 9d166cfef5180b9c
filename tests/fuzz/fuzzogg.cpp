// Ogg pages: any bytes, cut anywhere, come out as the same bytes in files;
// comment titles are read within their packet.
#include "engine/oggsplitter.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray stream = fuzz::bytes(data + 1, size - 1);
    const qsizetype every = 1 + data[0] * 64;

    engine::OggSplitter splitter;
    QByteArray out;
    for (qsizetype at = 0; at < stream.size(); at += every) {
        splitter.addAudio(stream.mid(at, every));
        FUZZ_CHECK(splitter.heldBytes() <= 2 * 65307 + 128 * 1024 + every);
        for (const auto &piece : splitter.take())
            out += piece.audio;
    }
    splitter.flush();
    for (const auto &piece : splitter.take())
        out += piece.audio;
    FUZZ_CHECK(out == stream);
    const QByteArray title = engine::oggCommentTitle(stream);
    FUZZ_CHECK(title.size() <= stream.size() + 3);
    return 0;
}
