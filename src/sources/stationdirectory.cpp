#include "sources/stationdirectory.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QUrlQuery>

#include <algorithm>

#include "config/inivalues.h"

namespace
{

const QUrl kDefaultServerList(QStringLiteral("https://all.api.radio-browser.info/json/servers"));
constexpr int kTimeoutMs = 15000;

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

} // namespace

StationDirectory::StationDirectory(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
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
    QUrlQuery items;
    items.addQueryItem(query.kind == DirectoryQuery::Kind::Genre ? QStringLiteral("tag") : QStringLiteral("name"),
                       text);
    items.addQueryItem(QStringLiteral("hidebroken"), QStringLiteral("true"));
    items.addQueryItem(QStringLiteral("limit"), QString::number(kPageSize));
    items.addQueryItem(QStringLiteral("offset"), QString::number(std::max(query.page, 0) * kPageSize));
    items.addQueryItem(QStringLiteral("order"), QStringLiteral("votes"));
    items.addQueryItem(QStringLiteral("reverse"), QStringLiteral("true"));
    if (query.maxBitRate > 0 && query.maxBitRate != 9999)
        items.addQueryItem(QStringLiteral("bitrateMax"), QString::number(query.maxBitRate));
    // Every value fully escaped: "R&B/Soul" stays one value.
    QString encoded;
    for (const auto &[key, value] : items.queryItems(QUrl::FullyDecoded)) {
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
    return m_network->get(request);
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
        if (reply->error() == QNetworkReply::NoError) {
            const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
            for (const QJsonValue &value : document.array()) {
                const QString name = value.toObject().value(QStringLiteral("name")).toString();
                if (!name.isEmpty() && !names.contains(name))
                    names.append(name);
            }
        }
        if (names.isEmpty()) {
            Q_EMIT failed(QStringLiteral("The station directory cannot be reached: ") +
                          (reply->error() == QNetworkReply::NoError ? QStringLiteral("no servers listed")
                                                                    : reply->errorString()));
            return;
        }
        // Spread the load over the directory's servers, as it asks its clients to.
        std::shuffle(names.begin(), names.end(), *QRandomGenerator::global());
        for (const QString &name : std::as_const(names))
            m_servers.append(serverAddress(name));
        next();
    });
}

void StationDirectory::search(const DirectoryQuery &query)
{
    ++m_generation;
    m_query = query;
    withServers([this] { trySearch(0); });
}

void StationDirectory::trySearch(int serverIndex)
{
    if (serverIndex >= m_servers.size()) {
        Q_EMIT failed(QStringLiteral("The station directory did not answer. Please try again later."));
        return;
    }
    QNetworkReply *reply = get(searchUrl(m_servers.at(serverIndex), m_query));
    const quint32 generation = m_generation;
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation, serverIndex] {
        reply->deleteLater();
        if (generation != m_generation)
            return; // a newer search replaced this one
        bool ok = false;
        const QList<DirectoryStation> stations =
            reply->error() == QNetworkReply::NoError ? parseStations(reply->readAll(), &ok) : QList<DirectoryStation>();
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
