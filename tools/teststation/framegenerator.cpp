#include "teststation/framegenerator.h"

#include <cstring>

namespace teststation
{

namespace
{

constexpr int kSampleRate = 44100;
constexpr int kBitRates[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kSideInfoBytes = 32; // MPEG-1, two channels

// The frequency lines of every granule and channel: one quantised value +1 at line 7
// (in the lowest subband), coded in the count1 region with quadruple table B
// (4-bit codes, the complement of the four values), then its sign bit:
// lines 0-3 "1111", lines 4-7 "1110", sign "0".
constexpr quint32 kToneBits = 0x1fc; // 1 1111 1100 read as 9 bits: 111111100
constexpr int kToneBitCount = 9;
// Gain 198 sets the amplitude to 2^((198 - 210) / 4) = 1/8 of full scale.
constexpr int kToneGain = 198;

class BitWriter final
{
public:
    explicit BitWriter(uchar *out)
        : m_out(out)
    {}
    void put(quint32 value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if ((value >> i) & 1)
                m_out[m_bit / 8] |= static_cast<uchar>(0x80 >> (m_bit % 8));
            ++m_bit;
        }
    }
    int bytesUsed() const { return (m_bit + 7) / 8; }

private:
    uchar *m_out;
    int m_bit = 0;
};

} // namespace

FrameGenerator::FrameGenerator(int bitRateKbps, bool tone, quint32 seed)
    : m_bitRateKbps(isValidBitRate(bitRateKbps) ? bitRateKbps : 128)
    , m_bitRateIndex(0)
    , m_tone(tone)
    , m_random(seed ? seed : 1)
{
    for (int i = 1; i < 15; ++i) {
        if (kBitRates[i] == m_bitRateKbps)
            m_bitRateIndex = i;
    }
}

bool FrameGenerator::isValidBitRate(int bitRateKbps)
{
    for (int i = 1; i < 15; ++i) {
        if (kBitRates[i] == bitRateKbps)
            return true;
    }
    return false;
}

void FrameGenerator::setSongs(int toneFrames, int silentFrames)
{
    m_toneFrames = qMax(0, toneFrames);
    m_silentFrames = qMax(0, silentFrames);
    m_frameNumber = 0;
}

qint64 FrameGenerator::bytesBefore(int bitRateKbps, qint64 frames)
{
    // The padding above makes the first n frames floor(n * 144 * rate / 44100) bytes.
    return frames * 144 * bitRateKbps * 1000 / kSampleRate;
}

void FrameGenerator::read(char *destination, qint64 n)
{
    while (n > 0) {
        if (m_position >= m_frame.size())
            nextFrame();
        const qint64 take = qMin<qint64>(n, m_frame.size() - m_position);
        std::memcpy(destination, m_frame.constData() + m_position, static_cast<size_t>(take));
        destination += take;
        m_position += take;
        n -= take;
    }
}

QByteArray FrameGenerator::read(qint64 n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    read(bytes.data(), n);
    return bytes;
}

void FrameGenerator::nextFrame()
{
    // Padding slots spread the fractional frame length evenly.
    const int numerator = 144 * m_bitRateKbps * 1000;
    m_paddingRest += numerator % kSampleRate;
    bool padding = false;
    if (m_paddingRest >= kSampleRate) {
        m_paddingRest -= kSampleRate;
        padding = true;
    }
    const int length = numerator / kSampleRate + (padding ? 1 : 0);
    if (m_silentFrames > 0) {
        m_tone = m_frameNumber % (m_toneFrames + m_silentFrames) < m_toneFrames;
        ++m_frameNumber;
    }

    m_frame.fill('\0', length);
    auto *frame = reinterpret_cast<uchar *>(m_frame.data());
    frame[0] = 0xff;
    frame[1] = 0xfb;                                                          // MPEG-1, Layer III, no CRC
    frame[2] = static_cast<uchar>((m_bitRateIndex << 4) | (padding ? 2 : 0)); // 44.1 kHz
    frame[3] = 0x00;                                                          // stereo

    BitWriter side(frame + 4);
    side.put(0, 9); // main_data_begin: no bit reservoir
    side.put(0, 3); // private bits
    side.put(0, 8); // scfsi, both channels
    for (int granuleChannel = 0; granuleChannel < 4; ++granuleChannel) {
        side.put(m_tone ? kToneBitCount : 0, 12); // part2_3_length
        side.put(0, 9);                           // big_values
        side.put(m_tone ? kToneGain : 0, 8);      // global_gain
        side.put(0, 4);                           // scalefac_compress: no scale factor bits
        side.put(0, 1);                           // window_switching_flag: long blocks
        side.put(0, 15);                          // table_select x3
        side.put(0, 4);                           // region0_count
        side.put(0, 3);                           // region1_count
        side.put(0, 1);                           // preflag
        side.put(0, 1);                           // scalefac_scale
        side.put(1, 1);                           // count1table_select: table B
    }

    int ancillary = 4 + kSideInfoBytes;
    if (m_tone) {
        BitWriter main(frame + ancillary);
        for (int granuleChannel = 0; granuleChannel < 4; ++granuleChannel)
            main.put(kToneBits, kToneBitCount);
        ancillary += main.bytesUsed();
    }
    for (int i = ancillary; i < length; ++i) {
        m_random ^= m_random << 13;
        m_random ^= m_random >> 17;
        m_random ^= m_random << 5;
        frame[i] = static_cast<uchar>(0x80 + (m_random >> 8) % 127); // 0x80..0xFE
    }
    m_position = 0;
}

} // namespace teststation
