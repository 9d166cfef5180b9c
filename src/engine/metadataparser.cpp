#include "engine/metadataparser.h"

#include <algorithm>

void MetadataParser::restart(qint32 interval)
{
    m_interval = interval;
    m_counter = 0;
    dropPartialBlock();
}

void MetadataParser::dropPartialBlock()
{
    m_leftover = 0;
    m_block.clear();
}

void MetadataParser::separate(const QByteArray &packet, Sink &sink, qsizetype from)
{
    const qsizetype n = packet.size();
    qsizetype pos = std::max<qsizetype>(from, 0);
    while (pos < n) {
        if (m_leftover > 0) {
            // Inside a block: gather what this packet holds of it.
            const qsizetype take = std::min<qsizetype>(m_leftover, n - pos);
            m_block.append(packet.constData() + pos, take);
            pos += take;
            m_leftover -= static_cast<qint32>(take);
            m_counter = -m_leftover;
            if (m_leftover == 0) {
                const QByteArray text = m_block;
                m_block.clear();
                if (!text.isEmpty())
                    sink.metadataBlock(text);
            }
            continue;
        }

        if (m_interval <= 0) {
            // No interval known: nothing in the stream can be told apart from audio.
            sink.streamAudio(packet, pos, n - pos);
            return;
        }

        const qsizetype audioLeft = static_cast<qsizetype>(m_interval) - std::max<qint32>(m_counter, 0);
        if (audioLeft > 0) {
            const qsizetype take = std::min(audioLeft, n - pos);
            sink.streamAudio(packet, pos, take);
            pos += take;
            m_counter = std::max<qint32>(m_counter, 0) + static_cast<qint32>(take);
            continue;
        }

        // The length byte of the next block; the block text (if any) follows it.
        const auto lengthByte = static_cast<unsigned char>(packet.at(pos));
        ++pos;
        m_block.clear();
        m_leftover = 16 * static_cast<qint32>(lengthByte);
        m_counter = -m_leftover;
        if (m_leftover == 0)
            m_counter = 0;
    }
}
