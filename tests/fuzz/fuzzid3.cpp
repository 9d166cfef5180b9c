// ID3 tags in segments: any bytes give a tag size within the data, titles no
// longer than the data, and packed-audio splitting that loses no byte.
#include "fuzzcheck.h"
#include "sources/hlssegment.h"
#include "sources/id3tag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    const qsizetype tagSize = sources::id3::leadingTagSize(bytes);
    FUZZ_CHECK(tagSize >= 0 && tagSize <= bytes.size());
    if (const std::optional<sources::id3::Tag> tag = sources::id3::readTag(bytes)) {
        FUZZ_CHECK(tag->title.size() <= bytes.size() && tag->artist.size() <= bytes.size());
        if (tag->timestamp90k)
            FUZZ_CHECK(*tag->timestamp90k >= 0 && *tag->timestamp90k < (qint64(1) << 33));
    }
    // Bytes that open with a tag are taken as packed audio only when audio follows it.
    const sources::hls::SegmentAudio audio = sources::hls::segmentAudio(bytes);
    if (!audio.id3.isEmpty())
        FUZZ_CHECK(audio.id3 + audio.audio == bytes);
    for (const sources::hls::SegmentTitle &title : audio.titles)
        FUZZ_CHECK(title.audioOffset >= 0 && title.audioOffset <= audio.audio.size());
    return 0;
}
