#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include "platform/clock.h"
#include "sources/parsedurl.h"

class QNetworkAccessManager;
class QNetworkReply;

// Follows a Live365 station through the Live365 web pages and reports the
// artist and title of each song, since such stations send no titles in-band.
//
// Three requests form a chain, each one plain HTTP GET to the Live365 web
// server (its address is [Live365] Server of ombrex.ini, see config/inivalues.h):
//   startStation("12345")     name page    -> stationNameFound("member")
//   host: setStationName("member")        window page  -> the playlist page's address
//   (automatically)                       playlist page -> titleChanged(artist, title),
//                                         loaded again when the song's seconds run out
// Any failure is Error(code); the host answers it by writing an empty station
// name (which stops everything) and showing showError(code).
//
// Everything runs on the one user-interface thread and nothing waits: each
// request goes out through the network access manager given and reports later
// from the event loop (only an address that cannot be split fails at once).
// Times are measured on the clock given.
class Live365Reader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Live365Reader)

public:
    Live365Reader(QNetworkAccessManager &network, platform::Clock &clock, QObject *parent = nullptr);
    ~Live365Reader() override;

    // Starts the chain with the name request for a station number. aflMode
    // (the stream address asked for "AuthType=AFL") makes the playlist page's
    // address ask for the AFL handle when the window page offers it.
    void startStation(const QByteArray &stationNumber, bool aflMode = false);

    // The station's member name. Setting a non-empty name starts reading its
    // window page; setting an empty one stops everything.
    QByteArray stationName() const { return m_stationName; }
    void setStationName(const QByteArray &name);

    // The window request for the current StationName.
    void readWindow();

    // Stops everything (keeping StationName) and returns the text for an error
    // code; empty for a code without one. Shows nothing itself.
    QString stopWithError(qint32 code);

    // The text between startPattern (searched from the 1-based startPos) and
    // the next endPattern, without leading and trailing spaces. Empty when the
    // start pattern is absent; everything after the start pattern when the end
    // pattern is missing or follows it directly.
    static QByteArray extractBetween(const QByteArray &text, const QByteArray &startPattern,
                                     const QByteArray &endPattern, qint32 startPos = 1);

    // State, for the host's diagnostics and for tests.
    const QByteArray &frameAddress() const { return m_frameAddress; }
    qint32 secondsLeft() const { return m_secondsLeft; }
    bool aflMode() const { return m_aflMode; }
    // No request pending and no timer running.
    bool isIdle() const;

    // Error codes.
    enum : qint32
    {
        ErrPlaylistConnection = 1,
        ErrPlaylistTimeout = 2,
        ErrNameConnection = 3,
        ErrNameTimeout = 4,
        ErrNoBroadcast = 5,
        ErrWindowConnection = 6,
        ErrWindowTimeout = 7,
        ErrNoPlaylist = 8,
        ErrUnknown = 99,
    };

    // A page that grows beyond this without its end is given up (see readPage).
    static constexpr qsizetype kMaxPageBytes = 1024 * 1024;

Q_SIGNALS:
    // A playlist page has been read (raised for every page, changed song or not).
    void titleChanged(const QByteArray &artist, const QByteArray &title);
    // The name page has been read: the station's member name.
    void stationNameFound(const QByteArray &memberName);
    void failed(qint32 code);

private:
    // One of the three web requests with its reply, timer and page.
    struct Request
    {
        // Guarded: the network access manager deletes its replies when it goes first.
        QPointer<QNetworkReply> reply;
        // The page watchdog (name, window) or the reload (playlist): running from
        // the first request sent until stopped; its call is set for the next
        // moment it may have something to do.
        bool timerRunning = false;
        platform::Clock::CallId timerCall = 0;
        // A request that reached no server ends at the connection limit, even
        // after its connection error was reported.
        platform::Clock::CallId limitCall = 0;
        qint32 connectionErrorCode = 0;
        qint32 timeoutCode = 0;
        ParsedUrl uri;
        QByteArray page;
        qint64 start = 0;        // request start (monotonic ms)
        QElapsedTimer realStart; // see sources::afterMinimumRealTime
        bool pending = false;    // a request is out
        bool sent = false;       // the request reached the server
        bool complete = false;
        bool errorReported = false; // the connection error of this attempt was raised
        quint32 generation = 0;     // moves on with every start and stop
    };

    void startRequest(Request &request, const QByteArray &address);
    void armConnectionLimit(Request &request);
    void onSent(Request &request);
    void onReplyError(Request &request);
    void reportConnectionError(Request &request);
    void onConnectionLimit(Request &request);
    void dropReply(Request &request);
    void stopRequest(Request &request);
    void startTimer(Request &request);
    void stopTimer(Request &request);
    void scheduleTimer(Request &request);
    qint64 msUntilTimerDue(const Request &request) const;
    qint64 elapsed(qint64 start) const;
    void stopEverything(bool keepFrameAddress);
    void readPage(Request &request);
    void handleNamePage();
    void handleWindowPage();
    void handlePlaylistPage();
    void onPlaylistError();
    void onTimer(Request &request);
    void onPageTimer(Request &request);
    void onReloadTimer();
    void reload();

    QNetworkAccessManager &m_network;
    platform::Clock &m_clock;
    Request m_name;
    Request m_window;
    Request m_playlist;
    QByteArray m_stationName;
    QByteArray m_frameAddress;
    bool m_aflMode = false;
    bool m_nameAflMode = false; // given with the pending name request, stored once it is sent
    qint64 m_titleTime = 0;     // when the last playlist page was read (monotonic ms)
    qint32 m_secondsLeft = 0;
};
