#include "feedstation.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

FeedStation::FeedStation(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, &FeedStation::onNewConnection);
}

FeedStation::~FeedStation() = default;

quint16 FeedStation::port() const
{
    return m_server->serverPort();
}

void FeedStation::send(const QByteArray &bytes)
{
    if (m_sockets.isEmpty())
        return;
    m_sockets.last()->write(bytes);
    m_sockets.last()->flush();
}

void FeedStation::drop()
{
    if (!m_sockets.isEmpty())
        m_sockets.last()->disconnectFromHost();
}

void FeedStation::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        const int index = static_cast<int>(requests.size());
        requests.append(QByteArray());
        m_sockets.append(socket);
        connect(socket, &QTcpSocket::readyRead, this,
                [this, socket, index] { requests[index].append(socket->readAll()); });
    }
}
