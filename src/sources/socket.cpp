#include "sources/socket.h"

#include <QHostAddress>
#include <QPointer>
#include <QSslError>
#include <QSslSocket>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

#include <sys/ioctl.h>
#include <sys/socket.h>

namespace
{

constexpr qint64 kReadBufferBytes = 256 * 1024;

// A socket that is still sending when closed gets this long to flush.
constexpr int kLingerMs = 5000;

qint32 winsockNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::NetworkError:
        return 10050;
    default:
        return 10054;
    }
}

// "x.localhost" and "x.localhost." name this machine (RFC 6761); the system
// resolver would ask a name server about them.
bool isLocalhostSubdomain(const QByteArray &host)
{
    const QByteArray name = host.toLower();
    return name.endsWith(".localhost") || name.endsWith(".localhost.");
}

QByteArray dottedAddress(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4); // also unwraps ::ffff:a.b.c.d
    if (isV4)
        return QHostAddress(v4).toString().toLatin1();
    return address.toString().toLatin1();
}

// Counts the public calls in progress, so that failures found inside them are
// reported after the call has returned.
class CallScope final
{
public:
    explicit CallScope(int &depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~CallScope() { --m_depth; }
    CallScope(const CallScope &) = delete;
    CallScope &operator=(const CallScope &) = delete;

private:
    int &m_depth;
};

} // namespace

Socket::Socket(QObject *parent)
    : QObject(parent)
{}

Socket::~Socket()
{
    release();
}

void Socket::connectTo(const QByteArray &host, quint16 port, Security security)
{
    CallScope scope(m_callDepth);
    release();
    if (security == Security::Tls) {
        auto *socket = new QSslSocket(this);
        adopt(socket, true);
        m_tlsHost = host;
        m_tlsPending = true;
        const QString name = QString::fromLatin1(host);
        // The certificate is checked against the name asked for, also when
        // the address is fixed (x.localhost).
        if (isLocalhostSubdomain(host))
            socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port, name);
        else
            socket->connectToHostEncrypted(name, port);
        return;
    }
    auto *socket = new QTcpSocket(this);
    adopt(socket);
    if (isLocalhostSubdomain(host))
        socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    else
        socket->connectToHost(QString::fromLatin1(host), port);
}

Socket::State Socket::state() const
{
    if (m_stateForced)
        return m_forcedState;
    if (m_server)
        return State::Listening;
    if (!m_socket)
        return State::Closed;
    switch (m_socket->state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return State::Connecting;
    case QAbstractSocket::ConnectedState:
        return m_tlsPending ? State::Connecting : State::Connected;
    case QAbstractSocket::UnconnectedState:
        return State::Closed;
    default:
        return State::PeerClosed;
    }
}

bool Socket::send(const QByteArray &bytes)
{
    CallScope scope(m_callDepth);
    if (state() != State::Connected)
        return false;
    return m_socket->write(bytes) == bytes.size();
}

QByteArray Socket::receiveAll()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

qint64 Socket::bytesPending() const
{
    return m_socket ? m_socket->bytesAvailable() : 0;
}

void Socket::setReadThreshold(int bytes)
{
    const qintptr descriptor = m_socket ? m_socket->socketDescriptor() : -1;
    const int value = std::max(bytes, 1);
    if (descriptor >= 0)
        ::setsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_RCVLOWAT, &value, sizeof value);
}

qint64 Socket::bytesWaiting() const
{
    const qintptr descriptor = m_socket ? m_socket->socketDescriptor() : -1;
    int held = 0;
    if (descriptor < 0 || ::ioctl(static_cast<int>(descriptor), FIONREAD, &held) != 0)
        held = 0;
    return bytesPending() + held;
}

qint64 Socket::bytesQueued() const
{
    return m_socket ? m_socket->bytesToWrite() : 0;
}

void Socket::close()
{
    CallScope scope(m_callDepth);
    release();
}

bool Socket::listen(quint16 port, ListenScope scope)
{
    CallScope call(m_callDepth);
    release();
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &Socket::onNewConnection);
    const QHostAddress address =
        scope == ListenScope::LoopbackOnly ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(QHostAddress::Any);
    if (m_server->listen(address, port))
        return true;
    m_errorNumber = winsockNumber(m_server->serverError());
    m_errorDescription = m_server->errorString();
    delete m_server;
    m_server = nullptr;
    m_stateForced = true;
    m_forcedState = State::Error;
    return false;
}

quint16 Socket::localPort() const
{
    if (m_server)
        return m_server->serverPort();
    return m_socket ? m_socket->localPort() : 0;
}

bool Socket::accept(Socket &listener, qint32 requestId)
{
    CallScope scope(m_callDepth);
    if (requestId == 0 || listener.m_pendingRequestId != requestId)
        return false;
    const QPointer<QTcpSocket> socket = std::exchange(listener.m_pendingRequest, nullptr);
    listener.m_pendingRequestId = 0;
    if (!socket)
        return false;
    release();
    socket->setParent(this);
    adopt(socket);
    if (socket->state() != QAbstractSocket::ConnectedState) {
        // The peer gave up already; say so the way a live connection would.
        m_stateForced = true;
        m_forcedState = State::PeerClosed;
    }
    if (socket->bytesAvailable() > 0) {
        // Bytes that came with the request: announce them once the caller is back in the event loop.
        const quint32 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation && m_socket && m_socket->bytesAvailable() > 0)
                Q_EMIT dataArrived(m_socket->bytesAvailable());
        });
    }
    return true;
}

QByteArray Socket::peerAddress() const
{
    if (m_server)
        return m_requestPeer;
    return m_socket ? dottedAddress(m_socket->peerAddress()) : QByteArray();
}

void Socket::adopt(QTcpSocket *socket, bool tls)
{
    ++m_generation;
    m_socket = socket;
    m_stateForced = false;
    m_tlsHost.clear();
    m_tlsPending = false;
    m_errorNumber = 0;
    m_errorDescription.clear();
    // Leave what we have not read yet in the kernel: a receiver that was busy
    // for a while (a 500 ms wait after a new file) then gets bounded packets
    // instead of everything a fast sender queued, and memory stays flat.
    socket->setReadBufferSize(kReadBufferBytes);
    if (auto *secure = tls ? qobject_cast<QSslSocket *>(socket) : nullptr) {
        // Reached only once the peer is verified; before that nothing may be sent.
        connect(secure, &QSslSocket::encrypted, this, [this] {
            m_tlsPending = false;
            Q_EMIT connected();
        });
        connect(secure, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
            QStringList texts;
            for (const QSslError &error : errors)
                texts.append(error.errorString());
            onTlsErrors(texts.join(QStringLiteral("; ")));
        });
    } else {
        connect(socket, &QTcpSocket::connected, this, &Socket::connected);
    }
    connect(socket, &QTcpSocket::readyRead, this, [this] { Q_EMIT dataArrived(m_socket->bytesAvailable()); });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { onSocketError(error); });
    // Some peers vanish without an error report; a disconnect we did not ask
    // for is the peer closing.
    connect(socket, &QTcpSocket::disconnected, this, [this] { onSocketError(QAbstractSocket::RemoteHostClosedError); });
}

void Socket::release()
{
    ++m_generation;
    m_stateForced = false;
    m_requestPeer.clear();
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
        // Let what was sent reach the peer, but never hold a socket forever.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(kLingerMs, socket, [socket] { socket->abort(); });
        socket->disconnectFromHost();
        return;
    }
    socket->abort();
    socket->deleteLater();
}

void Socket::onNewConnection()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        const qint32 id = ++m_lastRequestId;
        m_pendingRequest = socket;
        m_pendingRequestId = id;
        m_requestPeer = dottedAddress(socket->peerAddress());
        const QPointer<Socket> self(this);
        Q_EMIT connectionRequested(id);
        // Gone meanwhile: a request it still held went with its server.
        if (!self)
            return;
        m_requestPeer.clear();
        m_pendingRequestId = 0;
        // Not accepted while the notification ran (accepting takes it): refused.
        if (const QPointer<QTcpSocket> left = std::exchange(m_pendingRequest, nullptr)) {
            left->abort();
            left->deleteLater();
        }
    }
}

void Socket::onTlsErrors(const QString &errors)
{
    if (m_stateForced || !m_socket)
        return;
    // Verification stays on: the handshake is abandoned here.
    const QString description = QStringLiteral("TLS failed with %1: %2").arg(QString::fromLatin1(m_tlsHost), errors);
    m_socket->disconnect(this);
    m_socket->abort();
    fail(kTlsError, description);
}

void Socket::onSocketError(int qtError)
{
    const auto error = static_cast<QAbstractSocket::SocketError>(qtError);
    if (m_tlsPending) {
        // Anything that ends the connection before the handshake is done
        // (the peer speaks no TLS, refuses the handshake) is a TLS failure,
        // except not reaching the host at all.
        const bool reached = m_socket && error != QAbstractSocket::ConnectionRefusedError &&
                             error != QAbstractSocket::HostNotFoundError &&
                             error != QAbstractSocket::SocketTimeoutError && error != QAbstractSocket::NetworkError;
        if (reached) {
            if (m_stateForced)
                return;
            const QString reason = m_socket->errorString();
            onTlsErrors(reason.isEmpty() ? QStringLiteral("the handshake did not complete") : reason);
            return;
        }
    }
    if (error == QAbstractSocket::RemoteHostClosedError) {
        if (m_stateForced)
            return;
        m_stateForced = true;
        m_forcedState = State::PeerClosed;
        if (m_callDepth > 0) {
            const quint32 generation = m_generation;
            QTimer::singleShot(0, this, [this, generation] {
                if (generation == m_generation)
                    Q_EMIT peerClosed();
            });
            return;
        }
        Q_EMIT peerClosed();
        return;
    }
    fail(winsockNumber(error), m_socket ? m_socket->errorString() : QString());
}

void Socket::fail(qint32 number, const QString &description)
{
    m_stateForced = true;
    m_forcedState = State::Error;
    m_errorNumber = number;
    m_errorDescription = description;
    if (m_callDepth > 0) {
        const quint32 generation = m_generation;
        QTimer::singleShot(0, this, [this, generation, number, description] {
            if (generation == m_generation)
                Q_EMIT failed(number, description);
        });
        return;
    }
    Q_EMIT failed(number, description);
}
