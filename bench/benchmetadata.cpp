// Throughput of the metadata separation alone: a title-mode stream held in
// memory, cut into packets of varied sizes, separated again and again. The sink
// gathers each packet's audio into one buffer, as the recorder does before its
// one write per packet.
#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

#include <chrono>
#include <cstdio>

#include "engine/metadataparser.h"

namespace
{

class GatheringSink final : public MetadataParser::Sink
{
public:
    void streamAudio(const QByteArray &packet, qsizetype from, qsizetype length) override
    {
        if (from == 0 && length == packet.size() && m_audio.isEmpty())
            m_audio = packet;
        else
            m_audio.append(packet.constData() + from, length);
    }
    void metadataBlock(const QByteArray &text) override
    {
        ++blocks;
        blockBytes += text.size();
    }
    void endPacket()
    {
        audioBytes += m_audio.size();
        m_audio.clear();
    }

    qint64 audioBytes = 0;
    qint64 blockBytes = 0;
    qint64 blocks = 0;

private:
    QByteArray m_audio;
};

} // namespace

int main(int argc, char **argv)
{
    const qint32 interval = 8192;
    const qint64 streamBytes = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 64) * 1024 * 1024;
    const int passes = argc > 2 ? QByteArray(argv[2]).toInt() : 8;

    QRandomGenerator rng(2026);
    QByteArray stream;
    stream.reserve(streamBytes + 65536);
    int title = 0;
    while (stream.size() < streamBytes) {
        QByteArray audio(interval, '\0');
        for (auto &b : audio)
            b = static_cast<char>(rng.bounded(256));
        stream.append(audio);
        // Most blocks are empty; every 64th carries a title, as stations do.
        if (++title % 64 == 0) {
            QByteArray text = "StreamTitle='Artist " + QByteArray::number(title) + " - Song';StreamUrl='';";
            const qsizetype rows = (text.size() + 15) / 16;
            text.append(QByteArray(rows * 16 - text.size(), '\0'));
            stream.append(static_cast<char>(rows));
            stream.append(text);
        } else {
            stream.append('\0');
        }
    }

    // Packets as a socket delivers them: mostly a few kilobytes, some tiny, some large.
    QList<QByteArray> packets;
    for (qsizetype pos = 0; pos < stream.size();) {
        const int kind = rng.bounded(10);
        const qsizetype size = kind == 0  ? rng.bounded(1, 64)
                               : kind < 8 ? rng.bounded(512, 8192)
                                          : rng.bounded(8192, 65536);
        packets.append(stream.mid(pos, size));
        pos += size;
    }

    qint64 totalAudio = 0;
    qint64 totalBlocks = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int pass = 0; pass < passes; ++pass) {
        MetadataParser parser(interval);
        GatheringSink sink;
        for (const QByteArray &packet : packets) {
            parser.separate(packet, sink);
            sink.endPacket();
        }
        totalAudio += sink.audioBytes;
        totalBlocks += sink.blocks;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double megabytes = static_cast<double>(stream.size()) * passes / (1024.0 * 1024.0);
    std::printf("metadata separation: %.0f MB in %lld packets x %d passes, %.3f s, %.0f MB/s "
                "(audio %lld bytes, %lld titled blocks)\n",
                megabytes / passes, static_cast<long long>(packets.size()), passes, seconds, megabytes / seconds,
                static_cast<long long>(totalAudio / passes), static_cast<long long>(totalBlocks / passes));
    return 0;
}
