#include "sources/hlssegment.h"

#include <QCoreApplication>

#include <cstring>
#include <memory>

#include "sources/id3tag.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace sources::hls
{
namespace
{

constexpr qsizetype MaxTitlesPerSegment = 64;

QString failure(const char *why)
{
    return QCoreApplication::translate("SegmentAudio", why);
}

bool isAdtsSync(const QByteArray &d, qsizetype at)
{
    return at + 1 < d.size() && quint8(d[at]) == 0xFF && (quint8(d[at + 1]) & 0xF6) == 0xF0;
}

bool isMpegSync(const QByteArray &d, qsizetype at)
{
    // Frame sync, a layer other than "reserved", a bit rate other than "bad".
    return at + 2 < d.size() && quint8(d[at]) == 0xFF && (quint8(d[at + 1]) & 0xE0) == 0xE0 &&
           (quint8(d[at + 1]) & 0x06) != 0 && (quint8(d[at + 2]) & 0xF0) != 0xF0;
}

// The in-memory input libavformat reads through.
struct Input
{
    QByteArray data;
    qint64 pos = 0;

    static int read(void *opaque, uint8_t *buf, int size)
    {
        auto *in = static_cast<Input *>(opaque);
        const qint64 n = qMin<qint64>(size, in->data.size() - in->pos);
        if (n <= 0)
            return AVERROR_EOF;
        std::memcpy(buf, in->data.constData() + in->pos, size_t(n));
        in->pos += n;
        return int(n);
    }

    static int64_t seek(void *opaque, int64_t offset, int whence)
    {
        auto *in = static_cast<Input *>(opaque);
        if (whence & AVSEEK_SIZE)
            return in->data.size();
        qint64 target = offset;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            target += in->pos;
            break;
        case SEEK_END:
            target += in->data.size();
            break;
        default:
            return -1;
        }
        if (target < 0 || target > in->data.size())
            return -1;
        in->pos = target;
        return target;
    }
};

struct FormatCloser
{
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct IoCloser
{
    void operator()(AVIOContext *io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct PacketFree
{
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

// The ADTS header of one raw AAC frame, from the AudioSpecificConfig of the
// stream; nothing for configurations ADTS cannot express.
std::optional<QByteArray> adtsHeader(const AVCodecParameters &par, int payload)
{
    if (par.extradata_size < 2 || payload + 7 > 0x1FFF)
        return std::nullopt;
    const quint8 *asc = par.extradata;
    int objectType = asc[0] >> 3;
    const int rateIndex = ((asc[0] & 7) << 1) | (asc[1] >> 7);
    const int channels = (asc[1] >> 3) & 0xF;
    // HE-AAC is signalled in ADTS as its AAC-LC core.
    if (objectType == 5 || objectType == 29)
        objectType = 2;
    if (objectType < 1 || objectType > 4 || rateIndex > 12 || channels == 0 || channels > 7)
        return std::nullopt;
    const int length = payload + 7;
    QByteArray h(7, '\0');
    h[0] = char(0xFF);
    h[1] = char(0xF1); // MPEG-4, no CRC
    h[2] = char(((objectType - 1) << 6) | (rateIndex << 2) | (channels >> 2));
    h[3] = char(((channels & 3) << 6) | (length >> 11));
    h[4] = char((length >> 3) & 0xFF);
    h[5] = char(((length & 7) << 5) | 0x1F);
    h[6] = char(0xFC);
    return h;
}

SegmentAudio packedAudio(const QByteArray &segment)
{
    SegmentAudio out;
    const qsizetype tagSize = id3::leadingTagSize(segment);
    out.id3 = segment.left(tagSize);
    out.audio = segment.mid(tagSize);
    out.format = isAdtsSync(out.audio, 0) ? AudioFormat::Aac : AudioFormat::Mpeg;
    if (const std::optional<id3::Tag> tag = id3::readTag(out.id3); tag && !tag->namesNothing())
        out.titles.append({0, tag->title, tag->artist});
    return out;
}

struct Timed
{
    qint64 pts; // in the audio stream's time base
    qsizetype offset;
};

SegmentAudio demuxed(const QByteArray &segment, const QByteArray &initSection)
{
    SegmentAudio out;
    // Segments are network data: what libavformat thinks of a bad one is
    // reported through error, not printed.
    av_log_set_level(AV_LOG_QUIET);
    Input input{initSection + segment, 0};
    constexpr int BufferSize = 16 * 1024;
    auto *buffer = static_cast<unsigned char *>(av_malloc(BufferSize));
    if (!buffer) {
        out.error = failure("Out of memory.");
        return out;
    }
    std::unique_ptr<AVIOContext, IoCloser> io(
        avio_alloc_context(buffer, BufferSize, 0, &input, &Input::read, nullptr, &Input::seek));
    if (!io) {
        av_free(buffer);
        out.error = failure("Out of memory.");
        return out;
    }
    AVFormatContext *raw = avformat_alloc_context();
    if (!raw) {
        out.error = failure("Out of memory.");
        return out;
    }
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&raw, nullptr, nullptr, nullptr) < 0) { // frees raw on failure
        out.error = failure("The segment is neither MPEG-TS nor MP4 audio.");
        return out;
    }
    std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!packet) {
        out.error = failure("Out of memory.");
        return out;
    }

    int audioIndex = -1;
    QList<Timed> framePts;
    QList<std::pair<qint64, id3::Tag>> timedTags; // pts in the audio time base
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        const AVStream *stream = format->streams[packet->stream_index];
        const AVCodecParameters &par = *stream->codecpar;
        const QByteArray data(reinterpret_cast<const char *>(packet->data), packet->size);
        if (par.codec_id == AV_CODEC_ID_TIMED_ID3) {
            // Each timed title is placed by a search through the frames: a
            // segment of seconds has a handful of titles, and more are ignored
            // so that a hostile one cannot make that search quadratic.
            if (timedTags.size() >= MaxTitlesPerSegment) {
                av_packet_unref(packet.get());
                continue;
            }
            if (const std::optional<id3::Tag> tag = id3::readTag(data); tag && !tag->namesNothing())
                timedTags.append({packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                                  : audioIndex < 0              ? packet->pts
                                                                : av_rescale_q(packet->pts, stream->time_base,
                                                                               format->streams[audioIndex]->time_base),
                                  *tag});
        } else if (par.codec_type == AVMEDIA_TYPE_AUDIO && (audioIndex < 0 || audioIndex == packet->stream_index)) {
            const bool aac = par.codec_id == AV_CODEC_ID_AAC;
            const bool mpeg = par.codec_id == AV_CODEC_ID_MP3 || par.codec_id == AV_CODEC_ID_MP2;
            if (aac || mpeg) {
                audioIndex = packet->stream_index;
                out.format = aac ? AudioFormat::Aac : AudioFormat::Mpeg;
                framePts.append({packet->pts, out.audio.size()});
                if (aac && !isAdtsSync(data, 0)) {
                    const std::optional<QByteArray> header = adtsHeader(par, packet->size);
                    if (!header) {
                        out.error = failure("The segment's AAC configuration cannot be written as ADTS.");
                        out.format = AudioFormat::None;
                        out.audio.clear();
                        return out;
                    }
                    out.audio += *header;
                }
                out.audio += data;
            }
        }
        av_packet_unref(packet.get());
    }
    if (out.format == AudioFormat::None) {
        out.error = failure("The segment holds no AAC or MP3 audio.");
        return out;
    }
    // A timed title starts at the first frame at or after its time.
    for (const auto &[pts, tag] : timedTags) {
        qsizetype offset = 0;
        if (pts != AV_NOPTS_VALUE) {
            offset = out.audio.size();
            for (const Timed &frame : framePts) {
                if (frame.pts != AV_NOPTS_VALUE && frame.pts >= pts) {
                    offset = frame.offset;
                    break;
                }
            }
            if (!framePts.isEmpty() && framePts.first().pts != AV_NOPTS_VALUE && pts <= framePts.first().pts)
                offset = 0;
        }
        out.titles.append({offset, tag.title, tag.artist});
    }
    return out;
}

} // namespace

SegmentAudio segmentAudio(const QByteArray &segment, const QByteArray &initSection)
{
    if (segment.size() > MaxSegmentBytes || initSection.size() > MaxSegmentBytes) {
        SegmentAudio out;
        out.error = failure("The segment is too large.");
        return out;
    }
    const qsizetype tagSize = id3::leadingTagSize(segment);
    if (initSection.isEmpty() && (isAdtsSync(segment, tagSize) || (tagSize > 0 && isMpegSync(segment, tagSize))))
        return packedAudio(segment);
    return demuxed(segment, initSection);
}

} // namespace sources::hls
