// In-band metadata: the parser separates any bytes, cut anywhere, into audio
// and blocks without losing or inventing a byte, and titles become file names
// that stay in their folder.
#include "engine/metadataparser.h"
#include "engine/streamtitle.h"
#include "fuzzcheck.h"

namespace
{

class CountingSink final : public MetadataParser::Sink
{
public:
    void streamAudio(const QByteArray &packet, qsizetype from, qsizetype length) override
    {
        FUZZ_CHECK(from >= 0 && length >= 0 && from + length <= packet.size());
        audio += length;
    }
    void metadataBlock(const QByteArray &text) override
    {
        FUZZ_CHECK(!text.isEmpty() && text.size() % 16 == 0);
        blocks += text.size();
        const QByteArray name = cleanFileName(extractStreamTitle(text));
        FUZZ_CHECK(!name.contains('/') && !name.contains('\0'));
    }
    qsizetype audio = 0;
    qsizetype blocks = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte picks the interval, the second where the input is cut.
    const qint32 interval = data[0];
    const QByteArray stream = fuzz::bytes(data + 2, size - 2);
    const qsizetype cut = stream.isEmpty() ? 0 : data[1] % (stream.size() + 1);

    MetadataParser parser(interval);
    CountingSink sink;
    parser.separate(stream.left(cut), sink);
    parser.separate(stream.mid(cut), sink);
    FUZZ_CHECK(parser.leftover() >= 0 && parser.partialBlock().size() <= 16 * 255);
    // Every byte is audio, a length byte, a block's text, or still held for the block under way.
    FUZZ_CHECK(sink.audio + sink.blocks + parser.partialBlock().size() <= stream.size());
    return 0;
}
