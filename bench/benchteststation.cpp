// Measures how fast the test station streams unthrottled audio with in-band
// titles to a client in the same thread, the way engine benchmarks use it.
// Usage: bench_teststation [megabytes [record]]   (default 100; "record" keeps the sent audio)
#include <QCoreApplication>
#include <QTcpSocket>
#include <QTextStream>

#include "platform/clock.h"
#include "teststation/station.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    const qint64 audioBytes = megabytes * 1000 * 1000;

    teststation::Stream stream;
    stream.pace = teststation::Stream::Pace::Fast;
    stream.titles = {"Artist One - First Song", "Don't Stop: AC/DC?"};
    stream.titleEvery = 1000000;
    stream.dropAfter = audioBytes;
    teststation::Config config;
    config.recordAudio = argc > 2 && QByteArray(argv[2]) == "record";
    config.streams.insert("/stream", stream);
    teststation::Station station(config);
    if (!station.start())
        return 1;

    QTcpSocket client;
    qint64 received = 0;
    bool closed = false;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { received += client.readAll().size(); });
    QObject::connect(&client, &QTcpSocket::disconnected, [&] { closed = true; });
    platform::SystemClock clock;
    const qint64 start = clock.monotonicMs();
    client.connectToHost(QStringLiteral("127.0.0.1"), station.port());
    client.write("GET /stream HTTP/1.0\r\nIcy-MetaData:1\r\n\r\n");
    while (!closed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 elapsed = clock.monotonicMs() - start;

    const teststation::ConnectionRecord &rec = station.connection(0);
    QTextStream out(stdout);
    out << "audio bytes sent: " << rec.audioBytes << ", wire bytes: " << rec.wireBytes << ", received: " << received
        << ", titles: " << rec.titles.size() << '\n'
        << "elapsed: " << elapsed << " ms, "
        << (elapsed > 0 ? static_cast<double>(rec.wireBytes) / 1e6 / (static_cast<double>(elapsed) / 1000.0) : 0.0)
        << " MB/s\n";
    return received == rec.wireBytes ? 0 : 1;
}
