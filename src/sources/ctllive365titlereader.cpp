#include "sources/ctllive365titlereader.h"

#include <QTimer>

#include <cmath>
#include <limits>

#include "config/mdlinifile.h"
#include "platform/bytetext.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "sources/ctlsocket.h"

namespace
{

constexpr int kTimerPeriodMs = 100;
// A connection wait gives up after more than this many milliseconds.
constexpr qint64 kConnectLimitMs = 3000;
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

// Connection waits: the difference in 32-bit arithmetic, right across the wrap.
qint64 waitElapsed(qint32 start)
{
    return static_cast<qint64>(static_cast<quint32>(platform::clock().tickCount()) - static_cast<quint32>(start));
}

} // namespace

ctlLive365TitleReader::ctlLive365TitleReader(QObject *parent)
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

    connect(m_name.timer, &QTimer::timeout, this, &ctlLive365TitleReader::onNameTimer);
    connect(m_window.timer, &QTimer::timeout, this, &ctlLive365TitleReader::onWindowTimer);
    connect(m_playlist.timer, &QTimer::timeout, this, &ctlLive365TitleReader::onReloadTimer);
    // Only the playlist socket reports errors; the other two have their page watchdogs.
    connect(m_playlist.socket, &ctlSocket::Error, this, &ctlLive365TitleReader::onPlaylistSocketError);
}

ctlLive365TitleReader::~ctlLive365TitleReader() = default;

void ctlLive365TitleReader::setUpRequest(Request &request)
{
    request.socket = new ctlSocket(this);
    request.timer = new QTimer(this);
    request.timer->setInterval(kTimerPeriodMs);
    Request *const r = &request;
    connect(request.socket, &ctlSocket::DataArrival, this, [this, r] { readPage(*r); });
    // What the peer sent before closing is still to be read.
    connect(request.socket, &ctlSocket::PeerClosed, this, [this, r] { readPage(*r); });
}

void ctlLive365TitleReader::GetL365StationFromNumber(const QByteArray &sStationNumber, bool AFLMode)
{
    m_nameAflMode = AFLMode;
    startRequest(m_name, Live365Server().toLocal8Bit() + QByteArrayLiteral("/stations/") + sStationNumber);
}

void ctlLive365TitleReader::setStationName(const QByteArray &name)
{
    m_stationName = name;
    if (name.isEmpty())
        stopEverything(false);
    else
        ReadWindow();
}

void ctlLive365TitleReader::ReadWindow()
{
    startRequest(m_window, Live365Server().toLocal8Bit() + QByteArrayLiteral("/cgi-bin/mini.cgi?membername=") +
                               m_stationName + QByteArrayLiteral("&clientType=&playlist=undefined&bitratebypass=1"));
}

QString ctlLive365TitleReader::StdErrorMessage(qint32 lngErrorValue)
{
    stopEverything(false);
    switch (lngErrorValue) {
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

QByteArray ctlLive365TitleReader::ExtractFromString(const QByteArray &inS, const QByteArray &lStartPattern,
                                                    const QByteArray &lEndPattern, qint32 StartPos)
{
    const qsizetype from = StartPos > 1 ? StartPos - 1 : 0;
    if (from > inS.size())
        return {};
    const qsizetype start = inS.indexOf(lStartPattern, from);
    if (start < 0)
        return {};
    const qsizetype valueStart = start + lStartPattern.size();
    const qsizetype end = inS.indexOf(lEndPattern, valueStart);
    if (end > valueStart)
        return platform::trimSpaces(inS.mid(valueStart, end - valueStart));
    return platform::trimSpaces(inS.mid(valueStart));
}

bool ctlLive365TitleReader::isIdle() const
{
    for (const Request *request : {&m_name, &m_window, &m_playlist}) {
        if (request->pending || request->timer->isActive())
            return false;
    }
    return true;
}

void ctlLive365TitleReader::startRequest(Request &request, const QByteArray &address)
{
    const quint32 generation = ++request.generation;
    CUri uri;
    const bool parsed = !address.isEmpty() && uri.setUri(address);
    request.socket->close();
    platform::letPendingEventsRun();
    if (generation != request.generation)
        return; // started again or stopped meanwhile

    request.uri = uri;
    request.page.clear();
    request.complete = false;
    request.sent = false;
    request.errorReported = false;
    if (!parsed) {
        // An address that cannot be split reaches no server.
        request.pending = false;
        Q_EMIT Error(request.connectionErrorCode);
        return;
    }
    request.socket->connectTo(request.uri.Host(), request.uri.Port());
    request.start = platform::clock().tickCount();
    request.pending = true;
    waitForConnections();
}

void ctlLive365TitleReader::waitForConnections()
{
    // One wait serves every request: one started from a callback inside it is
    // picked up by the loop below instead of waiting on its own.
    platform::WaitGuard guard(m_waiting);
    if (!guard.entered())
        return;
    for (;;) {
        bool raised = false;
        bool connecting = false;
        for (Request *request : {&m_name, &m_window, &m_playlist}) {
            if (!request->pending || request->sent)
                continue;
            if (pollConnection(*request)) {
                raised = true; // the host may have changed anything: look again
                break;
            }
            if (request->pending && !request->sent)
                connecting = true;
        }
        if (raised)
            continue;
        if (!connecting)
            return;
        platform::letPendingEventsRun();
        platform::clock().sleep(1); // spare the processor; a fake clock moves on instead
    }
}

bool ctlLive365TitleReader::pollConnection(Request &request)
{
    const ctlSocket::State state = request.socket->state();
    // A peer that accepted and closed again counts as connected: the request
    // then goes nowhere and the page's watchdog or the reload takes over.
    if (state == ctlSocket::State::Connected || state == ctlSocket::State::PeerClosed) {
        request.sent = true;
        if (&request == &m_name)
            m_aflMode = m_nameAflMode;
        request.timer->start();
        QByteArray text = QByteArrayLiteral("GET ") + request.uri.Resource();
        if (!request.uri.QueryString().isEmpty())
            text += '?' + request.uri.QueryString();
        text += QByteArrayLiteral(" HTTP/1.1\r\nHost: ") + request.uri.Host() + QByteArrayLiteral("\r\n\r\n");
        request.socket->send(text);
        return false;
    }
    if (state == ctlSocket::State::Error && !request.errorReported) {
        // Once per attempt; the wait goes on until the host stops it or the limit passes.
        request.errorReported = true;
        Q_EMIT Error(request.connectionErrorCode);
        return true;
    }
    if (waitElapsed(request.start) > kConnectLimitMs) {
        stopRequest(request);
        Q_EMIT Error(request.timeoutCode);
        return true;
    }
    return false;
}

void ctlLive365TitleReader::stopRequest(Request &request)
{
    ++request.generation;
    request.timer->stop();
    request.socket->close();
    request.page.clear();
    request.pending = false;
    request.sent = false;
    request.complete = false;
}

void ctlLive365TitleReader::stopEverything(bool keepFrameAddress)
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

void ctlLive365TitleReader::readPage(Request &request)
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
    // the handling waits for other connections, and a socket closed in such a
    // wait must not be destroyed while its own notification is still running.
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

void ctlLive365TitleReader::handleNamePage()
{
    const quint32 generation = m_name.generation;
    m_name.pending = false;
    const QByteArray page = m_name.page;
    if (!page.contains(kNameStart))
        Q_EMIT Error(ErrNoBroadcast);
    else
        Q_EMIT TitleCallBack(ExtractFromString(page, kNameStart, kNameEnd, 1));
    platform::letPendingEventsRun();
    // Unless the host started another name request meanwhile.
    if (generation == m_name.generation) {
        m_name.socket->close();
        m_name.timer->stop();
    }
}

void ctlLive365TitleReader::handleWindowPage()
{
    const quint32 generation = m_window.generation;
    m_window.pending = false;
    const QByteArray page = m_window.page;
    const qsizetype playlist = page.indexOf(kPlaylistMarker);
    // The last frame that begins before the playlist marker.
    const qsizetype frame = playlist > 0 ? page.lastIndexOf(kFrameStart, playlist - 1) : -1;
    if (playlist < 0 || frame < 0) {
        Q_EMIT Error(ErrNoPlaylist);
    } else {
        QByteArray address = ExtractFromString(page, kFrameStart, kFrameEnd, static_cast<qint32>(frame + 1));
        if (m_aflMode && page.contains(kAflMarker))
            address.replace("handle=", "handle=afl%3A");
        m_frameAddress = address;
        startRequest(m_playlist, m_frameAddress + m_stationName);
    }
    platform::letPendingEventsRun();
    if (generation == m_window.generation) {
        m_window.socket->close();
        m_window.timer->stop();
    }
}

void ctlLive365TitleReader::handlePlaylistPage()
{
    const quint32 generation = m_playlist.generation;
    m_playlist.pending = false;
    const QByteArray page = m_playlist.page;
    Q_EMIT TitleChange(ExtractFromString(page, kArtistStart, kValueEnd, 1),
                       ExtractFromString(page, kTitleStart, kValueEnd, 1));
    if (generation != m_playlist.generation)
        return; // the host stopped the reader (or it reloaded) while handling the title
    m_titleTime = platform::clock().tickCount();
    const QByteArray seconds = ExtractFromString(page, kSecondsStart, kSecondsEnd, 1);
    qint32 value = 0;
    m_secondsLeft = readNumber(ExtractFromString(seconds, QByteArrayLiteral(" "), kSecondsEnd, 1), &value) ? value : 0;
    platform::letPendingEventsRun();
}

void ctlLive365TitleReader::onPlaylistSocketError()
{
    m_titleTime = 0;
    // Reported from the event loop, for the reason given in readPage.
    const quint32 generation = m_playlist.generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            // Once per attempt: the connection wait may have reported it already.
            if (generation != m_playlist.generation || m_playlist.errorReported)
                return;
            m_playlist.errorReported = true;
            Q_EMIT Error(ErrPlaylistConnection);
        },
        Qt::QueuedConnection);
}

void ctlLive365TitleReader::onNameTimer()
{
    if (m_name.pending && m_name.sent && timerElapsed(m_name.start) > kPageLimitMs) {
        stopRequest(m_name);
        Q_EMIT Error(ErrNameTimeout);
    }
}

void ctlLive365TitleReader::onWindowTimer()
{
    if (m_window.pending && m_window.sent && timerElapsed(m_window.start) > kPageLimitMs) {
        stopRequest(m_window);
        Q_EMIT Error(ErrWindowTimeout);
    }
}

void ctlLive365TitleReader::onReloadTimer()
{
    if (m_playlist.pending && m_playlist.sent && timerElapsed(m_playlist.start) > kPlaylistReloadMs &&
        !m_stationName.isEmpty()) {
        reload();
        return;
    }
    if (m_secondsLeft > 0 && timerElapsed(m_titleTime) > static_cast<qint64>(m_secondsLeft) * 1000)
        reload();
}

void ctlLive365TitleReader::reload()
{
    stopEverything(true);
    startRequest(m_playlist, m_frameAddress + m_stationName);
}

qint64 ctlLive365TitleReader::timerElapsed(qint32 start)
{
    qint64 now = platform::clock().tickCount();
    if (start > 0 && now < 0)
        now += qint64(1) << 32;
    return now - start;
}
