#include "sources/live365reader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <algorithm>
#include <cmath>
#include <limits>

#include "config/inivalues.h"
#include "platform/bytetext.h"
#include "sources/requestvalue.h"
#include "sources/webrequest.h"

namespace
{

// A request that has not reached its server after this long has timed out.
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

// A song time that counts as long past: the next check reloads at once.
constexpr qint64 kLongAgo = std::numeric_limits<qint64>::min() / 4;

} // namespace

Live365Reader::Live365Reader(QNetworkAccessManager &network, platform::Clock &clock, QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_clock(clock)
{
    m_name.connectionErrorCode = ErrNameConnection;
    m_name.timeoutCode = ErrNameTimeout;
    m_window.connectionErrorCode = ErrWindowConnection;
    m_window.timeoutCode = ErrWindowTimeout;
    m_playlist.connectionErrorCode = ErrPlaylistConnection;
    m_playlist.timeoutCode = ErrPlaylistTimeout;
}

Live365Reader::~Live365Reader()
{
    for (Request *request : {&m_name, &m_window, &m_playlist}) {
        dropReply(*request);
        m_clock.cancelCall(request->timerCall);
        m_clock.cancelCall(request->limitCall);
    }
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
    dropReply(request);
    m_clock.cancelCall(request.limitCall);
    request.limitCall = 0;

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
    request.start = m_clock.monotonicMs();
    request.realStart.start();
    request.pending = true;
    // Not sent yet: the page watchdog rests, the song's seconds may still reload.
    scheduleTimer(request);
    Request *const r = &request;
    request.reply = m_network.get(sources::webRequest(request.uri));
    connect(request.reply, &QNetworkReply::requestSent, this, [this, r] { onSent(*r); });
    // An answer shows as well that the request got there.
    connect(request.reply, &QNetworkReply::metaDataChanged, this, [this, r] { onSent(*r); });
    connect(request.reply, &QNetworkReply::readyRead, this, [this, r] { readPage(*r); });
    connect(request.reply, &QNetworkReply::errorOccurred, this, [this, r] { onReplyError(*r); });
    armConnectionLimit(request);
}

void Live365Reader::armConnectionLimit(Request &request)
{
    m_clock.cancelCall(request.limitCall);
    request.start = m_clock.monotonicMs();
    request.limitCall = m_clock.callAfter(static_cast<int>(kConnectLimitMs), this, [this, r = &request] {
        r->limitCall = 0;
        onConnectionLimit(*r);
    });
}

void Live365Reader::onSent(Request &request)
{
    if (!request.pending || request.sent)
        return;
    request.sent = true;
    if (&request == &m_name)
        m_aflMode = m_nameAflMode;
    startTimer(request);
}

void Live365Reader::onReplyError(Request &request)
{
    const QNetworkReply::NetworkError error = request.reply->error();
    if (error == QNetworkReply::TimeoutError && !request.sent) {
        onConnectionLimit(request);
        return;
    }
    if (!sources::isConnectionError(error)) {
        // The server was reached and ended the page (a closed connection, an
        // error status): what it sent counts, and the page's watchdog or the
        // reload deals with a page that never ended.
        onSent(request);
        return;
    }
    if (request.sent) {
        if (&request == &m_playlist)
            onPlaylistError();
        return;
    }
    // Reported from the event loop, for the reason given in readPage. The
    // attempt then goes on until the connection limit unless the host stops it.
    Request *const r = &request;
    const quint32 generation = request.generation;
    QMetaObject::invokeMethod(
        this,
        [this, r, generation] {
            if (generation == r->generation)
                reportConnectionError(*r);
        },
        Qt::QueuedConnection);
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
    const quint32 generation = request.generation;
    sources::afterMinimumRealTime(request.realStart, this, [this, r = &request, generation] {
        if (generation != r->generation || !r->pending || r->sent)
            return;
        stopRequest(*r);
        Q_EMIT failed(r->timeoutCode);
    });
}

void Live365Reader::dropReply(Request &request)
{
    if (!request.reply)
        return;
    request.reply->disconnect(this);
    request.reply->abort();
    request.reply->deleteLater();
    request.reply = nullptr;
}

void Live365Reader::stopRequest(Request &request)
{
    ++request.generation;
    stopTimer(request);
    dropReply(request);
    m_clock.cancelCall(request.limitCall);
    request.limitCall = 0;
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
    m_clock.cancelCall(request.timerCall);
    request.timerCall = 0;
    if (!request.timerRunning)
        return;
    const qint64 due = msUntilTimerDue(request);
    if (due == std::numeric_limits<qint64>::max())
        return; // nothing to watch until the state changes
    request.timerCall = m_clock.callAfter(callDelay(due), this, [this, r = &request] {
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
            due = kPageLimitMs + 1 - elapsed(request.start);
        return due;
    }
    if (request.pending && request.sent && !m_stationName.isEmpty())
        due = kPlaylistReloadMs + 1 - elapsed(request.start);
    if (m_secondsLeft > 0)
        due = std::min(due, static_cast<qint64>(m_secondsLeft) * 1000 + 1 - elapsed(m_titleTime));
    return due;
}

void Live365Reader::stopEverything(bool keepFrameAddress)
{
    for (Request *request : {&m_name, &m_window, &m_playlist})
        stopRequest(*request);
    m_titleTime = kLongAgo;
    m_secondsLeft = 0;
    m_aflMode = false;
    m_nameAflMode = false;
    if (!keepFrameAddress)
        m_frameAddress.clear();
}

void Live365Reader::readPage(Request &request)
{
    const QByteArray data = request.reply->readAll();
    if (data.isEmpty() || request.complete)
        return;
    // The end marker may straddle two arrivals; search only what can hold a new one.
    const qsizetype from = qMax<qsizetype>(0, request.page.size() - (kPageEnd.size() - 1));
    request.page += data;
    if (request.page.indexOf(kPageEnd, from) < 0 && request.page.indexOf(kPageEndUpper, from) < 0) {
        if (request.page.size() > kMaxPageBytes) {
            // No page is this long: stop collecting and leave the request to
            // its watchdog or the reload, as for a page that never completes.
            dropReply(request);
            request.page.clear();
        }
        return;
    }
    request.complete = true;
    // Nothing after the page's end matters.
    dropReply(request);
    // Handled from the event loop rather than inside the reply's notification:
    // the host's answer may restart this very request.
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
    if (generation == m_name.generation)
        stopTimer(m_name);
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
    if (generation == m_window.generation)
        stopTimer(m_window);
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
    m_titleTime = m_clock.monotonicMs();
    const QByteArray seconds = extractBetween(page, kSecondsStart, kSecondsEnd, 1);
    qint32 value = 0;
    m_secondsLeft = readNumber(extractBetween(seconds, QByteArrayLiteral(" "), kSecondsEnd, 1), &value) ? value : 0;
    scheduleTimer(m_playlist);
}

void Live365Reader::onPlaylistError()
{
    // The song's time is taken as long past, which normally means a reload at
    // once (after the error has been reported).
    m_titleTime = kLongAgo;
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
    if (request.pending && request.sent && elapsed(request.start) > kPageLimitMs) {
        const quint32 generation = request.generation;
        sources::afterMinimumRealTime(request.realStart, this, [this, r = &request, generation] {
            if (generation != r->generation)
                return;
            stopRequest(*r);
            Q_EMIT failed(r->timeoutCode);
        });
        return;
    }
    scheduleTimer(request);
}

void Live365Reader::onReloadTimer()
{
    if (m_playlist.pending && m_playlist.sent && elapsed(m_playlist.start) > kPlaylistReloadMs &&
        !m_stationName.isEmpty()) {
        reload();
        return;
    }
    if (m_secondsLeft > 0 && elapsed(m_titleTime) > static_cast<qint64>(m_secondsLeft) * 1000) {
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

qint64 Live365Reader::elapsed(qint64 start) const
{
    return m_clock.monotonicMs() - start;
}
