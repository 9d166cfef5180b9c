#pragma once

#include <QByteArray>
#include <QObject>

#include "platform/clock.h"
#include "sources/socket.h"

// Connects a socket and reports once how it went: connected, failed, or no
// answer within the limit on the clock it is given. Nothing blocks while it
// waits.
class ConnectionWait final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionWait)

public:
    enum class Outcome
    {
        Connected,
        Failed,   // the socket reported an error (refused, unknown host...)
        TimedOut, // neither connected nor failed within the limit
    };
    Q_ENUM(Outcome)

    ConnectionWait(Socket *socket, platform::Clock &clock, QObject *parent = nullptr);
    ~ConnectionWait() override;

    // Starts connecting (closing what the socket had) and waiting. A wait still
    // running is abandoned without a report.
    // With TLS the wait includes the handshake.
    void start(const QByteArray &host, quint16 port, qint64 limitMs, bool tls = false);
    // Abandons the wait without a report; the socket is left as it is.
    void cancel();
    bool isWaiting() const { return m_waiting; }

Q_SIGNALS:
    void finished(ConnectionWait::Outcome outcome);

private:
    void finish(Outcome outcome);

    Socket *m_socket;
    platform::Clock &m_clock;
    platform::Clock::CallId m_deadline = 0;
    bool m_waiting = false;
};
