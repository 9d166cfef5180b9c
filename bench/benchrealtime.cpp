// What recording a real-time stream costs the machine: the bundled test station
// runs in a separate process and sends 128 kbit/s in real time with a new title
// every 10 s; this process records it in title mode for the given time, with
// nothing else running in it, and reports its own CPU time (user + system) and
// context switches per minute. As a reference point, curl then fetches the same
// stream (with its in-band titles) to a file for as long, and its process is
// measured the same way (wait4): a minimal command-line fetcher.
//
//   bench_realtime [seconds=120]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/programcontext.h"
#include "benchsupport.h"
#include "engine/recorder.h"
#include "recordertestpeer.h"

extern char **environ;

namespace
{

constexpr qint64 kTitleEvery = 10 * bench::kBytesPerSecond;

void report(const char *who, const bench::Usage &usage, double wallSeconds, qint64 bytes)
{
    const double minutes = wallSeconds / 60.0;
    std::printf("%s: %.1f s wall, %lld bytes received\n", who, wallSeconds, static_cast<long long>(bytes));
    std::printf("  CPU %.3f s user+system (%.3f s per minute, %.3f%% of one core); context switches per minute: "
                "%.0f voluntary + %.0f involuntary = %.0f\n",
                usage.cpuSeconds, usage.cpuSeconds / minutes, 100.0 * usage.cpuSeconds / wallSeconds,
                static_cast<double>(usage.voluntarySwitches) / minutes,
                static_cast<double>(usage.involuntarySwitches) / minutes,
                static_cast<double>(usage.voluntarySwitches + usage.involuntarySwitches) / minutes);
}

// Runs curl on the stream for the given time and measures its process alone.
bool measureCurl(const QByteArray &url, const QString &outFile, int seconds)
{
    const QByteArray out = QFile::encodeName(outFile);
    const QByteArray maxTime = QByteArray::number(seconds);
    // The station answers "ICY 200 OK", which curl reads as an HTTP/0.9 reply
    // and refuses unless told otherwise; the file then holds the raw stream.
    std::vector<const char *> args = {"curl",
                                      "--silent",
                                      "--http0.9",
                                      "--noproxy",
                                      "*",
                                      "--output",
                                      out.constData(),
                                      "--max-time",
                                      maxTime.constData(),
                                      "--header",
                                      "Icy-MetaData: 1",
                                      url.constData(),
                                      nullptr};
    QElapsedTimer wall;
    wall.start();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char *const *>(args.data()), environ) != 0) {
        std::fprintf(stderr, "cannot run curl\n");
        return false;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) < 0) {
        std::perror("wait4");
        return false;
    }
    const double wallSeconds = static_cast<double>(wall.elapsed()) / 1000.0;
    // curl ends with status 28 when --max-time runs out, which is the plan.
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 28)) {
        std::fprintf(stderr, "curl failed (status %d)\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        return false;
    }
    report("curl (a minimal command-line fetcher)", bench::usageFrom(usage), wallSeconds, QFileInfo(outFile).size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 120;

    // The station is a separate process, so that its work is not counted here.
    QStringList arguments = {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                             QStringLiteral("--title-every"), QString::number(kTitleEvery)};
    for (const QByteArray &title : bench::songTitles(seconds / 10 + 10))
        arguments << QStringLiteral("--title") << QString::fromLatin1(title);
    QProcess station;
    const QByteArray port = bench::startStationProcess(station, arguments);
    if (port.isEmpty())
        return 1;
    const QByteArray base = "http://127.0.0.1:" + port;

    bench::Scratch scratch;
    bench::BenchRun run;
    bench::BenchFrontEnd &frontEnd = run.frontEnd;
    std::printf("bench_realtime: %d s of 128 kbit/s from the test station (separate process), a new title every "
                "10 s\n",
                seconds);
    std::fflush(stdout);

    // The recorder: this process does nothing but record while it is measured.
    const bench::Usage before = bench::usageOfSelf();
    QElapsedTimer wall;
    wall.start();
    Recorder *engine = bench::startRecording(run.program(), scratch, "Bench FM", base + "/listen.pls");
    if (!engine) {
        std::fprintf(stderr, "the preset was refused\n");
        return 1;
    }
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    const qint64 received = inside(engine).byteCount();
    const bool ran = engine->isRecording();
    engine->stopRecording();
    const double wallSeconds = static_cast<double>(wall.elapsed()) / 1000.0;
    const bench::Usage after = bench::usageOfSelf();
    if (!ran || !frontEnd.messages.isEmpty()) {
        std::fprintf(stderr, "the recording did not run through: %s\n",
                     qPrintable(frontEnd.messages.join(QStringLiteral("; "))));
        return 1;
    }
    bench::Usage used;
    used.cpuSeconds = after.cpuSeconds - before.cpuSeconds;
    used.voluntarySwitches = after.voluntarySwitches - before.voluntarySwitches;
    used.involuntarySwitches = after.involuntarySwitches - before.involuntarySwitches;
    report("recorder (this process)", used, wallSeconds, received);
    std::printf("  %d files written, %.1f MB on disk\n", scratch.fileCount(),
                static_cast<double>(scratch.bytesOnDisk()) / (1024.0 * 1024.0));
    std::fflush(stdout);
    run.end();

    const bool curlOk = measureCurl(base + "/stream", scratch.path() + QStringLiteral("/curl.mp3"), seconds);
    station.kill();
    station.waitForFinished();
    return curlOk ? 0 : 1;
}
