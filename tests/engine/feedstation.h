#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class QTcpServer;
class QTcpSocket;

// A stream server on 127.0.0.1 that the test feeds by hand: it accepts
// connections and reads their requests, and each connection gets only what the
// test sends it, when the test sends it. A connection that is sent nothing stays
// open and silent. Lets a test put stream data at chosen moments of a fake clock.
class FeedStation final : public QObject
{
    Q_OBJECT

public:
    explicit FeedStation(QObject *parent = nullptr);
    ~FeedStation() override;

    quint16 port() const;
    // Connections accepted so far.
    int connectionCount() const { return static_cast<int>(m_sockets.size()); }
    // The requests received, one per connection, as far as they have arrived.
    QList<QByteArray> requests;

    // Sends bytes on the newest connection.
    void send(const QByteArray &bytes);
    // Closes the newest connection.
    void drop();

private:
    void onNewConnection();

    QTcpServer *m_server = nullptr;
    QList<QTcpSocket *> m_sockets;
};
