#include <QTcpServer>

#include <gtest/gtest.h>

#include "eventwait.h"
#include "sources/socket.h"

namespace
{

using State = Socket::State;

// Counts a socket's notifications and keeps what arrived.
struct Events
{
    int dataArrivals = 0;
    int peerClosed = 0;
    QList<qint32> errors;
    QString lastDescription;

    explicit Events(Socket &socket)
    {
        QObject::connect(&socket, &Socket::dataArrived, [this](qint64) { ++dataArrivals; });
        QObject::connect(&socket, &Socket::peerClosed, [this] { ++peerClosed; });
        QObject::connect(&socket, &Socket::failed, [this](qint32 number, const QString &description) {
            errors.append(number);
            lastDescription = description;
        });
    }
};

quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A listener whose requests are accepted onto `data`, and a client connected to it.
struct Pair
{
    Socket listener;
    Socket data;
    Socket client;
    QByteArray requestPeer;
    int requests = 0;

    Pair()
    {
        QObject::connect(&listener, &Socket::connectionRequested, [this](qint32 id) {
            ++requests;
            requestPeer = listener.peerAddress();
            data.accept(listener, id);
        });
    }
    bool open()
    {
        if (!listener.listen(0, Socket::ListenScope::LoopbackOnly))
            return false;
        client.connectTo("127.0.0.1", listener.localPort());
        return waitUntil([this] { return client.isConnected() && data.isConnected(); });
    }
};

QByteArray everyByte()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return bytes;
}

} // namespace

TEST(Socket, AcceptedConnectionCarriesEveryByteBothWays)
{
    Pair pair;
    Events client(pair.client);
    Events data(pair.data);
    ASSERT_TRUE(pair.open());
    EXPECT_EQ(pair.requests, 1);
    EXPECT_EQ(pair.requestPeer, "127.0.0.1");
    EXPECT_EQ(pair.data.peerAddress(), "127.0.0.1");
    EXPECT_EQ(pair.listener.state(), State::Listening);
    EXPECT_NE(pair.listener.localPort(), 0);

    ASSERT_TRUE(pair.client.send(everyByte()));
    QByteArray got;
    ASSERT_TRUE(waitUntil([&] {
        got += pair.data.receiveAll();
        return got.size() >= 256;
    }));
    EXPECT_EQ(got, everyByte());
    EXPECT_GE(data.dataArrivals, 1);

    ASSERT_TRUE(pair.data.send("reply"));
    ASSERT_TRUE(waitUntil([&] { return pair.client.bytesPending() == 5; }));
    EXPECT_EQ(pair.client.receiveAll(), "reply");
    EXPECT_TRUE(pair.client.receiveAll().isEmpty());
    EXPECT_TRUE(client.errors.isEmpty());
}

TEST(Socket, RequestNotAcceptedIsRefused)
{
    Socket listener;
    int requests = 0;
    QObject::connect(&listener, &Socket::connectionRequested, [&](qint32) { ++requests; });
    ASSERT_TRUE(listener.listen(0, Socket::ListenScope::LoopbackOnly));
    Socket client;
    Events events(client);
    client.connectTo("127.0.0.1", listener.localPort());
    ASSERT_TRUE(waitUntil([&] { return events.peerClosed + events.errors.size() > 0; }));
    EXPECT_EQ(requests, 1);
    EXPECT_FALSE(client.isConnected());
    EXPECT_FALSE(Socket().accept(listener, 12345));
}

TEST(Socket, RefusedConnectionIsReportedAfterTheCallReturns)
{
    Socket client;
    Events events(client);
    client.connectTo("127.0.0.1", unusedPort());
    EXPECT_TRUE(events.errors.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return !events.errors.isEmpty(); }));
    EXPECT_EQ(events.errors, QList<qint32>{10061});
    EXPECT_FALSE(events.lastDescription.isEmpty());
    EXPECT_EQ(client.state(), State::Error);
    EXPECT_EQ(client.errorNumber(), 10061);
    EXPECT_FALSE(client.send("x"));

    client.close();
    EXPECT_EQ(client.state(), State::Closed);
    client.close();
    EXPECT_EQ(client.state(), State::Closed);
    settle(20);
    EXPECT_EQ(events.errors.size(), 1);
}

TEST(Socket, NamesUnderLocalhostReachThisMachine)
{
    // Resolved without a name server, so tests can give a loopback station any host name.
    Socket listener;
    QList<Socket *> accepted;
    QObject::connect(&listener, &Socket::connectionRequested, [&](qint32 id) {
        accepted.append(new Socket(&listener));
        accepted.last()->accept(listener, id);
    });
    ASSERT_TRUE(listener.listen(0, Socket::ListenScope::LoopbackOnly));
    for (const char *host : {"live365.localhost", "A.B.LocalHost."}) {
        Socket client;
        client.connectTo(host, listener.localPort());
        ASSERT_TRUE(waitUntil([&] { return client.isConnected(); })) << host;
        EXPECT_EQ(client.peerAddress(), "127.0.0.1");
    }
    EXPECT_EQ(accepted.size(), 2);
}

TEST(Socket, ListeningOnABusyPortFailsWithoutNotification)
{
    Socket first;
    ASSERT_TRUE(first.listen(0));
    Socket second;
    Events events(second);
    EXPECT_FALSE(second.listen(first.localPort()));
    EXPECT_EQ(second.state(), State::Error);
    EXPECT_EQ(second.errorNumber(), 10048);
    EXPECT_FALSE(second.errorDescription().isEmpty());
    settle(20);
    EXPECT_TRUE(events.errors.isEmpty());
}

TEST(Socket, PeerCloseLeavesSentDataReadableAndCloseFlushes)
{
    Pair pair;
    Events client(pair.client);
    ASSERT_TRUE(pair.open());
    // A megabyte cannot leave at once; closing must still deliver all of it.
    const QByteArray big(1 << 20, 'x');
    ASSERT_TRUE(pair.data.send(big));
    pair.data.close();
    EXPECT_EQ(pair.data.state(), State::Closed);
    EXPECT_FALSE(pair.data.send("late"));

    QByteArray got;
    ASSERT_TRUE(waitUntil([&] {
        if (client.peerClosed == 0)
            got += pair.client.receiveAll();
        return client.peerClosed > 0;
    }));
    got += pair.client.receiveAll();
    EXPECT_EQ(got.size(), big.size());
    EXPECT_EQ(pair.client.state(), State::PeerClosed);
    EXPECT_FALSE(pair.client.send("x"));
    EXPECT_TRUE(client.errors.isEmpty());
}

TEST(Socket, NoNotificationAfterClose)
{
    Pair pair;
    Events client(pair.client);
    ASSERT_TRUE(pair.open());
    ASSERT_TRUE(pair.data.send("pending"));
    pair.data.close();
    pair.client.close();
    settle(50);
    EXPECT_EQ(client.dataArrivals, 0);
    EXPECT_EQ(client.peerClosed, 0);
    EXPECT_TRUE(client.errors.isEmpty());
    EXPECT_TRUE(pair.client.receiveAll().isEmpty());
}
