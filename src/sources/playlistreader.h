#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include "platform/clock.h"
#include "sources/parsedurl.h"

class QNetworkAccessManager;
class QNetworkReply;

// Turns a playlist reference into stream servers. Given the web address of a
// .pls or .m3u playlist, or the path of a local playlist file, it fetches the
// playlist (one HTTP GET, following meta refresh pages), parses it and reports
// each server with serverFound, then Done; any failure ends in Error(code), whose
// text showError shows. One retrieval at a time per instance; a new
// start silently abandons a running one.
//
//   grabber.start("http://127.0.0.1:8000/listen.pls");
//   serverFound("127.0.0.1", "/stream", "8000", "")  ... Done()   or   Error(3)
//
// Everything runs on the one user-interface thread and nothing waits: the
// outcome of a web request arrives later from the event loop. Web requests go
// through the network access manager given; times are measured on the clock given.
class PlaylistReader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaylistReader)

public:
    PlaylistReader(QNetworkAccessManager &network, platform::Clock &clock, QObject *parent = nullptr);
    ~PlaylistReader() override;

    // Starts a retrieval. A local file is handled before this returns (its
    // events already raised); a web address starts connecting and reports
    // later. References that do not begin with "http" are local file paths
    // (bytes in the file system's encoding). A direct stream address is a
    // playlist of one server, reported from the event loop without a request.
    void start(const QByteArray &address);
    // An http(s) address that names no .pls or .m3u playlist and no web page:
    // the stream itself (see isStreamAddress).
    static bool isDirectStream(const QByteArray &address);
    // Abandons a running retrieval: it reports nothing more.
    void cancel();

    // The fixed text for an error code; empty for codes without one.
    static QString errorMessage(qint32 code);
    // The text for the last failure: errorMessage, except that a TLS failure
    // names the host and what went wrong.
    QString failureText(qint32 code) const;

    // A web request is pending (sent or connecting, no complete reply handled yet).
    bool isRequestPending() const { return m_pending; }

    // Title of the playlist: its file name without extension at first, then the
    // first "Title" value of a .pls, or empty for an .m3u.
    QByteArray firstTitle;
    // The last text handed to the playlist parser: the body of the reply or
    // the joined lines of a local file.
    QByteArray rawData;
    // Where the retrieval found an HTTP Live Streaming playlist (rawData),
    // after redirects and refresh pages: it then finishes without servers.
    // Empty for any other playlist.
    QUrl hlsUrl;

    // Error codes.
    enum : qint32
    {
        ErrSocket = 1,
        ErrConnectTimeout = 2,
        ErrBadReply = 3,
        ErrNoLocalFile = 4,
        ErrM3UWithoutHttp = 5,
        ErrPLSWithoutFile = 6,
        ErrOgg = 7,
        ErrTls = 8,       // certificate or handshake failure
        ErrTooLarge = 10, // the reply or file is longer than any playlist
        ErrUnknown = 99,
    };

    // Meta refresh pages and HTTP redirects followed in a row before the next
    // one fails with ErrBadReply.
    static constexpr int kMaxRefreshes = 10;

Q_SIGNALS:
    // One stream server: host, path (from "/"), port in decimal digits, query
    // without "?", and whether it is reached over TLS (https). Raised once per
    // usable server, in playlist order.
    void serverFound(const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query,
                     bool secure);
    // The playlist has been parsed; no more serverFound for this retrieval.
    void finished();
    // The retrieval failed or met a bad playlist.
    void failed(qint32 code);
    // A text for the user (a malformed refresh page); the retrieval goes on.
    void messageRequested(const QString &text);

private:
    void begin(const QByteArray &reference);
    void startDirectStream(const QByteArray &address);
    void readLocalFile(const QByteArray &reference);
    void onData();
    void onFinished();
    void armLimit();
    void onLimit();
    void dropReply();
    void handleReply(const QByteArray &body);
    void parsePlaylist(const QByteArray &text);
    void fail(qint32 code);
    void follow(const QByteArray &location);
    bool tooLarge() const;

    QNetworkAccessManager &m_network;
    platform::Clock &m_clock;
    // Guarded: the network access manager deletes its replies when it goes first.
    QPointer<QNetworkReply> m_reply;
    platform::Clock::CallId m_limit = 0;
    QElapsedTimer m_realStart; // see sources::afterMinimumRealTime
    QByteArray m_reference;
    ParsedUrl m_uri;
    QByteArray m_body;
    bool m_pending = false;
    bool m_connected = false; // the request reached a server
    int m_refreshesInRow = 0;
    QString m_tlsFailure; // what the last TLS failure said
    quint32 m_generation = 0;
};
