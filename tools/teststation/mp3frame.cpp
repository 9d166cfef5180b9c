#include "teststation/mp3frame.h"

#include <QFile>

namespace teststation
{

namespace
{

// Bit rates by index for MPEG-1 and for MPEG-2/2.5, Layer III.
constexpr int kBitRatesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitRatesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kSampleRatesV1[4] = {44100, 48000, 32000, 0};

quint32 syncsafe(const char *p)
{
    return (static_cast<quint32>(p[0] & 0x7f) << 21) | (static_cast<quint32>(p[1] & 0x7f) << 14) |
           (static_cast<quint32>(p[2] & 0x7f) << 7) | static_cast<quint32>(p[3] & 0x7f);
}

} // namespace

std::optional<Mp3FrameHeader> parseMp3FrameHeader(const char *data)
{
    const auto *p = reinterpret_cast<const uchar *>(data);
    if (p[0] != 0xff || (p[1] & 0xe0) != 0xe0)
        return std::nullopt;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    if (versionBits == 1 || layerBits != 1)
        return std::nullopt;
    const int bitRateIndex = p[2] >> 4;
    const int sampleRateIndex = (p[2] >> 2) & 3;
    if (bitRateIndex == 0 || bitRateIndex == 15 || sampleRateIndex == 3)
        return std::nullopt;

    Mp3FrameHeader header;
    header.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    header.bitRateKbps = header.version == 1 ? kBitRatesV1[bitRateIndex] : kBitRatesV2[bitRateIndex];
    header.sampleRate = kSampleRatesV1[sampleRateIndex] / (header.version == 1 ? 1 : header.version == 2 ? 2 : 4);
    header.padding = (p[2] & 2) != 0;
    header.crc = (p[1] & 1) == 0;
    header.channels = (p[3] >> 6) == 3 ? 1 : 2;
    const int factor = header.version == 1 ? 144 : 72;
    header.frameLength = factor * header.bitRateKbps * 1000 / header.sampleRate + (header.padding ? 1 : 0);
    return header;
}

std::optional<Mp3Audio> loadMp3File(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    QByteArray data = file.readAll();
    if (data.size() >= 128 && data.mid(data.size() - 128, 3) == "TAG")
        data.chop(128);
    qsizetype start = 0;
    if (data.size() >= 10 && data.startsWith("ID3"))
        start = 10 + syncsafe(data.constData() + 6) + ((data.at(5) & 0x10) ? 10 : 0);
    // The first frame is a header whose successor sits right where its length says.
    for (qsizetype i = start; i + 4 <= data.size(); ++i) {
        const std::optional<Mp3FrameHeader> first = parseMp3FrameHeader(data.constData() + i);
        if (!first)
            continue;
        const qsizetype next = i + first->frameLength;
        if (next + 4 <= data.size() && !parseMp3FrameHeader(data.constData() + next))
            continue;
        Mp3Audio audio;
        audio.frames = data.mid(i);
        audio.bitRateKbps = first->bitRateKbps;
        return audio;
    }
    *error = QStringLiteral("no MPEG audio Layer III frames found in %1").arg(path);
    return std::nullopt;
}

} // namespace teststation
