#include "mp3frames.h"

namespace mp3frames
{

namespace
{

class BitWriter
{
public:
    BitWriter(QByteArray &bytes, int bitOffset)
        : m_bytes(bytes)
        , m_pos(bitOffset)
    {}
    void put(unsigned value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if ((value >> i) & 1u)
                m_bytes[m_pos / 8] = static_cast<char>(m_bytes.at(m_pos / 8) | (0x80 >> (m_pos % 8)));
            ++m_pos;
        }
    }

private:
    QByteArray &m_bytes;
    int m_pos;
};

// global_gain 206 scales the coded line to half of unit amplitude.
constexpr unsigned kGlobalGain = 206;

} // namespace

QByteArray frame(int channels, bool tone)
{
    QByteArray bytes(kFrameBytes, '\0');
    // Sync, MPEG-1, Layer III, no CRC; 128 kb/s, 44.1 kHz, no padding; stereo or mono, original.
    bytes[0] = static_cast<char>(0xFF);
    bytes[1] = static_cast<char>(0xFB);
    bytes[2] = static_cast<char>(0x90);
    bytes[3] = static_cast<char>(channels == 1 ? 0xC4 : 0x04);

    BitWriter side(bytes, 32);
    side.put(0, 9);                     // main_data_begin: no bit reservoir
    side.put(0, channels == 1 ? 5 : 3); // private bits
    side.put(0, 4 * channels);          // scfsi
    for (int granule = 0; granule < 2; ++granule) {
        for (int ch = 0; ch < channels; ++ch) {
            side.put(tone ? 3 : 0, 12); // part2_3_length: the three bits below
            side.put(tone ? 1 : 0, 9);  // big_values: one pair
            side.put(kGlobalGain, 8);
            side.put(0, 4);            // scalefac_compress: no scale factors
            side.put(0, 1);            // normal long blocks
            side.put(tone ? 1 : 0, 5); // table_select region 0: Huffman table 1
            side.put(0, 5);
            side.put(0, 5);
            side.put(0, 4); // region0_count
            side.put(0, 3); // region1_count
            side.put(0, 3); // preflag, scalefac_scale, count1table_select
        }
    }
    if (tone) {
        // Main data follows the side information: per granule and channel the
        // table 1 code "01" for the pair (1, 0) and a plus sign.
        BitWriter main(bytes, (4 + (channels == 1 ? 17 : 32)) * 8);
        for (int i = 0; i < 2 * channels; ++i)
            main.put(0b010, 3);
    }
    return bytes;
}

QByteArray frames(int count, int channels, bool tone)
{
    const QByteArray one = frame(channels, tone);
    QByteArray all;
    all.reserve(one.size() * count);
    for (int i = 0; i < count; ++i)
        all += one;
    return all;
}

} // namespace mp3frames
