// How often a headless recording wakes the machine, next to streamripper on the
// same station in the same run: the test station (a separate process) sends
// 128 kbit/s in real time with a new title every 10 s; `vorlane --headless
// preset.mvr` and `streamripper URL` record it side by side. After a warm-up,
// both processes are sampled from /proc at the start and the end of the window:
// context switches (voluntary + involuntary, summed over their threads) per
// second, and CPU time (user + system) per minute.
//
//   bench_wakeups [seconds=60] [--vorlane PATH]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "benchsupport.h"

namespace
{

constexpr int kWarmUpSeconds = 5;

struct Sample
{
    qint64 switches = 0;
    double cpuSeconds = 0;
};

qint64 statusField(const QByteArray &status, const QByteArray &name)
{
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().toLongLong();
    }
    return 0;
}

// Every thread's switches count: Qt and streamripper both run helper threads.
bool sample(qint64 pid, Sample &out)
{
    const QString base = QStringLiteral("/proc/%1").arg(pid);
    QFile stat(base + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold blanks, start after its ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return false;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    out.cpuSeconds = (fields.at(11).toDouble() + fields.at(12).toDouble()) / tick;
    out.switches = 0;
    const QStringList tasks = QDir(base + QStringLiteral("/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile status(base + QStringLiteral("/task/") + task + QStringLiteral("/status"));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = status.readAll();
        out.switches +=
            statusField(text, "voluntary_ctxt_switches:") + statusField(text, "nonvoluntary_ctxt_switches:");
    }
    return true;
}

qint64 bytesUnder(const QString &path)
{
    qint64 total = 0;
    const QDir dir(path);
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        total += info.isDir() ? bytesUnder(info.filePath()) : info.size();
    }
    return total;
}

void report(const char *who, const Sample &from, const Sample &to, double seconds, qint64 bytes)
{
    const double switches = static_cast<double>(to.switches - from.switches);
    const double cpu = to.cpuSeconds - from.cpuSeconds;
    std::printf("%-12s %6.2f wake-ups/s  %6.3f CPU-s/min  (%lld switches, %.2f CPU-s in %.1f s; %lld bytes on disk)\n",
                who, switches / seconds, cpu * 60.0 / seconds, static_cast<long long>(switches), cpu, seconds,
                static_cast<long long>(bytes));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 60;
    QString vorlane = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/app/vorlane");
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QStringLiteral("--vorlane") && i + 1 < args.size())
            vorlane = args.at(++i);
        else
            seconds = std::max(1, args.at(i).toInt());
    }

    QStringList stationArgs = {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet"),
                               QStringLiteral("--title-every"), QString::number(10 * bench::kBytesPerSecond)};
    for (const QByteArray &title : bench::songTitles(seconds / 10 + 10))
        stationArgs << QStringLiteral("--title") << QString::fromLatin1(title);
    QProcess station;
    const QByteArray port = bench::startStationProcess(station, stationArgs);
    if (port.isEmpty())
        return 1;
    const QByteArray base = "http://127.0.0.1:" + port;

    QTemporaryDir scratch;
    const QString home = scratch.path() + QStringLiteral("/home");
    const QString ours = scratch.path() + QStringLiteral("/vorlane/");
    const QString theirs = scratch.path() + QStringLiteral("/streamripper");
    QDir().mkpath(home);
    QDir().mkpath(ours);
    QDir().mkpath(theirs);
    // Title, playlist, title mode, folder, no time limit (and keep running), keep all.
    const QList<QByteArray> lines = {"Bench FM", base + "/listen.pls", "SONGNAMEONLY", QFile::encodeName(ours), "S0",
                                     "0"};
    const QString preset = scratch.path() + QStringLiteral("/bench.mvr");
    QFile presetFile(preset);
    if (!presetFile.open(QIODevice::WriteOnly) || presetFile.write(lines.join("\r\n") + "\r\n") < 0)
        return 1;
    presetFile.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VORLANE_HOME"), home);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess recorder;
    recorder.setProcessEnvironment(env);
    recorder.setStandardOutputFile(QProcess::nullDevice());
    recorder.setStandardErrorFile(QProcess::nullDevice());
    recorder.start(vorlane, {QStringLiteral("--headless"), preset});
    QProcess ripper;
    ripper.setProcessEnvironment(env);
    ripper.setStandardOutputFile(QProcess::nullDevice());
    ripper.setStandardErrorFile(QProcess::nullDevice());
    ripper.start(QStringLiteral("streamripper"), {QString::fromLatin1(base + "/stream"), QStringLiteral("-d"), theirs,
                                                  QStringLiteral("-s"), QStringLiteral("--quiet")});
    if (!recorder.waitForStarted() || !ripper.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s or streamripper\n", qPrintable(vorlane));
        return 1;
    }
    std::printf("bench_wakeups: %d s of 128 kbit/s (a new title every 10 s), after %d s of warm-up\n", seconds,
                kWarmUpSeconds);
    std::fflush(stdout);

    // Sleeping here is fine: this process only watches the other two.
    QThread::sleep(kWarmUpSeconds);
    Sample ourStart, theirStart, ourEnd, theirEnd;
    QElapsedTimer window;
    window.start();
    const bool startOk = sample(recorder.processId(), ourStart) && sample(ripper.processId(), theirStart);
    QThread::sleep(static_cast<unsigned long>(seconds));
    const bool endOk = sample(recorder.processId(), ourEnd) && sample(ripper.processId(), theirEnd);
    const double wall = static_cast<double>(window.elapsed()) / 1000.0;

    recorder.terminate();
    ripper.terminate();
    recorder.waitForFinished(5000);
    ripper.waitForFinished(5000);
    station.kill();
    station.waitForFinished();
    if (!startOk || !endOk) {
        std::fprintf(stderr, "a process ended before the window closed\n");
        return 1;
    }
    const qint64 ourBytes = bytesUnder(ours);
    const qint64 theirBytes = bytesUnder(theirs);
    report("vorlane", ourStart, ourEnd, wall, ourBytes);
    report("streamripper", theirStart, theirEnd, wall, theirBytes);
    // A recorder that stopped early would look cheap. streamripper keeps the
    // song under way in memory, so only half the stream need be on disk.
    const qint64 expected = static_cast<qint64>(seconds) * bench::kBytesPerSecond / 2;
    if (ourBytes < expected || theirBytes < expected) {
        std::fprintf(stderr, "a recording fell short of %lld bytes\n", static_cast<long long>(expected));
        return 1;
    }
    return 0;
}
