#include "sources/live365reader.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "config/inivalues.h"
#include "platform/bytetext.h"
#include "sources/requestvalue.h"
#include "sources/socket.h"

namespace
{

// A connection wait gives up once more than 3000 ms have passed.
constexpr qint64 kConnectLimitMs = 3001;
// Name and window pages must be complete this long after their request began.
constexpr qint64 kPageLimitMs = 15000;
// A playlist page still loading after this long is requested again.
constexpr qint64 kPlaylistReloadMs = 6000;

// Markers in the pages; every search is case-sensitive.
const QByteArray kPageEnd = QByteArrayLiteral("</html>");
const QByteArray kPageEndUpper = QByteArrayLiteral("</HTML>");
const QByteArray kNameStart = QByteArrayLiteral("LaunchBroadcast('");
const QByteArray kNameEnd = QByteArrayLiteral("'");
const QByteArray kPlaylistMarker = QByteArrayLiteral("\"Live365PlayerPlaylist\"");
const QByteArray kFrameStart = QByteArrayLiteral("<frame src=\"");
const QByteArray kFrameEnd = QByteArrayLiteral("\"");
const QByteArray kAflMarker = QByteArrayLiteral("\"OR\";");
const QByteArray kArtistStart = QByteArrayLiteral("artist:\"");
const QByteArray kTitleStart = QByteArrayLiteral("title:\"");
const QByteArray kValueEnd = QByteArrayLiteral("\",");
const QByteArray kSecondsStart = QByteArrayLiteral("gSecondsLeft");
const QByteArray kSecondsEnd = QByteArrayLiteral(";");

// A decimal number ("90", "-3", "12.5"), rounded to a whole one (halves to the
// even number) and kept within 32 bits.
bool readNumber(const QByteArray &text, qint32 *value)
{
    qsizetype i = 0;
    if (i < text.size() && (text.at(i) == '+' || text.at(i) == '-'))
        ++i;
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (!digits)
        return false;
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok)
        return false;
    const double rounded = std::nearbyint(number);
    if (rounded >= static_cast<double>(std::numeric_limits<qint32>::max()))
        *value = std::numeric_limits<qint32>::max();
    else if (rounded <= static_cast<double>(std::numeric_limits<qint32>::min()))
        *value = std::numeric_limits<qint32>::min();
    else
        *value = static_cast<qint32>(rounded);
    return true;
}

// The delay of a timed call for a deadline this many milliseconds away: one
// already past is due at once; one further off than a call can hold is looked
// at again when the call comes (as is one that comes early).
int callDelay(qint64 ms)
{
    return static_cast<int>(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max()));
}

// Connection waits: the difference in 32-bit arithmetic, right across the wrap.
qint64 waitElapsed(qint32 start)
{
    return static_cast<qint64>(static_cast<quint32>(platform::clock().tickCount()) - static_cast<quint32>(start));
}

} // namespace

Live365Reader::Live365Reader(QObject *parent)
    : QObject(parent)
{
    m_name.connectionErrorCode = ErrNameConnection;
    m_name.timeoutCode = ErrNameTimeout;
    m_window.connectionErrorCode = ErrWindowConnection;
    m_window.timeoutCode = ErrWindowTimeout;
    m_playlist.connectionErrorCode = ErrPlaylistConnection;
    m_playlist.timeoutCode = ErrPlaylistTimeout;
    for (Request *request : {&m_name, &m_window, &m_playlist})
        setUpRequest(*request);

    // Only the playlist socket reports errors once connected; the other two
    // have their page watchdogs.
    connect(m_playlist.socket, &Socket::failed, this, &Live365Reader::onPlaylistSocketError);
}

Live365Reader::~Live365Reader() = default;

void Live365Reader::setUpRequest(Request &request)
{
    request.socket = new Socket(this);
    Request *const r = &request;
    connect(request.socket, &Socket::dataArrived, this, [this, r] { readPage(*r); });
    // What the peer sent before closing is still to be read.
    connect(request.socket, &Socket::peerClosed, this, [this, r] { readPage(*r); });
    request.connection = new ConnectionWait(request.socket, this);
    connect(request.connection, &ConnectionWait::finished, this,
            [this, r](ConnectionWait::Outcome outcome) { onConnectionOutcome(*r, outcome); });
}

void Live365Reader::startStation(const QByteArray &stationNumber, bool aflMode)
{
    m_nameAflMode = aflMode;
    startRequest(m_name, live365Server().toLocal8Bit() + QByteArrayLiteral("/stations/") + stationNumber);
}

void Live365Reader::setStationName(const QByteArray &name)
{
    m_stationName = name;
    if (name.isEmpty()) {
        stopEverything(false);
    } else {
        scheduleTimer(m_playlist); // a hanging playlist load is reloaded only for a named station
        readWindow();
    }
}

void Live365Reader::readWindow()
{
    startRequest(m_window, live365Server().toLocal8Bit() + QByteArrayLiteral("/cgi-bin/mini.cgi?membername=") +
                               m_stationName + QByteArrayLiteral("&clientType=&playlist=undefined&bitratebypass=1"));
}

QString Live365Reader::stopWithError(qint32 code)
{
    stopEverything(false);
    switch (code) {
    case ErrPlaylistConnection:
        return QStringLiteral("Connection error to Live365 playlist server!");
    case ErrPlaylistTimeout:
        return QStringLiteral("Timeout connecting to Live365 playlist server!");
    case ErrNameConnection:
        return QStringLiteral("Connection error reading Live365 name!");
    case ErrNameTimeout:
        return QStringLiteral("Timeout reading Live365 name!");
    case ErrNoBroadcast:
        return QStringLiteral("Could not find broadcast information!");
    case ErrWindowConnection:
        return QStringLiteral("Connection error getting Live365 playlist information!");
    case ErrWindowTimeout:
        return QStringLiteral("Timeout reading Live365 playlist information");
    case ErrNoPlaylist:
        return QStringLiteral("Could not find playlist information");
    case ErrUnknown:
        return QStringLiteral("Unknown error connecting to live 365 playlist server!");
    default:
        return {};
    }
}

QByteArray Live365Reader::extractBetween(const QByteArray &text, const QByteArray &startPattern,
                                         const QByteArray &endPattern, qint32 startPos)
{
    const qsizetype from = startPos > 1 ? startPos - 1 : 0;
    if (from > text.size())
        return {};
    const qsizetype start = text.indexOf(startPattern, from);
    if (start < 0)
        return {};
    const qsizetype valueStart = start + startPattern.size();
    const qsizetype end = text.indexOf(endPattern, valueStart);
    if (end > valueStart)
        return platform::trimSpaces(text.mid(valueStart, end - valueStart));
    return platform::trimSpaces(text.mid(valueStart));
}

bool Live365Reader::isIdle() const
{
    for (const Request *request : {&m_name, &m_window, &m_playlist}) {
        if (request->pending || request->timerRunning)
            return false;
    }
    return true;
}

void Live365Reader::startRequest(Request &request, const QByteArray &address)
{
    ++request.generation;
    ParsedUrl uri;
    // The address comes from the station's pages: it must not carry a line end
    // or another control byte into the request.
    const bool parsed = !address.isEmpty() && sources::isRequestSafe(address) && uri.setUri(address);
    request.connection->cancel();
    platform::clock().cancelCall(request.limitCall);
    request.limitCall = 0;
    request.socket->close();

    request.uri = uri;
    request.page.clear();
    request.complete = false;
    request.sent = false;
    request.errorReported = false;
    if (!parsed) {
        // An address that cannot be split reaches no server.
        request.pending = false;
        scheduleTimer(request);
        Q_EMIT failed(request.connectionErrorCode);
        return;
    }
    request.start = platform::clock().tickCount();
    request.pending = true;
    // Not sent yet: the page watchdog rests, the song's seconds may still reload.
    scheduleTimer(request);
    request.connection->start(request.uri.host(), request.uri.port(), kConnectLimitMs);
}

void Live365Reader::onConnectionOutcome(Request &request, ConnectionWait::Outcome outcome)
{
    if (!request.pending || request.sent)
        return;
    switch (outcome) {
    case ConnectionWait::Outcome::Connected:
        // A peer that accepted and closed again counts as connected: the request
        // then goes nowhere and the page's watchdog or the reload takes over.
        request.sent = true;
        if (&request == &m_name)
            m_aflMode = m_nameAflMode;
        startTimer(request);
        sendRequest(request);
        break;
    case ConnectionWait::Outcome::Failed: {
        // Reported from the event loop, for the reason given in readPage. The
        // attempt then goes on until the connection limit unless the host stops it.
        Request *const r = &request;
        const quint32 generation = request.generation;
        QMetaObject::invokeMethod(
            this,
            [this, r, generation] {
                if (generation != r->generation)
                    return;
                reportConnectionError(*r);
                if (generation != r->generation || !r->pending || r->sent || r->limitCall != 0)
                    return;
                r->limitCall = platform::clock().callAfter(callDelay(kConnectLimitMs - waitElapsed(r->start)), this,
                                                           [this, r] { onConnectionLimit(*r); });
            },
            Qt::QueuedConnection);
        break;
    }
    case ConnectionWait::Outcome::TimedOut:
        stopRequest(request);
        Q_EMIT failed(request.timeoutCode);
        break;
    }
}

void Live365Reader::sendRequest(Request &request)
{
    QByteArray text = QByteArrayLiteral("GET ") + request.uri.path();
    if (!request.uri.query().isEmpty())
        text += '?' + request.uri.query();
    text += QByteArrayLiteral(" HTTP/1.1\r\nHost: ") + request.uri.host() + QByteArrayLiteral("\r\n\r\n");
    request.socket->send(text);
}

void Live365Reader::reportConnectionError(Request &request)
{
    // Once per attempt, whichever notices the error first.
    if (request.errorReported)
        return;
    request.errorReported = true;
    Q_EMIT failed(request.connectionErrorCode);
}

void Live365Reader::onConnectionLimit(Request &request)
{
    request.limitCall = 0;
    if (!request.pending || request.sent)
        return;
    if (waitElapsed(request.start) >= kConnectLimitMs) {
        stopRequest(request);
        Q_EMIT failed(request.timeoutCode);
        return;
    }
    request.limitCall = platform::clock().callAfter(callDelay(kConnectLimitMs - waitElapsed(request.start)), this,
                                                    [this, r = &request] { onConnectionLimit(*r); });
}

void Live365Reader::stopRequest(Request &request)
{
    ++request.generation;
    stopTimer(request);
    request.connection->cancel();
    platform::clock().cancelCall(request.limitCall);
    request.limitCall = 0;
    request.socket->close();
    request.page.clear();
    request.pending = false;
    request.sent = false;
    request.complete = false;
}

void Live365Reader::startTimer(Request &request)
{
    request.timerRunning = true;
    scheduleTimer(request);
}

void Live365Reader::stopTimer(Request &request)
{
    request.timerRunning = false;
    scheduleTimer(request);
}

void Live365Reader::scheduleTimer(Request &request)
{
    platform::clock().cancelCall(request.timerCall);
    request.timerCall = 0;
    if (!request.timerRunning)
        return;
    const qint64 due = msUntilTimerDue(request);
    if (due == std::numeric_limits<qint64>::max())
        return; // nothing to watch until the state changes
    request.timerCall = platform::clock().callAfter(callDelay(due), this, [this, r = &request] {
        r->timerCall = 0;
        onTimer(*r);
    });
}

qint64 Live365Reader::msUntilTimerDue(const Request &request) const
{
    // The first moment at which the matching on...Timer check holds.
    qint64 due = std::numeric_limits<qint64>::max();
    if (&request != &m_playlist) {
        if (request.pending && request.sent)
            due = kPageLimitMs + 1 - timerElapsed(request.start);
        return due;
    }
    if (request.pending && request.sent && !m_stationName.isEmpty())
        due = kPlaylistReloadMs + 1 - timerElapsed(request.start);
    if (m_secondsLeft > 0)
        due = std::min(due, static_cast<qint64>(m_secondsLeft) * 1000 + 1 - timerElapsed(m_titleTime));
    return due;
}

void Live365Reader::stopEverything(bool keepFrameAddress)
{
    for (Request *request : {&m_name, &m_window, &m_playlist})
        stopRequest(*request);
    m_titleTime = 0;
    m_secondsLeft = 0;
    m_aflMode = false;
    m_nameAflMode = false;
    if (!keepFrameAddress)
        m_frameAddress.clear();
}

void Live365Reader::readPage(Request &request)
{
    const QByteArray data = request.socket->receiveAll();
    if (data.isEmpty() || request.complete)
        return;
    // The end marker may straddle two arrivals; search only what can hold a new one.
    const qsizetype from = qMax<qsizetype>(0, request.page.size() - (kPageEnd.size() - 1));
    request.page += data;
    if (request.page.indexOf(kPageEnd, from) < 0 && request.page.indexOf(kPageEndUpper, from) < 0) {
        if (request.page.size() > kMaxPageBytes) {
            // No page is this long: stop collecting and leave the request to
            // its watchdog or the reload, as for a page that never completes.
            request.socket->close();
            request.page.clear();
        }
        return;
    }
    request.complete = true;
    // Handled from the event loop rather than inside the socket's notification:
    // the host's answer may close or restart this very socket.
    Request *const r = &request;
    const quint32 generation = request.generation;
    QMetaObject::invokeMethod(
        this,
        [this, r, generation] {
            if (generation != r->generation)
                return; // stopped or started again meanwhile
            if (r == &m_name)
                handleNamePage();
            else if (r == &m_window)
                handleWindowPage();
            else
                handlePlaylistPage();
        },
        Qt::QueuedConnection);
}

void Live365Reader::handleNamePage()
{
    const quint32 generation = m_name.generation;
    m_name.pending = false;
    const QByteArray page = m_name.page;
    if (!page.contains(kNameStart))
        Q_EMIT failed(ErrNoBroadcast);
    else
        Q_EMIT stationNameFound(extractBetween(page, kNameStart, kNameEnd, 1));
    // Unless the host started another name request meanwhile.
    if (generation == m_name.generation) {
        m_name.socket->close();
        stopTimer(m_name);
    }
}

void Live365Reader::handleWindowPage()
{
    const quint32 generation = m_window.generation;
    m_window.pending = false;
    const QByteArray page = m_window.page;
    const qsizetype playlist = page.indexOf(kPlaylistMarker);
    // The last frame that begins before the playlist marker.
    const qsizetype frame = playlist > 0 ? page.lastIndexOf(kFrameStart, playlist - 1) : -1;
    if (playlist < 0 || frame < 0) {
        Q_EMIT failed(ErrNoPlaylist);
    } else {
        QByteArray address = extractBetween(page, kFrameStart, kFrameEnd, static_cast<qint32>(frame + 1));
        if (m_aflMode && page.contains(kAflMarker))
            address.replace("handle=", "handle=afl%3A");
        m_frameAddress = address;
        startRequest(m_playlist, m_frameAddress + m_stationName);
    }
    if (generation == m_window.generation) {
        m_window.socket->close();
        stopTimer(m_window);
    }
}

void Live365Reader::handlePlaylistPage()
{
    const quint32 generation = m_playlist.generation;
    m_playlist.pending = false;
    const QByteArray page = m_playlist.page;
    Q_EMIT titleChanged(extractBetween(page, kArtistStart, kValueEnd, 1),
                        extractBetween(page, kTitleStart, kValueEnd, 1));
    if (generation != m_playlist.generation)
        return; // the host stopped the reader (or it reloaded) while handling the title
    m_titleTime = platform::clock().tickCount();
    const QByteArray seconds = extractBetween(page, kSecondsStart, kSecondsEnd, 1);
    qint32 value = 0;
    m_secondsLeft = readNumber(extractBetween(seconds, QByteArrayLiteral(" "), kSecondsEnd, 1), &value) ? value : 0;
    scheduleTimer(m_playlist);
}

void Live365Reader::onPlaylistSocketError()
{
    // The song's seconds now count from tick 0, which normally means a reload
    // at once (after the error has been reported).
    m_titleTime = 0;
    // Reported from the event loop, for the reason given in readPage.
    const quint32 generation = m_playlist.generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != m_playlist.generation)
                return;
            reportConnectionError(m_playlist);
            if (generation == m_playlist.generation)
                scheduleTimer(m_playlist);
        },
        Qt::QueuedConnection);
}

void Live365Reader::onTimer(Request &request)
{
    if (&request == &m_playlist)
        onReloadTimer();
    else
        onPageTimer(request);
}

void Live365Reader::onPageTimer(Request &request)
{
    if (request.pending && request.sent && timerElapsed(request.start) > kPageLimitMs) {
        stopRequest(request);
        Q_EMIT failed(request.timeoutCode);
        return;
    }
    scheduleTimer(request);
}

void Live365Reader::onReloadTimer()
{
    if (m_playlist.pending && m_playlist.sent && timerElapsed(m_playlist.start) > kPlaylistReloadMs &&
        !m_stationName.isEmpty()) {
        reload();
        return;
    }
    if (m_secondsLeft > 0 && timerElapsed(m_titleTime) > static_cast<qint64>(m_secondsLeft) * 1000) {
        reload();
        return;
    }
    scheduleTimer(m_playlist);
}

void Live365Reader::reload()
{
    stopEverything(true);
    startRequest(m_playlist, m_frameAddress + m_stationName);
}

qint64 Live365Reader::timerElapsed(qint32 start)
{
    qint64 now = platform::clock().tickCount();
    if (start > 0 && now < 0)
        now += qint64(1) << 32;
    return now - start;
}
