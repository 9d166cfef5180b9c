#pragma once

#include <QByteArray>
#include <QtGlobal>

// Separates the audio of a title-mode stream from its in-band metadata blocks:
// runs of M audio bytes, each followed by a length byte L and 16 * L bytes of
// block text. Packets may be cut anywhere; every block of a packet is handled
// in turn and the parser never looks before the start of the packet it is given.
//
// Its state, in the terms above:
//   interval  M: audio bytes between two blocks; 0 or less means no blocks at all
//   counter   C: audio bytes since the last block; minus the bytes still missing
//                while a block is incomplete
//   leftover  R: bytes of the current block's text still to come (its length byte
//                always arrived with an earlier packet)
//   block     S: the text of the current block gathered so far (length byte not included)
class MetadataParser final
{
public:
    // Receives the separated stream in stream order.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // A run of audio: length bytes of packet starting at from.
        virtual void streamAudio(const QByteArray &packet, qsizetype from, qsizetype length) = 0;
        // The text of a complete, non-empty metadata block (16 * L bytes).
        virtual void metadataBlock(const QByteArray &text) = 0;
    };

    explicit MetadataParser(qint32 interval = 0) { m_interval = interval; }

    // A new stream grid: interval M, nothing counted, no block under way.
    void restart(qint32 interval);
    // Drops a block under way (a new connection starts between blocks).
    void dropPartialBlock();
    qint32 interval() const { return m_interval; }
    qint32 counter() const { return m_counter; }
    qint32 leftover() const { return m_leftover; }
    const QByteArray &partialBlock() const { return m_block; }

    // Separates the bytes of packet from position from on.
    void separate(const QByteArray &packet, Sink &sink, qsizetype from = 0);

private:
    qint32 m_interval = 0;
    qint32 m_counter = 0;
    qint32 m_leftover = 0;
    QByteArray m_block;
};
