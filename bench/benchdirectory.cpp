// One directory search against a given server (bench_directory URL): how long
// until the answer, how many stations, and the longest time the event loop was
// held up meanwhile (measure the memory with /usr/bin/time -v).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QTimer>

#include <cstdio>

#include "sources/stationdirectory.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_directory SERVER-URL\n");
        return 2;
    }
    QNetworkAccessManager network;
    StationDirectory directory(network);
    directory.setServer(QUrl(QString::fromLocal8Bit(argv[1])));

    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(10);

    const auto report = [&](const char *outcome, qsizetype stations) {
        longestStall = std::max(longestStall, clock.elapsed() - lastTick);
        std::printf("%s: %lld stations after %lld ms, longest event-loop stall %lld ms\n", outcome,
                    static_cast<long long>(stations), static_cast<long long>(clock.elapsed()),
                    static_cast<long long>(longestStall));
        app.quit();
    };
    QObject::connect(&directory, &StationDirectory::resultsReady,
                     [&](const QList<DirectoryStation> &stations) { report("results", stations.size()); });
    QObject::connect(&directory, &StationDirectory::failed, [&](const QString &message) {
        report("failed", 0);
        std::printf("  %s\n", qPrintable(message));
    });
    directory.search({DirectoryQuery::Kind::Keyword, QStringLiteral("jazz"), 0, 0});
    return app.exec();
}
