#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "sources/curi.h"

class QTimer;
class ctlSocket;

// Turns a playlist reference into stream servers. Given the web address of a
// .pls or .m3u playlist, or the path of a local playlist file, it fetches the
// playlist (one HTTP GET, following meta refresh pages), parses it and reports
// each server with URLRaise, then Done; any failure ends in Error(code), whose
// text StdErrorMessage shows. One retrieval at a time per instance; a new
// StartURIValidation silently abandons a running one.
//
//   grabber.StartURIValidation("http://127.0.0.1:8000/listen.pls");
//   URLRaise("127.0.0.1", "/stream", "8000", "")  ... Done()   or   Error(3)
//
// Everything runs on the one user-interface thread. The connection wait inside
// StartURIValidation lets pending events run (and so may run other callbacks);
// times are measured with platform::clock().
class ctlURIGrabber final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ctlURIGrabber)

public:
    explicit ctlURIGrabber(QObject *parent = nullptr);
    ~ctlURIGrabber() override;

    // Starts a retrieval. Returns once the request has been sent, once a local
    // file has been fully handled (its events already raised), or once the
    // attempt has failed. References that do not begin with "http" are local
    // file paths (bytes in the file system's encoding).
    void StartURIValidation(const QByteArray &strURItoValidate);

    // Shows the text for an error code in an OK-only message box (nothing for
    // codes without a text).
    void StdErrorMessage(qint32 lngErrorValue);
    // The text StdErrorMessage shows; empty for codes without one.
    static QString errorMessage(qint32 lngErrorValue);

    // A web request is pending (sent or connecting, no complete reply handled yet).
    bool isRequestPending() const { return m_pending; }

    // Title of the playlist: its file name without extension at first, then the
    // first "Title" value of a .pls, or empty for an .m3u.
    QByteArray strFirstTitle;
    // The last text handed to the playlist parser: the whole reply (status line,
    // headers and body, chunks decoded) or the joined lines of a local file.
    QByteArray strRawData;

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
        ErrUnknown = 99,
    };

    // Meta refresh pages followed in a row before the next one fails with ErrBadReply.
    static constexpr int kMaxRefreshes = 10;

Q_SIGNALS:
    // One stream server: host, path (from "/"), port in decimal digits, query
    // without "?". Raised once per server, in playlist order.
    void URLRaise(const QByteArray &host, const QByteArray &path, const QByteArray &port, const QByteArray &query);
    // The playlist has been parsed; no more URLRaise for this retrieval.
    void Done();
    // The retrieval failed or met a bad playlist.
    void Error(qint32 code);

private:
    void begin(const QByteArray &reference);
    void readLocalFile(const QByteArray &reference);
    void waitAndSend();
    void onDataArrival();
    void onPeerClosed();
    void onSocketError();
    void onWatchdog();
    void takeReplyIfComplete(bool peerClosed);
    void handleReply(const QByteArray &text);
    void parsePlaylist(const QByteArray &text);
    void fail(qint32 code);
    qint64 msSinceRequestStart() const;

    ctlSocket *m_socket = nullptr;
    QTimer *m_watchdog = nullptr;
    QByteArray m_reference;
    CUri m_uri;
    QByteArray m_reply;
    qint32 m_requestStart = 0;
    bool m_pending = false;
    bool m_waiting = false;
    int m_refreshesInRow = 0;
    quint32 m_generation = 0;
};
