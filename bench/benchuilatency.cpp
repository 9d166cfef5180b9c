// How responsive the event-loop thread stays while the engine records: the
// test station (on its own thread) sends 128 kbit/s in real time with a new
// title every 2 s of audio, the engine records it in title mode on the main
// thread, and a 10 ms precise timer on that same thread measures how late each
// of its timeouts fires. Everything the engine does on the thread (pauses
// after a new file, waits for a connection, writing) shows up as lateness; a
// window or a tray menu would freeze for as long.
//
//   bench_uilatency [seconds=60]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "app/programcontext.h"
#include "benchsupport.h"
#include "engine/recorder.h"
#include "recordertestpeer.h"

namespace
{

constexpr int kProbeMs = 10;
constexpr qint64 kTitleEvery = 2 * bench::kBytesPerSecond;

double percentile(std::vector<double> sorted, double fraction)
{
    if (sorted.empty())
        return 0;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted.at(std::max<std::size_t>(rank, 1) - 1);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;

    bench::Scratch scratch;
    bench::BenchRun run;
    bench::BenchFrontEnd &frontEnd = run.frontEnd;
    bench::StationThread station(kTitleEvery, seconds / 2 + 10);
    if (!scratch.isValid() || !station.start()) {
        std::fprintf(stderr, "cannot set up the scratch folder or the station\n");
        return 1;
    }

    // The probe re-arms itself after every timeout, so each timeout has one
    // expected time: when it was armed plus the interval.
    std::vector<double> lateness;
    lateness.reserve(static_cast<std::size_t>(seconds) * (1000 / kProbeMs) + 16);
    QElapsedTimer wall;
    qint64 expectedNs = 0;
    QTimer probe;
    probe.setSingleShot(true);
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = wall.nsecsElapsed();
        lateness.push_back(static_cast<double>(now - expectedNs) / 1e6);
        if (now >= seconds * 1000000000LL) {
            QCoreApplication::quit();
            return;
        }
        expectedNs = wall.nsecsElapsed() + kProbeMs * 1000000LL;
        probe.start(kProbeMs);
    });

    Recorder *engine = nullptr;
    // The recording starts from the event loop, as the program's own start does,
    // so that the probe already runs through the engine's first connection.
    QTimer::singleShot(0, [&] {
        wall.start();
        expectedNs = kProbeMs * 1000000LL;
        probe.start(kProbeMs);
        engine = bench::startRecording(run.program(), scratch, "Bench FM", station.url("/listen.pls"));
        if (!engine)
            QCoreApplication::quit();
    });
    QCoreApplication::exec();
    if (!engine || !engine->isRecording()) {
        std::fprintf(stderr, "the recording did not run: %s\n",
                     qPrintable(frontEnd.messages.join(QStringLiteral("; "))));
        return 1;
    }
    const qint64 received = inside(engine).byteCount();
    engine->stopRecording();
    const double wallSeconds = static_cast<double>(wall.elapsed()) / 1000.0;

    const double mean = lateness.empty() ? 0
                                         : std::accumulate(lateness.begin(), lateness.end(), 0.0) /
                                               static_cast<double>(lateness.size());
    const auto over = [&](double ms) {
        return std::count_if(lateness.begin(), lateness.end(), [ms](double late) { return late > ms; });
    };
    std::printf("bench_uilatency: %d s of 128 kbit/s, a new title every 2 s; %.1f s wall\n", seconds, wallSeconds);
    std::printf("probe (%d ms precise timer): %zu samples (%.0f expected if never late)\n", kProbeMs, lateness.size(),
                wallSeconds * 1000.0 / kProbeMs);
    std::printf("lateness: max %.1f ms, 99th percentile %.2f ms, 99.9th %.1f ms, mean %.2f ms; "
                "%ld samples over 50 ms, %ld over 250 ms\n",
                lateness.empty() ? 0.0 : *std::max_element(lateness.begin(), lateness.end()),
                percentile(lateness, 0.99), percentile(lateness, 0.999), mean, static_cast<long>(over(50)),
                static_cast<long>(over(250)));
    // The probe's lateness beyond 50 ms is time the thread answered nothing.
    double frozenMs = 0;
    for (const double late : lateness)
        frozenMs += late > 50 ? late : 0;
    std::printf("thread frozen (timeouts over 50 ms late, summed): %.1f s of %.1f s (%.0f%%)\n", frozenMs / 1000.0,
                wallSeconds, 100.0 * frozenMs / 1000.0 / wallSeconds);
    std::printf("recording: %d files written, %lld bytes received, %.1f MB on disk\n", scratch.fileCount(),
                static_cast<long long>(received), static_cast<double>(scratch.bytesOnDisk()) / (1024.0 * 1024.0));
    if (!frontEnd.messages.isEmpty())
        std::printf("messages: %s\n", qPrintable(frontEnd.messages.join(QStringLiteral("; "))));
    run.end();
    return 0;
}
