#include "sources/playlistreader.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslError>
#include <QTimer>

#include <algorithm>

#include "config/stationaddress.h"
#include "platform/paths.h"
#include "sources/httpreply.h"
#include "sources/playlistentries.h"
#include "sources/requestvalue.h"
#include "sources/webrequest.h"

namespace
{

// A request that has not reached a server this long after it began fails as a
// connection time-out; one that reached it, as a bad reply.
constexpr int kReplyLimitMs = 3001;
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

PlaylistReader::PlaylistReader(QNetworkAccessManager &network, platform::Clock &clock, QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_clock(clock)
{}

PlaylistReader::~PlaylistReader()
{
    dropReply();
    m_clock.cancelCall(m_limit);
}

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
    cancel();
    m_reference = address;
    m_uri = ParsedUrl();
    m_tlsFailure.clear();
    rawData = address;
    hlsUrl.clear();
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

void PlaylistReader::cancel()
{
    ++m_generation;
    dropReply();
    m_clock.cancelCall(m_limit);
    m_limit = 0;
    m_pending = false;
}

void PlaylistReader::begin(const QByteArray &reference)
{
    cancel();
    m_reference = reference;
    m_uri = ParsedUrl();
    m_body.clear();
    rawData.clear();
    hlsUrl.clear();
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
    m_pending = true;
    m_connected = false;
    m_realStart.start();
    // The agent names a browser: some stations hand their playlists to browsers only.
    m_reply = m_network.get(sources::webRequest(m_uri, kAgent));
    connect(m_reply, &QNetworkReply::requestSent, this, [this] { m_connected = true; });
    connect(m_reply, &QNetworkReply::readyRead, this, &PlaylistReader::onData);
    connect(m_reply, &QNetworkReply::sslErrors, this, [this](const QList<QSslError> &errors) {
        QStringList texts;
        for (const QSslError &error : errors)
            texts.append(error.errorString());
        m_tlsFailure = sources::tlsFailureText(m_uri.host(), texts.join(QStringLiteral("; ")));
    });
    connect(m_reply, &QNetworkReply::finished, this, &PlaylistReader::onFinished);
    armLimit();
}

void PlaylistReader::armLimit()
{
    m_clock.cancelCall(m_limit);
    m_limit = m_clock.callAfter(kReplyLimitMs, this, [this] {
        m_limit = 0;
        onLimit();
    });
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

bool PlaylistReader::tooLarge() const
{
    return m_body.size() > kMaxPlaylistBytes;
}

void PlaylistReader::onData()
{
    // Read one byte past the limit to tell a full-size playlist from a larger reply.
    m_body += m_reply->read(kMaxPlaylistBytes + 1 - m_body.size());
    if (tooLarge())
        fail(ErrTooLarge);
}

void PlaylistReader::onFinished()
{
    QNetworkReply *reply = m_reply;
    const QNetworkReply::NetworkError error = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    switch (error) {
    case QNetworkReply::OperationCanceledError:
        return;
    case QNetworkReply::TimeoutError:
        onLimit();
        return;
    case QNetworkReply::SslHandshakeFailedError:
        if (m_tlsFailure.isEmpty())
            m_tlsFailure = sources::tlsFailureText(m_uri.host(), reply->errorString());
        fail(ErrTls);
        return;
    case QNetworkReply::RemoteHostClosedError:
        // A peer that accepted and closed again was reached: the request went
        // nowhere, and the time limit reports the missing reply.
        if (!status.isValid()) {
            m_connected = true;
            dropReply();
            return;
        }
        break;
    default:
        break;
    }
    if (!status.isValid()) {
        fail(error < QNetworkReply::ProxyConnectionRefusedError ? ErrSocket : ErrBadReply);
        return;
    }
    m_body += reply->read(kMaxPlaylistBytes + 1 - m_body.size());
    const QByteArray location = sources::cutAtControl(reply->rawHeader(QByteArrayLiteral("Location")).trimmed());
    dropReply();
    if (sources::isRedirectStatus(status.toInt()) && !location.isEmpty()) {
        follow(location);
        return;
    }
    if (tooLarge()) {
        fail(ErrTooLarge);
        return;
    }
    m_connected = true;
    if (status.toInt() != 200) {
        // The request stays pending: the time limit reports it once more later.
        Q_EMIT failed(ErrBadReply);
        return;
    }
    handleReply(m_body);
}

void PlaylistReader::onLimit()
{
    const quint32 generation = m_generation;
    sources::afterMinimumRealTime(m_realStart, this, [this, generation] {
        if (generation == m_generation && m_pending)
            fail(m_connected ? ErrBadReply : ErrConnectTimeout);
    });
}

void PlaylistReader::dropReply()
{
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
}

void PlaylistReader::handleReply(const QByteArray &body)
{
    const QByteArray lower = body.toLower();
    if (lower.contains("\"refresh\"")) {
        const QByteArray target = refreshAddress(body, lower);
        if (target.isEmpty()) {
            // Pending until the time limit gives up on it.
            Q_EMIT messageRequested(
                QStringLiteral("The meta-refresh data passed to the Ombrex is malformed. \r\nSource:\r\n") +
                QString::fromLatin1(body));
            return;
        }
        follow(target);
        return;
    }

    m_clock.cancelCall(m_limit);
    m_limit = 0;
    m_pending = false;
    parsePlaylist(body);
}

void PlaylistReader::parsePlaylist(const QByteArray &text)
{
    const quint32 generation = m_generation;
    rawData = text;
    const bool m3u = playlistTypeOf(m_reference) == PlaylistType::M3u;
    QList<QByteArray> addresses;
    if (sources::isHlsPlaylist(text)) {
        // Its segments are not servers: the recorder follows it on its own.
        hlsUrl = isWebAddress(m_reference) ? QUrl::fromEncoded(m_reference, QUrl::TolerantMode)
                                           : QUrl::fromLocalFile(QFile::decodeName(m_reference));
        firstTitle.clear();
        Q_EMIT finished();
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
    cancel();
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
    dropReply();
    m_clock.cancelCall(m_limit);
    m_limit = 0;
    m_pending = false;
    Q_EMIT failed(code);
}
