#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "engine/headercollector.h"
#include "engine/metadataparser.h"
#include "engine/playlistreply.h"
#include "engine/streamserver.h"
#include "platform/clock.h"

class ConnectionWait;
class Socket;

// One connection to one stream server: the connection wait, the request, the
// reply's header gathered until its blank line, every packet screened for
// refusals, the browser page and redirects, and then the stream itself, split
// into audio and titles when it carries in-band metadata. A reply that turns
// out to be an HLS playlist is read whole and handed over instead of its
// header (the station is then followed as HLS). Holds keep data
// waiting in the socket (in order) while the recorder opens a file.
//
// What it reads it reports through signals; what to make of it (which server
// next, which file, which message) is the recorder's. The signals are handled
// directly, so a recorder that closes the connection from a handler stops the
// rest of the packet too.
class StreamConnection final : public QObject, private MetadataParser::Sink
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StreamConnection)

public:
    enum class Phase
    {
        Idle,           // no connection
        Connecting,     // waiting for the server to accept
        AwaitingHeader, // connected; the reply's header is still expected
        ReadingBody,    // the header came; its body may be an HLS playlist
        Streaming,      // the header was taken; packets are stream data
    };

    StreamConnection(platform::Clock &clock, QObject *parent = nullptr);
    ~StreamConnection() override;

    // Connects to server; connected() or connectFailed() follows.
    void connectTo(const StreamServer &server);
    // Sends the stream request for the server connected to.
    void sendRequest(bool titleMode, bool browserAgent);
    // Ends the connection and forgets what it had begun to deliver.
    void close();
    // Data of this connection is read and dropped until it is closed or replaced.
    void discardData() { m_discarding = true; }

    // The header was taken: packets are stream data from now on, separated on
    // a metadata grid of metaInterval bytes (0: all audio).
    void startStream(qint32 metaInterval);
    // Stream bytes that came with the header, handled as the stream is.
    void feed(QByteArray bytes);
    // Writes out the audio gathered before a title that ends the current song.
    void flushAudio();

    // Data that arrives within the next milliseconds waits in the socket.
    void hold(int milliseconds);
    bool isHolding() const { return m_holdCall != 0; }
    // Audio waits below the read threshold: it is read at once (true) unless a hold keeps it.
    bool takeWaitingData();
    // Bytes the socket gathers before it reports them.
    void setReadThreshold(int bytes);
    int readThreshold() const { return m_readThreshold; }

    Phase phase() const { return m_phase; }
    // Bytes received since the request; it stays at the largest count instead of wrapping.
    qint32 byteCount() const { return m_byteCount; }
    const MetadataParser &metadataParser() const { return m_parser; }
    // A new stream grid without a connection (start values).
    void resetParser() { m_parser.restart(0); }

Q_SIGNALS:
    void connected();
    // The server could not be reached; tls tells a failed certificate or handshake.
    void connectFailed(bool tls, const QString &text);
    // Data came (also during a hold): the station is not silent.
    void activity();
    // A hold ended; the data it kept follows.
    void holdEnded();
    // A packet passed screening as stream data (header or audio).
    void accepted();
    // The reply refuses, is the page sent to browsers, or redirects (its bytes).
    void refused(const QByteArray &reply);
    void browserPage();
    void redirected(const QByteArray &reply);
    // The reply filled the header limit without ending its header.
    void endlessHeader();
    // The reply's header, with whatever stream bytes came with its last piece.
    void headerArrived(const QByteArray &header);
    // The reply was an HLS playlist (its text); the connection's data is dropped from now on.
    void hlsPlaylist(const QByteArray &playlist);
    // Stream audio, and in-band titles (already taken out of their block).
    void audio(const QByteArray &bytes);
    void title(const QByteArray &title);
    // One packet was handled.
    void packetHandled();
    // The server closed the stream and everything it sent has been handled.
    void closed();

private:
    void onDataArrived();
    void takePacket(QByteArray packet);
    void separate(QByteArray packet);
    void streamAudio(const QByteArray &packet, qsizetype from, qsizetype length) override;
    void metadataBlock(const QByteArray &text) override;
    void releaseHold();
    void dropHold();
    void finishClosedStream();
    void judgeBody(PlaylistReply::Verdict verdict);

    platform::Clock &m_time;
    Socket *m_socket;
    ConnectionWait *m_wait;
    StreamServer m_server;
    Phase m_phase = Phase::Idle;
    HeaderCollector m_header;
    PlaylistReply m_body;
    MetadataParser m_parser;
    bool m_separating = false;
    bool m_discarding = false;
    bool m_peerClosed = false; // the server closed; what it sent is still being handled
    qint32 m_byteCount = 0;
    int m_readThreshold = 1;
    platform::Clock::CallId m_holdCall = 0;
    QByteArray m_work;        // the packet being separated; its audio is gathered at its front
    qsizetype m_writePos = 0; // end of the gathered audio in m_work
    qsizetype m_flushPos = 0; // end of the audio already reported from m_work
};
