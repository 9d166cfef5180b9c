#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// One station of the community radio directory, as a search lists it.
struct DirectoryStation
{
    QString uuid;
    QString name;
    QString country;
    QString codec;
    QString tags;
    QByteArray url; // the station's own address: a playlist or a stream
    int bitRate = 0;
    int votes = 0;
};

// What the search window asks for.
struct DirectoryQuery
{
    enum class Kind
    {
        Keyword,
        Genre,
    };
    Kind kind = Kind::Keyword;
    QString text;       // the keyword, or the genre as listed ("- Drum and Bass")
    int maxBitRate = 0; // kbit/s; 9999 (or 0) means no limit
    int page = 0;       // 20 stations a page
};

// Searches the radio-browser directory over its JSON API. A server is found
// through the directory's server list (or taken from configuration), tried in
// random order, and the next one is used when one fails. Nothing blocks:
// results and failures come as signals.
class StationDirectory final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationDirectory)

public:
    static constexpr int kPageSize = 20;

    explicit StationDirectory(QNetworkAccessManager &network, QObject *parent = nullptr);
    ~StationDirectory() override;

    // The configured API base address ("[Directory] Server" of ombrex.ini), or
    // empty to find servers through the directory's own list.
    static QString configuredServer();
    // Whether text names a directory server: a host name or an http(s) address.
    static bool isServerAddress(const QString &text);
    // Takes up a change of the configured server (the setup window's Advanced page).
    void useConfiguredServer();
    // Where the list of servers is read from.
    void setServerListAddress(const QUrl &address) { m_serverList = address; }
    // Uses this one server instead of the list.
    void setServer(const QUrl &server);

    // The search address on a server; every value is escaped.
    static QUrl searchUrl(const QUrl &server, const DirectoryQuery &query);
    static QList<DirectoryStation> parseStations(const QByteArray &json, bool *ok);

    void search(const DirectoryQuery &query);
    // Tells the directory that the user records or listens to this station.
    void countClick(const QString &uuid);

Q_SIGNALS:
    void resultsReady(const QList<DirectoryStation> &stations, const DirectoryQuery &query);
    void failed(const QString &message);

private:
    void withServers(std::function<void()> next);
    void trySearch(int serverIndex);
    QNetworkReply *get(const QUrl &address);

    QNetworkAccessManager &m_network;
    QUrl m_serverList;
    QString m_configured; // the configured server the servers were set from
    QList<QUrl> m_servers;
    DirectoryQuery m_query;
    quint32 m_generation = 0;
    bool m_replyTooLarge = false; // a server of this search sent more than any page
};
