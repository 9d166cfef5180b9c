#include "sources/stationdirectory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QVariant>

#include <algorithm>
#include <optional>
#include <utility>

#include "config/inivalues.h"
#include "sources/webrequest.h"

namespace
{

const QUrl kDefaultServerList(QStringLiteral("https://all.api.radio-browser.info/json/servers"));
constexpr int kTimeoutMs = 15000;
// A page of 20 stations is some 20 KB; a reply past this is no page of ours
// and is cut off rather than held in memory and parsed on the window's thread.
constexpr qint64 kMaxReplyBytes = 4 * 1024 * 1024;
const char kTooLarge[] = "vorlaneTooLarge";

QByteArray userAgent()
{
    return QByteArrayLiteral("Vorlane/" VORLANE_VERSION);
}

// A server list entry names a host; a test or mirror may give a whole address.
QUrl serverAddress(const QString &name)
{
    if (name.contains(QStringLiteral("://")))
        return QUrl(name);
    return QUrl(QStringLiteral("https://") + name);
}

// A server list entry must be a host name, with a port at most: the list comes
// from the network, and an entry with a scheme or a path of its own could send
// our searches anywhere.
bool isHostName(const QString &name)
{
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    const QString host = colon < 0 ? name : name.left(colon);
    if (host.isEmpty() || host.size() > 253 || host.startsWith(QLatin1Char('.')) || host.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : host) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('.') && c != QLatin1Char('-'))
            return false;
    }
    if (colon < 0)
        return true;
    bool ok = false;
    const int port = name.mid(colon + 1).toInt(&ok);
    return ok && port > 0 && port <= 65535 && name.mid(colon + 1).front().isDigit();
}

// The reply's body, or nothing when it was cut off for its size.
std::optional<QByteArray> cappedBody(QNetworkReply *reply)
{
    if (reply->property(kTooLarge).toBool())
        return std::nullopt;
    return reply->read(kMaxReplyBytes);
}

} // namespace

StationDirectory::StationDirectory(QNetworkAccessManager &network, QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_serverList(kDefaultServerList)
{
    useConfiguredServer();
}

void StationDirectory::useConfiguredServer()
{
    const QString configured = configuredServer();
    if (configured == m_configured)
        return;
    m_configured = configured;
    m_servers.clear(); // none configured: the list is read again
    if (!configured.isEmpty())
        setServer(serverAddress(configured));
}

bool StationDirectory::isServerAddress(const QString &text)
{
    // A host name, or an http(s) address without anything a request line could not hold.
    const QUrl url = serverAddress(text);
    return !text.isEmpty() && text.size() <= 253 && url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QStringLiteral("https") || url.scheme() == QStringLiteral("http")) &&
           std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0x20 || c.unicode() == 0x7f; });
}

StationDirectory::~StationDirectory() = default;

QString StationDirectory::configuredServer()
{
    return readIniValue(QStringLiteral("Directory"), QStringLiteral("Server"), ombrexIniPath()).trimmed();
}

void StationDirectory::setServer(const QUrl &server)
{
    m_servers = {server};
}

QUrl StationDirectory::searchUrl(const QUrl &server, const DirectoryQuery &query)
{
    QUrl url = server;
    QString path = url.path();
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QStringLiteral("/json/stations/search"));
    QString text = query.text.trimmed();
    if (query.kind == DirectoryQuery::Kind::Genre && text.startsWith(QStringLiteral("- ")))
        text = text.mid(2).trimmed();
    // Plain pairs, escaped once below: the text is what the user typed, and a
    // "%25" in it is meant as those three characters.
    QList<std::pair<QString, QString>> items;
    items.append({query.kind == DirectoryQuery::Kind::Genre ? QStringLiteral("tag") : QStringLiteral("name"), text});
    items.append({QStringLiteral("hidebroken"), QStringLiteral("true")});
    items.append({QStringLiteral("limit"), QString::number(kPageSize)});
    items.append({QStringLiteral("offset"), QString::number(std::max(query.page, 0) * kPageSize)});
    items.append({QStringLiteral("order"), QStringLiteral("votes")});
    items.append({QStringLiteral("reverse"), QStringLiteral("true")});
    if (query.maxBitRate > 0 && query.maxBitRate != 9999)
        items.append({QStringLiteral("bitrateMax"), QString::number(query.maxBitRate)});
    // Every value fully escaped: "R&B/Soul" stays one value.
    QString encoded;
    for (const auto &[key, value] : std::as_const(items)) {
        if (!encoded.isEmpty())
            encoded += QLatin1Char('&');
        encoded += key + QLatin1Char('=') + QString::fromLatin1(QUrl::toPercentEncoding(value));
    }
    url.setQuery(encoded, QUrl::StrictMode);
    return url;
}

QList<DirectoryStation> StationDirectory::parseStations(const QByteArray &json, bool *ok)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    *ok = error.error == QJsonParseError::NoError && document.isArray();
    QList<DirectoryStation> stations;
    if (!*ok)
        return stations;
    for (const QJsonValue &value : document.array()) {
        // A server that sends more than the page asked for gets a page.
        if (stations.size() >= kPageSize)
            break;
        const QJsonObject object = value.toObject();
        DirectoryStation station;
        station.uuid = object.value(QStringLiteral("stationuuid")).toString();
        station.name = object.value(QStringLiteral("name")).toString().trimmed();
        station.country = object.value(QStringLiteral("country")).toString();
        station.codec = object.value(QStringLiteral("codec")).toString();
        station.tags = object.value(QStringLiteral("tags")).toString();
        station.url = object.value(QStringLiteral("url")).toString().trimmed().toUtf8();
        station.bitRate = object.value(QStringLiteral("bitrate")).toInt();
        station.votes = object.value(QStringLiteral("votes")).toInt();
        // An entry without an address cannot be recorded.
        if (!station.url.isEmpty())
            stations.append(station);
    }
    return stations;
}

QNetworkReply *StationDirectory::get(const QUrl &address)
{
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setTransferTimeout(kTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(sources::kMaxRedirects);
    QNetworkReply *reply = m_network.get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kMaxReplyBytes || total > kMaxReplyBytes) {
            reply->setProperty(kTooLarge, true);
            reply->abort();
        }
    });
    return reply;
}

void StationDirectory::withServers(std::function<void()> next)
{
    if (!m_servers.isEmpty()) {
        next();
        return;
    }
    QNetworkReply *reply = get(m_serverList);
    const quint32 generation = m_generation;
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation, next] {
        reply->deleteLater();
        if (generation != m_generation)
            return;
        QStringList names;
        const std::optional<QByteArray> body = cappedBody(reply);
        if (body && reply->error() == QNetworkReply::NoError) {
            const QJsonDocument document = QJsonDocument::fromJson(*body);
            for (const QJsonValue &value : document.array()) {
                const QString name = value.toObject().value(QStringLiteral("name")).toString();
                if (isHostName(name) && !names.contains(name))
                    names.append(name);
            }
        }
        if (names.isEmpty()) {
            Q_EMIT failed(QStringLiteral("The station directory cannot be reached: ") +
                          (!body                                      ? QStringLiteral("its server list is too large")
                           : reply->error() == QNetworkReply::NoError ? QStringLiteral("no servers listed")
                                                                      : reply->errorString()));
            return;
        }
        // Listed servers are reached the way the list itself was.
        const QString scheme = m_serverList.scheme().isEmpty() ? QStringLiteral("https") : m_serverList.scheme();
        // Spread the load over the directory's servers, as it asks its clients to.
        std::shuffle(names.begin(), names.end(), *QRandomGenerator::global());
        for (const QString &name : std::as_const(names))
            m_servers.append(QUrl(scheme + QStringLiteral("://") + name));
        next();
    });
}

void StationDirectory::search(const DirectoryQuery &query)
{
    ++m_generation;
    m_query = query;
    m_replyTooLarge = false;
    withServers([this] { trySearch(0); });
}

void StationDirectory::trySearch(int serverIndex)
{
    if (serverIndex >= m_servers.size()) {
        Q_EMIT failed(m_replyTooLarge
                          ? QStringLiteral("The station directory's answer was too large. Please try again later.")
                          : QStringLiteral("The station directory did not answer. Please try again later."));
        return;
    }
    QNetworkReply *reply = get(searchUrl(m_servers.at(serverIndex), m_query));
    const quint32 generation = m_generation;
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation, serverIndex] {
        reply->deleteLater();
        if (generation != m_generation)
            return; // a newer search replaced this one
        bool ok = false;
        const std::optional<QByteArray> body = cappedBody(reply);
        m_replyTooLarge = m_replyTooLarge || !body;
        const QList<DirectoryStation> stations =
            body && reply->error() == QNetworkReply::NoError ? parseStations(*body, &ok) : QList<DirectoryStation>();
        if (!ok) {
            // This server failed; the next one may not. Keep the good one first next time.
            trySearch(serverIndex + 1);
            return;
        }
        if (serverIndex > 0)
            m_servers.move(serverIndex, 0);
        Q_EMIT resultsReady(stations, m_query);
    });
}

void StationDirectory::countClick(const QString &uuid)
{
    if (uuid.isEmpty())
        return;
    withServers([this, uuid] {
        QUrl url = m_servers.constFirst();
        QString path = url.path();
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        url.setPath(path + QStringLiteral("/json/url/") + QString::fromLatin1(QUrl::toPercentEncoding(uuid)));
        QNetworkReply *reply = get(url);
        // The count is a courtesy to the directory: its answer changes nothing here.
        connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    });
}
