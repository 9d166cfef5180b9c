#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;

// The TCP socket every network conversation of the program goes through: the
// engine's stream socket, the playlist reader's socket, the Live365 reader's
// sockets and the relay's listening and data sockets are instances of it.
//
// Client side:
//   sock.connectTo("127.0.0.1", 8000);   // returns at once
//   ... connected (or failed; ConnectionWait adds a time limit)
//   sock.send("GET / HTTP/1.0\r\n\r\n");
//   ... dataArrived -> sock.receiveAll()
//
// Server side:
//   server.listen(29174, Socket::ListenScope::LoopbackOnly);
//   ... connectionRequested(id): if (server.peerAddress() == "127.0.0.1") data.accept(server, id);
//
// Bytes in and out are QByteArray, one character per byte; nothing is decoded.
// Every notification is delivered on the thread that owns the object (the one
// user-interface thread), never from inside connectTo/listen/accept/send/close:
// a failure detected inside such a call is reported after it has returned. After
// close() no notification of the closed connection arrives any more.
class Socket final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Socket)

public:
    // Callers only need Connected, Error and "anything else" (still working,
    // closed, listening). PeerClosed: the connection was established and the
    // other side has closed it since; data it sent before closing can still be
    // read with receiveAll(). A connection wait should treat it as "connected,
    // then lost" rather than poll on.
    enum class State
    {
        Closed,
        Connecting,
        Connected,
        Listening,
        PeerClosed,
        Error,
    };

    enum class ListenScope
    {
        AnyAddress,   // every local address (IPv4 and IPv6)
        LoopbackOnly, // 127.0.0.1 only, unreachable from other machines
    };

    explicit Socket(QObject *parent = nullptr);
    ~Socket() override;

    enum class Security
    {
        Plain,
        Tls, // TLS with the system's certificate authorities, verification on
    };

    // A TLS certificate or handshake failure (errorNumber()); its description
    // names the host and what went wrong.
    static constexpr qint32 kTlsError = 10099;

    // Closes whatever the socket holds and starts connecting to a host name or
    // dotted address. Returns at once; the state moves to Connected (with TLS:
    // once the handshake is done and the certificate verified), or to Error
    // with an Error notification. Names under "localhost" ("x.localhost") are
    // this machine (127.0.0.1) and are never sent to a name server.
    void connectTo(const QByteArray &host, quint16 port, Security security = Security::Plain);

    State state() const;
    bool isConnected() const { return state() == State::Connected; }

    // Queues the bytes for sending. Returns false (and sends nothing) when the
    // socket is not connected; no notification follows then.
    bool send(const QByteArray &bytes);

    // All bytes received and not yet read, at once; empty when there are none.
    QByteArray receiveAll();
    qint64 bytesPending() const;
    // With a threshold, new data is reported only once that many bytes wait
    // (or the peer closed), so that a steady stream wakes the program in
    // batches instead of for every packet. 1 reports every byte. It holds for
    // the current connection.
    void setReadThreshold(int bytes);
    // Bytes received and not yet read, with those the system holds below the threshold.
    qint64 bytesWaiting() const;
    // Bytes given to send() that have not reached the system yet: they grow
    // while the peer does not read.
    qint64 bytesQueued() const;

    // Closes the connection or stops listening. Bytes already queued by send()
    // are still delivered. Does nothing on a closed socket.
    void close();

    // Starts listening on a local port (0 picks a free one; see localPort()).
    // Returns false when the port cannot be opened (for instance because another
    // program listens on it); the state is then Error with errorNumber() and
    // errorDescription() set, and no Error notification is sent.
    bool listen(quint16 port, ListenScope scope = ListenScope::AnyAddress);
    // The local port of a listening or connected socket; 0 when there is none.
    quint16 localPort() const;

    // Takes the pending connection announced by the listener's
    // connectionRequested onto this one (closing what this one held). A request
    // that is not accepted while its notification runs is refused (closed).
    // Returns false for an unknown or already handled request.
    bool accept(Socket &listener, qint32 requestId);

    // The peer's dotted address ("127.0.0.1"). On a listening socket, while its
    // connectionRequested notification runs, the address of the requesting peer.
    QByteArray peerAddress() const;

    // The last failure: a Winsock-style number (10061 refused, 10060 timed out,
    // 11001 host not found, 10048 address in use, 10054 other) and a description.
    qint32 errorNumber() const { return m_errorNumber; }
    QString errorDescription() const { return m_errorDescription; }

Q_SIGNALS:
    // connectTo() reached its peer (with TLS: securely); the state is Connected.
    void connected();
    // New bytes arrived; bytesTotal is the number now pending.
    void dataArrived(qint64 bytesTotal);
    // A peer asks to connect to this listening socket; accept it with accept(requestId).
    void connectionRequested(qint32 requestId);
    // The connection failed; the state is Error until close() or connectTo().
    void failed(qint32 number, const QString &description);
    // The peer closed the connection (not an error); pending data stays readable.
    void peerClosed();

private:
    void adopt(QTcpSocket *socket, bool tls = false);
    void onTlsErrors(const QString &errors);
    void release();
    void onNewConnection();
    void onSocketError(int qtError);
    void fail(qint32 number, const QString &description);

    QTcpSocket *m_socket = nullptr;
    QTcpServer *m_server = nullptr;
    State m_forcedState = State::Closed; // Error or PeerClosed override the socket's own state
    bool m_stateForced = false;
    qint32 m_errorNumber = 0;
    QString m_errorDescription;
    QByteArray m_requestPeer;
    // The connection announced by the connectionRequested now running.
    QPointer<QTcpSocket> m_pendingRequest;
    qint32 m_pendingRequestId = 0;
    qint32 m_lastRequestId = 0;
    QByteArray m_tlsHost;      // the host a TLS connection verifies; empty for plain ones
    bool m_tlsPending = false; // TLS handshake not finished yet
    int m_callDepth = 0;
    quint32 m_generation = 0;
};
