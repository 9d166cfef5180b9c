#pragma once

#include <QByteArray>

#include <optional>

// A stream server's reply that may be an HTTP Live Streaming playlist instead
// of a stream: stations list HLS addresses in their .pls and .m3u files, and
// addresses without an extension answer with one too. An HTTP reply that
// gives no type, or one that is no audio we record, is read on until its
// body shows what it is. A body that opens with "#EXTM3U" is gathered (at
// most kLimit bytes, chunks decoded) until its length, its last chunk or the
// server's close, and is a playlist when it carries "#EXT-X-" tags. Anything
// else goes back, exactly as it came, to be handled as a stream's reply.
//
// Cost is linear in the bytes added: each byte is looked at a bounded number
// of times.
class PlaylistReply final
{
public:
    static constexpr qsizetype kLimit = 1024 * 1024;

    enum class Verdict
    {
        Reading,  // more of the body is needed
        Playlist, // playlist() holds the text
        Stream,   // not a playlist: takeReply() gives the reply back
    };

    // Whether a reply with this complete header could carry a playlist.
    static bool mayBePlaylist(const QByteArray &header);

    // Starts on a complete header and whatever came after its blank line.
    Verdict begin(QByteArray reply);
    Verdict add(const QByteArray &bytes);
    // The server closed the connection: the body is what came.
    Verdict finish();

    // The playlist's text once the verdict is Playlist.
    QByteArray takePlaylist();
    // The reply as it came: header and raw body.
    QByteArray takeReply();
    void clear();

private:
    Verdict judge(bool closed);
    void decodeChunks();

    QByteArray m_reply;             // header and raw body
    qsizetype m_bodyStart = 0;      // where the raw body begins in m_reply
    std::optional<qint64> m_length; // Content-Length, when given
    bool m_chunked = false;
    bool m_lastChunk = false;
    bool m_badChunks = false;
    qsizetype m_chunkPos = 0; // raw position of the next chunk's size line
    QByteArray m_body;        // the body without its chunk framing
    QByteArray m_playlist;
};
