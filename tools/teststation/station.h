#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSslCertificate>
#include <QString>

#include <deque>

#include "platform/clock.h"
#include "teststation/mp3frame.h"
#include "teststation/stationconfig.h"

class QTcpServer;

namespace teststation
{

class StationConnection;

// Where a new title began: the number of audio bytes sent before the metadata
// block that announced it.
struct TitleMark
{
    qint64 audioOffset = 0;
    QByteArray title;
};

// One request as the station received it, in arrival order over all connections.
struct RequestRecord
{
    int connection = 0; // index of the connection it came on
    QByteArray line;    // the request line, e.g. "GET /json/stations/search?name=x&limit=5 HTTP/1.1"
    QByteArray method;  // "GET", "POST", ...
    QByteArray target;  // "/json/stations/search?name=x&limit=5", query string kept as sent
    QByteArray header;  // request line to blank line inclusive
    QByteArray body;    // what followed under Content-Length
};

// What the station did on one connection, kept after the connection ends.
struct ConnectionRecord
{
    int index = 0;
    QByteArray request;            // the (last) request as received, up to and including its blank line
    QByteArray target;             // its target, e.g. "/stream?sid=1"
    bool askedForMetadata = false; // the request carried "Icy-MetaData:1"
    QByteArray header; // a stream's response header (status line to blank line); a page's whole (last) reply
    bool isStream = false;
    bool metadata = false; // in-band metadata was interleaved, every metaInt audio bytes
    int metaInt = 0;
    QByteArray audio; // the audio bytes sent, without metadata (when Config::recordAudio)
    qint64 audioBytes = 0;
    qint64 wireBytes = 0; // every byte written to the socket
    QList<TitleMark> titles;
    bool stalled = false; // stopped sending (stallAfter), connection kept
    bool dropped = false; // closed by the station (dropAfter or dropConnection)
    bool open = true;     // until either side closed the connection
};

// A radio station on 127.0.0.1 for tests, benchmarks and demonstrations: it
// serves playlists, pages and JSON replies, and MP3 streams with SHOUTcast/Icecast headers
// and in-band titles, misbehaving on demand. It runs in the caller's thread
// and event loop (no threads): while a test waits with
// platform::letPendingEventsRun() or an event loop, the station answers.
//
//   teststation::Config config;
//   config.streams["/stream"].titles = {"Artist - One", "Don't Stop"};
//   config.streams["/stream"].titleEvery = 20000;
//   config.pages["/listen.pls"] = teststation::Page::pls({"http://{station}/stream"}, {"My Station"});
//   teststation::Station station(config);
//   station.start();
//   grabber.start(station.url("/listen.pls"));
//   ... station.connection(1).audio, station.connection(1).titles
//
// Real-time pacing follows config.clock: under a FakeClock the stream sends
// audio only as fast as the test advances the clock.
class Station final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Station)

public:
    explicit Station(const Config &config = Config(), QObject *parent = nullptr);
    ~Station() override;

    // Listens on 127.0.0.1 at config().port (0: any free port) and loads the
    // MP3 files the streams name, and with config().tls the certificate and
    // key. Returns false with *error set on failure.
    bool start(QString *error = nullptr);
    // Stops listening and closes every connection; the records stay.
    void stop();
    bool isListening() const;

    quint16 port() const;
    QByteArray hostPort() const;                  // "127.0.0.1:<port>"
    QByteArray url(const QByteArray &path) const; // "http(s)://127.0.0.1:<port>" + path

    // With config().tls: the CA file and its certificates, for a client to
    // trust (QSslConfiguration::setCaCertificates); else empty.
    QString caFile() const;
    QList<QSslCertificate> caCertificates() const;
    // TLS handshakes that failed (a client that did not trust the certificate).
    int failedHandshakeCount() const { return m_failedHandshakes; }

    // The configuration; changes apply to requests that arrive afterwards.
    Config &config() { return m_config; }
    const Config &config() const { return m_config; }

    // Connections in the order they were accepted, from index 0.
    int connectionCount() const { return static_cast<int>(m_records.size()); }
    const ConnectionRecord &connection(int index) const { return m_records.at(static_cast<size_t>(index)); }
    int openConnectionCount() const;

    // Every request received, in order; a connection kept open for pages
    // (Page::keepOpen) can carry several.
    const QList<RequestRecord> &requests() const { return m_requests; }
    // Just the request lines, e.g. {"GET /json/tags HTTP/1.1", ...}.
    QList<QByteArray> requestLines() const;

    // Closes one connection now (records it as dropped).
    void dropConnection(int index);

Q_SIGNALS:
    // A connection's request was read and is being answered.
    void requestReceived(int index);
    // A connection ended (either side closed it).
    void connectionClosed(int index);

private:
    friend class StationConnection;
    void onNewConnection();
    ConnectionRecord &record(int index) { return m_records.at(static_cast<size_t>(index)); }
    // The frames of an MP3 file, loaded once; nullptr when it cannot be read.
    const Mp3Audio *mp3(const QString &path);
    bool loadFiles(QString *error);
    bool makeServer(QString *error);
    platform::Clock &pacingClock() { return m_config.clock ? *m_config.clock : m_systemClock; }

    Config m_config;
    platform::SystemClock m_systemClock;
    QTcpServer *m_server = nullptr;
    std::deque<ConnectionRecord> m_records;
    QList<RequestRecord> m_requests;
    int m_failedHandshakes = 0;
    QList<StationConnection *> m_connections;
    QMap<QString, Mp3Audio> m_files;
};

} // namespace teststation
