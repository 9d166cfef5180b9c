#include "engine/streamoverlap.h"

#include <algorithm>
#include <cstring>

namespace engine
{

namespace
{

// Frames of the fresh stream that must follow each other before its first one
// is trusted as a frame.
constexpr int kRunFrames = 3;
// Places in `written` where the first frame recurs that are compared in full.
// Real audio frames do not recur; digital silence does, and its first
// candidate already decides.
constexpr int kMaxCandidates = 64;
// A stream that shows no run of frames in this many bytes is no MP3 or AAC
// stream, and is written uncompared.
constexpr qsizetype kFrameSearchBytes = 8192;

AudioFrameHeader mpegFrameHeader(const unsigned char *h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return {};
    const int versionBits = (h[1] >> 3) & 3; // 0: 2.5, 2: 2, 3: 1
    const int layerBits = (h[1] >> 1) & 3;   // 1: III, 2: II, 3: I
    const int rateIndex = h[2] >> 4;
    const int sampleIndex = (h[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3)
        return {};
    static const int rates[2][3][15] = {// MPEG-1: layer I, II, III
                                        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
                                         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
                                         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
                                        // MPEG-2 and 2.5: layer I, II and III
                                        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
                                         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static const int sampleRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = versionBits == 3;
    const int layer = 4 - layerBits; // 1, 2 or 3
    const int sampleRate = sampleRates[sampleIndex] >> (mpeg1 ? 0 : (versionBits == 2 ? 1 : 2));
    const int bitRate = rates[mpeg1 ? 0 : 1][layer - 1][rateIndex] * 1000;
    const int padding = (h[2] >> 1) & 1;
    AudioFrameHeader header;
    header.format = 0x1000000u | (static_cast<quint32>(h[1] & 0xFE) << 8) | static_cast<quint32>(sampleIndex);
    header.sampleRate = sampleRate;
    header.mpegLayer3 = layer == 3;
    if (layer == 1) {
        header.length = (12 * bitRate / sampleRate + padding) * 4;
        header.samples = 384;
    } else {
        const bool half = layer == 3 && !mpeg1;
        header.length = (half ? 72 : 144) * bitRate / sampleRate + padding;
        header.samples = half ? 576 : 1152;
    }
    return header;
}

AudioFrameHeader adtsFrameHeader(const unsigned char *h)
{
    // Sync word 0xFFF, layer 00.
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0)
        return {};
    const int rateIndex = (h[2] >> 2) & 0x0F;
    if (rateIndex > 12) // sampling frequency index
        return {};
    const qsizetype length = ((h[3] & 0x03) << 11) | (h[4] << 3) | (h[5] >> 5);
    const qsizetype headerSize = (h[1] & 1) ? 7 : 9;
    if (length <= headerSize)
        return {};
    static const int sampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                        22050, 16000, 12000, 11025, 8000,  7350};
    AudioFrameHeader header;
    header.length = length;
    // Version, profile, rate and channel configuration; not the protection bit.
    header.format = 0x2000000u | (static_cast<quint32>(h[1] & 0x08) << 16) | (static_cast<quint32>(h[2] & 0xFD) << 8) |
                    static_cast<quint32>(h[3] & 0xC0);
    header.samples = 1024 * ((h[6] & 0x03) + 1);
    header.sampleRate = sampleRates[rateIndex];
    return header;
}

} // namespace

AudioFrameHeader audioFrameHeader(const char *data, qsizetype available)
{
    if (available < 7)
        return {};
    const auto *h = reinterpret_cast<const unsigned char *>(data);
    const AudioFrameHeader mpeg = mpegFrameHeader(h);
    return mpeg.length > 0 ? mpeg : adtsFrameHeader(h);
}

qsizetype audioFrameLength(const char *data, qsizetype available)
{
    return audioFrameHeader(data, available).length;
}

qsizetype firstFrameRun(const QByteArray &data, qsizetype from, int frames)
{
    const char *bytes = data.constData();
    const qsizetype size = data.size();
    for (qsizetype at = std::max<qsizetype>(from, 0); at + 7 <= size; ++at) {
        if (static_cast<unsigned char>(bytes[at]) != 0xFF)
            continue;
        qsizetype next = at;
        int found = 0;
        while (found < frames) {
            const qsizetype length = audioFrameLength(bytes + next, size - next);
            if (length == 0 || next + length > size)
                break;
            next += length;
            ++found;
        }
        if (found == frames)
            return at;
    }
    return -1;
}

Overlap findOverlap(const QByteArray &written, const QByteArray &fresh, bool final)
{
    const qsizetype first = firstFrameRun(fresh, 0, kRunFrames);
    if (first < 0)
        return {final || fresh.size() >= kFrameSearchBytes ? Overlap::Outcome::New : Overlap::Outcome::Undecided, 0};
    const qsizetype frameLength = audioFrameLength(fresh.constData() + first, fresh.size() - first);
    const QByteArray frame = QByteArray::fromRawData(fresh.constData() + first, frameLength);
    const qsizetype available = fresh.size() - first;

    // The earliest place is the longest repeat; it decides alone once it
    // either fails or has been compared to its end.
    qsizetype at = written.indexOf(frame);
    for (int candidate = 0; at >= 0 && candidate < kMaxCandidates; ++candidate) {
        const qsizetype rest = written.size() - at;
        const qsizetype compared = std::min(rest, available);
        if (std::memcmp(written.constData() + at, fresh.constData() + first, static_cast<size_t>(compared)) == 0) {
            if (available >= rest)
                return {Overlap::Outcome::Repeats, first + rest};
            if (final)
                return {Overlap::Outcome::Repeats, fresh.size()};
            return {Overlap::Outcome::Undecided, 0};
        }
        at = written.indexOf(frame, at + 1);
    }
    return {Overlap::Outcome::New, 0};
}

void WrittenTail::append(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    m_blocks.push_back(data);
    m_size += data.size();
    m_joinedValid = false;
    if (m_size <= 2 * kKeepBytes)
        return;
    qsizetype drop = m_size - kKeepBytes;
    m_size = kKeepBytes;
    while (drop > 0) {
        const qsizetype first = m_blocks.front().size() - m_skip;
        if (first > drop) {
            m_skip += drop;
            break;
        }
        drop -= first;
        m_blocks.pop_front();
        m_skip = 0;
    }
}

void WrittenTail::clear()
{
    m_blocks.clear();
    m_skip = 0;
    m_size = 0;
    m_joined.clear();
    m_joinedValid = true;
}

const QByteArray &WrittenTail::bytes() const
{
    if (!m_joinedValid) {
        m_joined.clear();
        m_joined.reserve(m_size);
        qsizetype skip = m_skip;
        for (const QByteArray &block : m_blocks) {
            m_joined.append(block.constData() + skip, block.size() - skip);
            skip = 0;
        }
        m_joinedValid = true;
    }
    return m_joined;
}

} // namespace engine
