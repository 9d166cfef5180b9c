#include "sources/connectionwait.h"

#include "sources/socket.h"

ConnectionWait::ConnectionWait(Socket *socket, platform::Clock &clock, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_clock(clock)
{
    connect(m_socket, &Socket::connected, this, [this] { finish(Outcome::Connected); });
    connect(m_socket, &Socket::failed, this, [this] { finish(Outcome::Failed); });
    // A peer that accepts and closes at once was reached all the same; what it
    // (does not) send is the reader's business.
    connect(m_socket, &Socket::peerClosed, this, [this] { finish(Outcome::Connected); });
}

ConnectionWait::~ConnectionWait()
{
    cancel();
}

void ConnectionWait::start(const QByteArray &host, quint16 port, qint64 limitMs, bool tls)
{
    cancel();
    m_waiting = true;
    m_deadline = m_clock.callAfter(static_cast<int>(limitMs), this, [this] {
        m_deadline = 0;
        finish(Outcome::TimedOut);
    });
    // A failure found inside connectTo is reported after it returns (see
    // Socket), so the outcome always reaches the caller from the event loop.
    m_socket->connectTo(host, port, tls ? Socket::Security::Tls : Socket::Security::Plain);
}

void ConnectionWait::cancel()
{
    m_waiting = false;
    if (m_deadline != 0) {
        m_clock.cancelCall(m_deadline);
        m_deadline = 0;
    }
}

void ConnectionWait::finish(Outcome outcome)
{
    if (!m_waiting)
        return;
    cancel();
    Q_EMIT finished(outcome);
}
