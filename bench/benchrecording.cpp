// The recorder's own cost of recording a fast stream: the bundled test station
// runs in a separate process and sends 100 MB of audio as fast as it is read
// (metadata interval 8192, a new title every 3.8 MB); this process records it
// in title mode and reports its own CPU time (user + system) per 100 MB and its
// peak resident memory. The 500 ms pause after each new file is wall time only.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

#include "app/programcontext.h"
#include "benchsupport.h"
#include "config/preset.h"
#include "engine/recorder.h"
#include "recordertestpeer.h"

namespace
{

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakResidentKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100;
    const qint64 audioBytes = megabytes * 1024 * 1024;
    const qint64 titleEvery = 3800 * 1024; // 3.8 MB
    QProcess station;
    QStringList arguments = {QStringLiteral("--port"),        QStringLiteral("0"),
                             QStringLiteral("--fast"),        QStringLiteral("--quiet"),
                             QStringLiteral("--metaint"),     QStringLiteral("8192"),
                             QStringLiteral("--title-every"), QString::number(titleEvery),
                             QStringLiteral("--drop-after"),  QString::number(audioBytes)};
    // Every title is new, so that each file holds one title's audio.
    for (qint64 i = 1; i <= audioBytes / titleEvery + 1; ++i)
        arguments << QStringLiteral("--title") << QStringLiteral("Artist %1 - Song %1").arg(i);
    const QByteArray port = bench::startStationProcess(station, arguments);
    if (port.isEmpty())
        return 1;

    QTemporaryDir folder;
    bench::BenchRun run;
    Preset &config = run.program().configuration();
    config.reset();
    config.saveFolder = folder.path() + QDir::separator();
    config.stationTitle = QStringLiteral("Benchmark");
    config.captureMode = 2;
    config.listenAtStart = false;
    config.timeLimited = false;
    Recorder *engine = run.program().loadRecorder();
    inside(engine).addServer("127.0.0.1", "/stream", port, QByteArray());

    const long residentBefore = peakResidentKb();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    inside(engine).beginRecording(run.program().configuration());
    // Until the station has sent everything and closed, and the last bytes are in.
    qint32 lastCount = -1;
    QElapsedTimer quiet;
    quiet.start();
    // The loop sleeps until something happens (or the wake-up timer fires), so
    // what is measured is the recorder's work, not this loop's.
    QTimer wake;
    wake.start(50);
    while (engine->isRecording()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // The station closes after the last byte; the recorder then connects
        // again at once, which starts its count afresh: the recording is done.
        if (inside(engine).byteCount() < lastCount && lastCount >= audioBytes)
            break;
        if (inside(engine).byteCount() != lastCount) {
            lastCount = inside(engine).byteCount();
            quiet.restart();
        } else if (inside(engine).byteCount() >= audioBytes && quiet.elapsed() > 300) {
            break;
        } else if (quiet.elapsed() > 20000) {
            std::fprintf(stderr, "the stream stopped after %d bytes\n", inside(engine).byteCount());
            return 1;
        }
    }
    engine->stopRecording();
    const double cpu = cpuSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;

    qint64 onDisk = 0;
    const QFileInfoList recorded = QDir(folder.path()).entryInfoList(QDir::Files);
    for (const QFileInfo &info : recorded)
        onDisk += info.size();
    station.kill();
    station.waitForFinished();

    const double received = static_cast<double>(lastCount) / (1024.0 * 1024.0);
    std::printf("recorded %.1f MB from the station into %lld files (%.1f MB on disk) in %.1f s wall\n", received,
                static_cast<long long>(recorded.size()), static_cast<double>(onDisk) / (1024.0 * 1024.0), seconds);
    std::printf("recorder CPU: %.3f s user+system, %.3f s per 100 MB; peak resident memory %.1f MB "
                "(%.1f MB before recording)\n",
                cpu, cpu * 100.0 / received, static_cast<double>(peakResidentKb()) / 1024.0,
                static_cast<double>(residentBefore) / 1024.0);
    return 0;
}
