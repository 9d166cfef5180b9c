#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class QTcpServer;
class QTcpSocket;
class QTimer;

// A stream server on 127.0.0.1 that plays a script: for each connection it
// reads the request up to its blank line, then sends the chunks of its reply
// one by one a few milliseconds apart (so that they tend to arrive as separate
// packets), and closes the connection or keeps it open.
class ScriptedStation final : public QObject
{
    Q_OBJECT

public:
    struct Reply
    {
        QList<QByteArray> chunks;
        bool closeAfter = false;
    };

    explicit ScriptedStation(QObject *parent = nullptr);
    ~ScriptedStation() override;

    // Replies for the first, second, ... connection; the last one repeats.
    void setReplies(const QList<Reply> &replies) { m_replies = replies; }
    quint16 port() const;

    // The requests received, one per connection.
    QList<QByteArray> requests;
    // Connections whose reply has been sent completely.
    int repliesDone = 0;

private:
    void onNewConnection();

    QTcpServer *m_server = nullptr;
    QList<Reply> m_replies;
};

// Cuts bytes into chunks of the given sizes, repeating the list of sizes.
QList<QByteArray> cutInto(const QByteArray &bytes, const QList<int> &sizes);

// A port on 127.0.0.1 on which nothing listens (connections are refused).
quint16 closedPort();
