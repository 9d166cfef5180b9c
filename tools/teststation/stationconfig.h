#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace platform
{
class Clock;
}

namespace teststation
{

// In every text below (status lines, header lines, bodies) the token
// "{station}" is replaced by the station's "127.0.0.1:<port>" when it is sent,
// so playlists can point at streams of the same station before its port is known.
inline constexpr char kStationToken[] = "{station}";

// A fixed HTTP reply: playlists, meta refresh pages, refusals, redirects, 404s.
struct Page
{
    enum class Framing
    {
        ContentLength, // a Content-Length header line announces the body
        Chunked,       // "Transfer-Encoding: chunked", the body in chunks of chunkSize
        CloseDelimited // no length: the body ends where the connection closes
    };

    QByteArray status = "HTTP/1.0 200 OK";
    QList<QByteArray> headers; // whole lines without line end, e.g. "Content-Type: audio/x-scpls"
    QByteArray body;
    Framing framing = Framing::ContentLength;
    int chunkSize = 0; // Chunked: bytes per chunk; 0 puts the whole body in one chunk

    // How the reply goes on the wire: the header block alone first (when
    // headerSeparately), then the rest in `pieces` writes of about equal size,
    // pieceDelayMs apart, so that a reader sees separate arrivals.
    bool headerSeparately = false;
    int pieces = 1;
    int pieceDelayMs = 30;
    // Keep the connection open after the reply (a reader must then rely on
    // Content-Length or the last chunk) and answer further requests on it;
    // otherwise the station closes it.
    bool keepOpen = false;

    // When not empty, sent exactly as it stands instead of status, headers and body.
    QByteArray raw;

    // Builders for the usual replies.
    // A .pls playlist: "[playlist]", NumberOfEntries, FileN/TitleN/LengthN per
    // entry, Version=2; lineEnd between lines and after the last one.
    static Page pls(const QList<QByteArray> &addresses, const QList<QByteArray> &titles = {},
                    const QByteArray &lineEnd = "\r\n");
    // An .m3u playlist: "#EXTM3U" and the addresses, lineEnd after each line.
    static Page m3u(const QList<QByteArray> &addresses, const QByteArray &lineEnd = "\r\n");
    // An HTML page with <meta http-equiv="refresh" content="0;url=TARGET">.
    static Page metaRefresh(const QByteArray &target);
    // A status line with an empty header, e.g. "ICY 400 Server Full", "HTTP/1.0 404 Not Found".
    static Page statusOnly(const QByteArray &statusLine);
    // "HTTP/1.0 302 Found" with a Location header.
    static Page redirect(const QByteArray &location);
    // A JSON document ("Content-Type: application/json"), as a directory service answers.
    static Page json(const QByteArray &body, const QByteArray &status = "HTTP/1.0 200 OK");
    // The page a SHOUTcast-style server gives a web browser (contains "SHOUTCast Server").
    static Page browserPage();
};

// One stream: header, audio, in-band titles and misbehaviour on demand.
struct Stream
{
    enum class Pace
    {
        RealTime, // bitRate / 8 bytes of audio per second, measured on the pacing clock
        Fast      // as fast as the client reads
    };

    QByteArray status = "ICY 200 OK";         // or "HTTP/1.0 200 OK"
    QByteArray name = "Vorlane Test Station"; // "icy-name:"; empty leaves the line out
    QByteArray genre = "Test";
    // "icy-br:" (and the bit rate of generated frames and of real-time pacing);
    // 0 leaves the line out. Generated frames need an MPEG-1 rate (32..320).
    int bitRateKbps = 128;
    // "icy-br:" as the last header line (otherwise another "icy-" line follows it).
    bool bitRateLast = false;
    // Audio bytes between metadata blocks. "icy-metaint:" is sent, and metadata
    // interleaved, only when the request carried "Icy-MetaData:1"; 0 never.
    int metaInt = 8192;
    // Icecast-style header: "Content-Type", "icy-name", "icy-br" and a Server
    // line, never "icy-metaint" and never in-band metadata.
    bool icecastStyle = false;
    QList<QByteArray> extraHeaders;        // more header lines, before the blank line
    QByteArray contentType = "audio/mpeg"; // "Content-Type:"; empty leaves the line out

    // Titles in order, cycled. Title k is due from audio byte k * titleEvery
    // (0: the first title only) and is announced in the first metadata block at
    // or after that offset. Any bytes are allowed: apostrophes, slashes, colons...
    QList<QByteArray> titles;
    qint64 titleEvery = 0;
    // Title k is due titleShift bytes later (negative: earlier) than k * titleEvery.
    qint64 titleShift = 0;
    // Repeat the current title in every block; otherwise blocks between changes are empty (length byte 0).
    bool repeatTitle = false;

    // Audio: the frames of this MP3 file (looped) or, when empty, generated
    // frames. Every connection starts again from the first byte.
    QString mp3File;
    bool tone = true; // generated frames: a tone (else silence)
    // Generated frames as songs: toneFrames of tone, then silentFrames of
    // silence, repeated (0: tone or silence throughout).
    int toneFrames = 0;
    int silentFrames = 0;
    quint32 seed = 1; // generated frames: pattern of the ancillary bytes

    // Audio sent first, before the frames above, and counted as audio: what a
    // server bursts to a listener that reconnects (the end of what an earlier
    // connection was sent).
    QByteArray burst;

    Pace pace = Pace::RealTime;
    qint64 burstBytes = 0; // RealTime: audio sent at once before pacing starts

    // Misbehaviour. Counts are audio bytes (metadata not counted); -1 never.
    qint64 stallAfter = -1;    // stop sending, keep the connection open
    qint64 dropAfter = -1;     // close the connection
    int headerPieces = 1;      // write the response header in this many pieces ...
    int pieceDelayMs = 30;     // ... this far apart, audio following the last one
    bool answerBrowser = true; // a request with "MSIE" in it gets browserPage() instead
};

// The title of `titles` due after `sent` audio bytes (see Stream::titleEvery).
qsizetype dueTitle(qint64 sent, qint64 every, qint64 shift, qsizetype titles);

// Serving over TLS: PEM files, e.g. made by TestCertificates. The CA is not
// used by the station; it is kept here for the clients that must trust it.
struct Tls
{
    QString certificateFile; // the server certificate, any chain certificates after it
    QString keyFile;         // its private key (EC or RSA, unencrypted)
    QString caFile;          // the certificate that signed it
};

// What the station serves. A request is answered by everyRequest when set;
// else by the page, then the stream, registered for its whole target
// ("/stream?sid=1") or for its path alone ("/stream"); else by notFound. A page
// on a stream's path therefore replaces the stream (to refuse or redirect it).
struct Config
{
    quint16 port = 0;                 // 0: any free port (see Station::port())
    QMap<QByteArray, Page> pages;     // by request path, e.g. "/listen.pls"
    QMap<QByteArray, Stream> streams; // by request path, e.g. "/stream"
    // Files of a folder, read when asked for, by path prefix: "/hls" serves
    // "/hls/live.m3u8" from folder + "/live.m3u8" (what an HLS producer writes).
    QMap<QByteArray, QString> folders;
    // Answers every request, whatever its path (a full or redirecting server).
    std::optional<Page> everyRequest;
    Page notFound = Page::statusOnly("HTTP/1.0 404 Not Found");
    // Serve over TLS instead of plain TCP (see Station::url(), which then says "https").
    std::optional<Tls> tls;
    // Keep the audio bytes each connection was sent (ConnectionRecord::audio).
    // Turn off for long unthrottled runs to save memory; counts are always kept.
    bool recordAudio = true;
    // What real-time pacing measures (a test's fake clock); none: the system's.
    platform::Clock *clock = nullptr;
};

} // namespace teststation
