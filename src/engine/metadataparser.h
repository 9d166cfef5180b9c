#pragma once

#include <QByteArray>
#include <QtGlobal>

// Separates the audio of a title-mode stream from its in-band metadata blocks:
// runs of M audio bytes, each followed by a length byte L and 16 * L bytes of
// block text. Packets may be cut anywhere; every block of a packet is handled
// in turn and the parser never looks before the start of the packet it is given.
//
// The parser keeps no state of its own: it works on the engine's fields, so
// that whoever resets them (a new connection, a change of server) resets the
// separation too.
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

    MetadataParser(qint32 &interval, qint32 &counter, qint32 &leftover, QByteArray &block);
    MetadataParser(const MetadataParser &) = delete;
    MetadataParser &operator=(const MetadataParser &) = delete;

    // Separates the bytes of packet from position from on.
    void separate(const QByteArray &packet, Sink &sink, qsizetype from = 0);

private:
    qint32 &m_interval;
    qint32 &m_counter;
    qint32 &m_leftover;
    QByteArray &m_block;
};
