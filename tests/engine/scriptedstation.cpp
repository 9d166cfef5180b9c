#include "scriptedstation.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

ScriptedStation::ScriptedStation(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, &ScriptedStation::onNewConnection);
}

ScriptedStation::~ScriptedStation() = default;

quint16 ScriptedStation::port() const
{
    return m_server->serverPort();
}

void ScriptedStation::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        const int index = static_cast<int>(requests.size());
        requests.append(QByteArray());
        const Reply reply = m_replies.isEmpty() ? Reply{} : m_replies.at(std::min<int>(index, m_replies.size() - 1));
        auto sent = std::make_shared<int>(0);
        auto timer = new QTimer(socket);
        timer->setInterval(3);
        connect(timer, &QTimer::timeout, socket, [this, socket, timer, reply, sent] {
            if (*sent >= reply.chunks.size()) {
                timer->stop();
                ++repliesDone;
                if (reply.closeAfter)
                    socket->disconnectFromHost();
                return;
            }
            socket->write(reply.chunks.at((*sent)++));
            socket->flush();
        });
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, timer, index] {
            QByteArray &request = requests[index];
            const bool wasComplete = request.contains("\r\n\r\n");
            request.append(socket->readAll());
            if (!wasComplete && request.contains("\r\n\r\n"))
                timer->start();
        });
    }
}

QList<QByteArray> cutInto(const QByteArray &bytes, const QList<int> &sizes)
{
    QList<QByteArray> chunks;
    qsizetype pos = 0;
    for (int i = 0; pos < bytes.size(); ++i) {
        const int size = sizes.at(i % sizes.size());
        chunks.append(bytes.mid(pos, size));
        pos += size;
    }
    return chunks;
}

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
