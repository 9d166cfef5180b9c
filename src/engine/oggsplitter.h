#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

namespace engine
{

// The title of an Ogg Vorbis or Opus stream from its comment header packet
// ("ARTIST - TITLE", or the one of them that is there); empty without either.
QByteArray oggCommentTitle(const QByteArray &packet);

// Cuts an Ogg stream into one file per logical stream of a chain: a page with
// the beginning-of-stream flag after the pages of another stream starts a new
// file, named after the title in the new stream's comment header. The bytes
// go out as they came (no page is changed, so nothing is re-encoded); bytes
// that are no page stay with the file they arrived in. Pages are checked
// (capture pattern, version, checksum) so that "OggS" in the audio is never
// taken for one. Memory stays bounded and the cost linear.
class OggSplitter final
{
public:
    struct Piece
    {
        QByteArray audio;
        bool newFile = false; // the file ends here; the next is named title
        QByteArray title;     // empty: the stream says none
    };

    void addAudio(const QByteArray &audio);
    // The stream ends: a comment header still awaited is given up on.
    void flush();
    std::vector<Piece> take();
    qint64 heldBytes() const { return m_buffer.size() + m_waiting.size(); }

private:
    void parse(bool final);
    void takePage(const char *page, qsizetype length);
    void emitAudio(const char *data, qsizetype length);
    void startFile();

    QByteArray m_buffer;  // not yet parsed
    QByteArray m_waiting; // a new stream's first pages, until its title is known
    bool m_awaitingTitle = false;
    bool m_seenData = false; // a page that was not a first page of a stream
    int m_packetsSeen = 0;   // of the stream whose title is awaited
    QByteArray m_packet;     // its packet being gathered
    std::vector<Piece> m_out;
};

// The length of the Ogg page at data when it is one (capture pattern,
// version 0, whole, checksum right); 0 when not, -1 when more bytes are needed to tell.
qsizetype oggPageLength(const char *data, qsizetype available);

} // namespace engine
