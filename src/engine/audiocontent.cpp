#include "engine/audiocontent.h"

#include <QFile>
#include <QFileInfo>

#include "engine/id3v1tag.h"

namespace engine
{

namespace
{

// Enough for a few frames at any bit rate, and for a reply header before them.
constexpr qint64 kHeadBytes = 16 * 1024;
constexpr qint64 kTagBytes = 128;

// The length of the MPEG audio (layers II and III) or ADTS frame whose header
// starts at p; 0 when no valid header starts there.
int frameLength(const unsigned char *p)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return 0;
    if ((p[1] & 0x06) == 0) {
        if ((p[1] & 0x16) != 0x10)
            return 0; // neither ADTS (MPEG-4/2, layer 00) nor valid MPEG audio
        const int length = ((p[3] & 0x03) << 11) | (p[4] << 3) | (p[5] >> 5);
        return length >= 7 ? length : 0;
    }
    const int version = (p[1] >> 3) & 0x03; // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layer = (p[1] >> 1) & 0x03;   // 1: III, 2: II, 3: I
    const int bitRateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 0x03;
    if (version == 1 || layer == 3 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3)
        return 0;
    static const int kMpeg1Layer3[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kMpeg1Layer2[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const int kMpeg2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    static const int kRates[3] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int kbps = mpeg1 ? (layer == 1 ? kMpeg1Layer3 : kMpeg1Layer2)[bitRateIndex] : kMpeg2[bitRateIndex];
    const int rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int factor = (!mpeg1 && layer == 1) ? 72000 : 144000;
    return factor * kbps / rate + ((p[2] >> 1) & 0x01);
}

} // namespace

bool looksLikeAudio(const QByteArray &head)
{
    if (head.startsWith("ID3") || head.startsWith("ICY ") || head.startsWith("HTTP/1."))
        return true;
    if (head.contains(QByteArrayLiteral("OggS\0")))
        return true;
    // A recording may start inside a frame: the first header followed by a
    // second where its length says.
    const auto *bytes = reinterpret_cast<const unsigned char *>(head.constData());
    const qsizetype size = head.size();
    for (qsizetype i = 0; i + 6 <= size; ++i) {
        const int length = frameLength(bytes + i);
        if (length > 0 && i + length + 6 <= size && frameLength(bytes + i + length) > 0)
            return true;
    }
    return false;
}

bool isReplaceableRecording(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size == 0)
        return true;
    if (looksLikeAudio(file.read(kHeadBytes)))
        return true;
    return size >= kTagBytes && file.seek(size - kTagBytes) && isOwnId3v1Tag(file.read(kTagBytes));
}

} // namespace engine
