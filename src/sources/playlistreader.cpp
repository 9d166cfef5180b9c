#include "sources/playlistreader.h"

#include <QFile>
#include <QTimer>

#include <algorithm>

#include "config/stationaddress.h"
#include "platform/frontend.h"
#include "platform/paths.h"
#include "sources/httpreply.h"
#include "sources/playlistentries.h"
#include "sources/requestvalue.h"
#include "sources/socket.h"

namespace
{

// The connection wait gives up once more than 3000 ms have passed ...
constexpr qint64 kConnectLimitMs = 3001;
// ... and the watchdog once at least this many have passed since the request
// began without a complete reply.
constexpr qint64 kReplyLimitMs = 3001;
// No playlist is this long, on the network or on disk; beyond it (a stream
// address given as playlist, for instance) the reader fails as "too large".
constexpr qsizetype kMaxPlaylistBytes = 1024 * 1024;

const QByteArray kAgent = QByteArrayLiteral("Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)");

// The lines of a text file, each without its line end (CR LF, LF or CR), joined
// with CR LF between lines and none after the last.
QByteArray joinedLines(const QByteArray &content)
{
    QByteArray joined;
    joined.reserve(content.size() + content.size() / 16);
    qsizetype start = 0;
    bool first = true;
    while (start < content.size()) {
        qsizetype end = start;
        while (end < content.size() && content.at(end) != '\r' && content.at(end) != '\n')
            ++end;
        if (!first)
            joined += "\r\n";
        joined += content.mid(start, end - start);
        first = false;
        if (end < content.size() && content.at(end) == '\r' && end + 1 < content.size() && content.at(end + 1) == '\n')
            ++end;
        start = end + 1;
    }
    return joined;
}

// The target of a meta refresh: after "url=" (any case), skipping quotes, up
// to the first '>', ';', ',', quote or control byte. Empty when absent.
QByteArray refreshAddress(const QByteArray &text, const QByteArray &lower)
{
    const qsizetype url = lower.indexOf("url=");
    if (url < 0)
        return {};
    qsizetype start = url + 4;
    while (start < text.size() && (text.at(start) == '"' || text.at(start) == '\''))
        ++start;
    qsizetype end = start;
    while (end < text.size()) {
        const char c = text.at(end);
        if (c == '>' || c == ';' || c == ',' || c == '"' || c == '\'' || sources::isControlByte(c))
            break;
        ++end;
    }
    return text.mid(start, end - start);
}

} // namespace

PlaylistReader::PlaylistReader(QObject *parent)
    : QObject(parent)
    , m_socket(new Socket(this))
{
    connect(m_socket, &Socket::dataArrived, this, &PlaylistReader::onDataArrival);
    connect(m_socket, &Socket::peerClosed, this, &PlaylistReader::onPeerClosed);
    connect(m_socket, &Socket::failed, this, &PlaylistReader::onSocketError);
    // Made after the connections above, so that a socket error reaches
    // onSocketError first, whose fail() ends the wait: one report, not two.
    m_connection = new ConnectionWait(m_socket, this);
    connect(m_connection, &ConnectionWait::finished, this, &PlaylistReader::onConnectionOutcome);
}

PlaylistReader::~PlaylistReader() = default;

void PlaylistReader::start(const QByteArray &address)
{
    m_refreshesInRow = 0;
    // Only the address given is looked at: a refresh page or a redirect on
    // the way to a playlist is followed as before.
    if (isDirectStream(address))
        startDirectStream(address);
    else
        begin(address);
}

bool PlaylistReader::isDirectStream(const QByteArray &address)
{
    return isStreamAddress(address);
}

void PlaylistReader::startDirectStream(const QByteArray &address)
{
    ++m_generation;
    stopWaiting();
    m_socket->close();
    m_pending = false;
    m_reference = address;
    m_uri = ParsedUrl();
    m_reply.clear();
    m_tlsFailure.clear();
    rawData = address;
    // A bare stream names no station, as an .m3u does not.
    firstTitle.clear();
    const quint32 generation = m_generation;
    // Reported later, as a web playlist is: the caller finishes its own start first.
    QTimer::singleShot(0, this, [this, generation, address] {
        if (generation != m_generation)
            return;
        const std::optional<sources::PlaylistEntry> entry = sources::screenEntry(address);
        if (!entry) {
            fail(ErrUnknown);
            return;
        }
        Q_EMIT serverFound(entry->host, entry->path, entry->port, entry->query, entry->secure);
        if (generation == m_generation)
            Q_EMIT finished();
    });
}

QString PlaylistReader::errorMessage(qint32 code)
{
    switch (code) {
    case ErrSocket:
        return QStringLiteral("Winsock error on loading playlist file!");
    case ErrConnectTimeout:
        return QStringLiteral("Timeout connecting to remote site!");
    case ErrBadReply:
        return QStringLiteral(
            "Invalid URL or network error! Please make sure that the playlist file location is correct.");
    case ErrNoLocalFile:
        return QStringLiteral("Bad playlist filename!");
    case ErrM3UWithoutHttp:
        return QStringLiteral("The M3U file does not contain a proper HTTP reference in the filename!");
    case ErrPLSWithoutFile:
        return QStringLiteral("Server is currently unavailable or the shoutcast file is formatted incorrectly!");
    case ErrOgg:
        return QStringLiteral(
            "Icecast OGG streaming is not supported at this time... please wait for a future version!");
    case ErrTls:
        return QStringLiteral("The secure connection (TLS) to the playlist's server failed!");
    case ErrHls:
        return QStringLiteral("This station uses HLS, which is not supported yet.");
    case ErrTooLarge:
        return QStringLiteral("The playlist is too large to be a playlist!");
    case ErrUnknown:
        return QStringLiteral("Unknown error retrieving playlist!");
    default:
        return {};
    }
}

QString PlaylistReader::failureText(qint32 code) const
{
    if (code == ErrTls && !m_tlsFailure.isEmpty())
        return QStringLiteral("The secure connection to the playlist's server failed. ") + m_tlsFailure;
    return errorMessage(code);
}

void PlaylistReader::showError(qint32 code)
{
    const QString text = failureText(code);
    if (!text.isEmpty())
        platform::frontEnd().showMessage(text);
}

void PlaylistReader::cancel()
{
    ++m_generation;
    stopWaiting();
    m_socket->close();
    m_pending = false;
}

void PlaylistReader::begin(const QByteArray &reference)
{
    ++m_generation;
    stopWaiting();
    m_socket->close();
    m_pending = false;
    m_reference = reference;
    m_uri = ParsedUrl();
    m_reply.clear();
    rawData.clear();
    m_tlsFailure.clear();

    // The name comes from the path: "listen.pls?sid=1" names "listen".
    const qsizetype query = reference.indexOf('?');
    const QByteArray path = isWebAddress(reference) && query >= 0 ? reference.left(query) : reference;
    const qsizetype backslash = path.lastIndexOf('\\');
    const QByteArray fileName = path.mid((backslash >= 0 ? backslash : path.lastIndexOf('/')) + 1);
    if (fileName.size() < 4) {
        fail(ErrUnknown);
        return;
    }
    const bool m3u8 = fileName.toLower().endsWith(".m3u8");
    firstTitle = fileName.left(fileName.size() - (m3u8 ? 5 : 4));

    if (!reference.startsWith("http")) {
        readLocalFile(reference);
        return;
    }

    ParsedUrl uri;
    if (!sources::isRequestSafe(reference) || !uri.setUri(reference)) {
        fail(ErrUnknown);
        return;
    }
    m_uri = uri;
    m_requestStart = platform::clock().tickCount();
    m_pending = true;
    m_connection->start(m_uri.host(), m_uri.port(), kConnectLimitMs, m_uri.scheme().toLower() == "https");
}

void PlaylistReader::readLocalFile(const QByteArray &reference)
{
    const QString path = QFile::decodeName(reference);
    if (!platform::fileExists(path)) {
        Q_EMIT failed(ErrNoLocalFile);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(ErrUnknown);
        return;
    }
    // Read one byte past the limit to tell a full-size playlist from a larger file.
    const QByteArray content = file.read(kMaxPlaylistBytes + 1);
    file.close();
    if (content.size() > kMaxPlaylistBytes) {
        fail(ErrTooLarge);
        return;
    }
    parsePlaylist(joinedLines(content));
}

void PlaylistReader::onConnectionOutcome(ConnectionWait::Outcome outcome)
{
    if (!m_pending)
        return;
    switch (outcome) {
    case ConnectionWait::Outcome::Connected:
        // A peer that accepted and already closed again counts as connected:
        // the request then goes nowhere and the watchdog reports the failure.
        // The watchdog starts only now because while connecting the
        // connection limit, which falls due at the same moment, has the say.
        armWatchdog();
        sendRequest();
        break;
    case ConnectionWait::Outcome::Failed:
        fail(m_socket->errorNumber() == Socket::kTlsError ? ErrTls : ErrSocket);
        break;
    case ConnectionWait::Outcome::TimedOut:
        fail(ErrConnectTimeout);
        break;
    }
}

void PlaylistReader::sendRequest()
{
    QByteArray request = "GET " + m_uri.path();
    if (!m_uri.query().isEmpty())
        request += '?' + m_uri.query();
    request += " HTTP/1.1\r\n";
    request += "Host: " + m_uri.host();
    // A server that writes its own address into the playlist (an M3U of a
    // mount) takes it from here, so a port other than the scheme's goes along.
    if (m_uri.port() != ParsedUrl::defaultPort(m_uri.scheme()))
        request += ':' + QByteArray::number(m_uri.port());
    request += "\r\n";
    request += "User-Agent: " + kAgent + "\r\n";
    request += "\r\n";
    m_socket->send(request);
}

void PlaylistReader::onDataArrival()
{
    m_reply += m_socket->receiveAll();
    takeReplyIfComplete(false);
}

void PlaylistReader::onPeerClosed()
{
    m_reply += m_socket->receiveAll();
    takeReplyIfComplete(true);
}

void PlaylistReader::onSocketError()
{
    if (m_socket->errorNumber() == Socket::kTlsError)
        m_tlsFailure = m_socket->errorDescription();
    // While connecting, the connection wait reports it.
    if (!m_connection->isWaiting())
        fail(m_socket->errorNumber() == Socket::kTlsError ? ErrTls : ErrSocket);
}

void PlaylistReader::armWatchdog()
{
    platform::clock().cancelCall(m_watchdog);
    const qint64 left = std::clamp<qint64>(kReplyLimitMs - msSinceRequestStart(), 0, kReplyLimitMs);
    m_watchdog = platform::clock().callAfter(static_cast<int>(left), this, [this] {
        m_watchdog = 0;
        onWatchdog();
    });
}

void PlaylistReader::onWatchdog()
{
    if (!m_pending)
        return;
    if (msSinceRequestStart() >= kReplyLimitMs)
        fail(ErrBadReply);
    else
        armWatchdog(); // the call came early; wait for the rest
}

void PlaylistReader::stopWaiting()
{
    m_connection->cancel();
    if (m_watchdog != 0) {
        platform::clock().cancelCall(m_watchdog);
        m_watchdog = 0;
    }
}

void PlaylistReader::takeReplyIfComplete(bool peerClosed)
{
    if (m_reply.isEmpty())
        return;
    const std::optional<QByteArray> reply = sources::completeHttpReply(m_reply, peerClosed);
    if (!reply && m_reply.size() <= kMaxPlaylistBytes)
        return;
    m_reply.clear();
    if (!reply || reply->size() > kMaxPlaylistBytes) {
        fail(ErrTooLarge);
        return;
    }
    handleReply(*reply);
}

void PlaylistReader::handleReply(const QByteArray &text)
{
    const std::optional<sources::HttpStatus> status = sources::httpStatus(text);
    if (status && sources::isRedirectStatus(status->code)) {
        const QByteArray target = sources::headerValue(text, "Location").value_or(QByteArray());
        if (!target.isEmpty()) {
            follow(target);
            return;
        }
    }
    if (!text.contains("200 OK")) {
        // The request stays pending: the watchdog reports it once more later.
        Q_EMIT failed(ErrBadReply);
        return;
    }

    const QByteArray lower = text.toLower();
    if (lower.contains("\"refresh\"")) {
        const QByteArray target = refreshAddress(text, lower);
        if (target.isEmpty()) {
            platform::frontEnd().showMessage(
                QStringLiteral("The meta-refresh data passed to the Ombrex is malformed. \r\nSource:\r\n") +
                QString::fromLatin1(text));
            return;
        }
        follow(target);
        return;
    }

    stopWaiting();
    m_pending = false;
    parsePlaylist(text);
}

void PlaylistReader::parsePlaylist(const QByteArray &text)
{
    const quint32 generation = m_generation;
    rawData = text;
    const bool m3u = playlistTypeOf(m_reference) == PlaylistType::M3u;
    QList<QByteArray> addresses;
    if (sources::isHlsPlaylist(text)) {
        fail(ErrHls);
        return;
    }
    if (m3u) {
        addresses = sources::m3uAddresses(text);
    } else if (sources::hasPlsEntries(text)) {
        addresses = sources::plsAddresses(text);
    } else {
        fail(ErrPLSWithoutFile);
        return;
    }

    // Entries that cannot be used are passed over; the playlist fails only
    // when none is left.
    int usable = 0;
    for (const QByteArray &address : addresses) {
        const std::optional<sources::PlaylistEntry> entry = sources::screenEntry(address);
        if (!entry)
            continue;
        ++usable;
        Q_EMIT serverFound(entry->host, entry->path, entry->port, entry->query, entry->secure);
        if (generation != m_generation)
            return; // the host started another retrieval from its handler
    }
    if (usable == 0) {
        fail(m3u ? ErrM3UWithoutHttp : ErrPLSWithoutFile);
        return;
    }
    if (m3u) {
        firstTitle.clear();
    } else if (const std::optional<QByteArray> title = sources::plsTitle(text)) {
        firstTitle = *title;
    }
    m_socket->close();
    Q_EMIT finished();
}

void PlaylistReader::follow(const QByteArray &location)
{
    // A location on the same server may leave the server out.
    const QByteArray target =
        location.startsWith('/') && !location.startsWith("//")
            ? m_uri.scheme() + "://" + m_uri.host() + ':' + QByteArray::number(m_uri.port()) + location
            : location;
    // A page on the network never sends us to a local file or another scheme,
    // and nothing it says reaches our next request line unscreened.
    if (!isWebAddress(target) || !sources::isRequestSafe(target)) {
        fail(ErrBadReply);
        return;
    }
    // Pages that send us round in a circle end here.
    if (m_refreshesInRow >= kMaxRefreshes) {
        fail(ErrBadReply);
        return;
    }
    ++m_refreshesInRow;
    stopWaiting();
    m_socket->close();
    m_pending = false;
    // Started from the event loop rather than from here, so that a chain of
    // refresh pages never nests one retrieval inside another.
    const quint32 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation, target] {
        if (generation == m_generation)
            begin(target);
    });
}

void PlaylistReader::fail(qint32 code)
{
    // Tidy up first: a host may start the next retrieval from its Error handler.
    stopWaiting();
    m_pending = false;
    m_socket->close();
    Q_EMIT failed(code);
}

qint64 PlaylistReader::msSinceRequestStart() const
{
    // Unsigned difference: right across the wrap of the signed tick count.
    return static_cast<qint64>(static_cast<quint32>(platform::clock().tickCount()) -
                               static_cast<quint32>(m_requestStart));
}
