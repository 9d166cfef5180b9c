// Recording a live HLS station: ffmpeg's HLS muxer produces a live playlist
// of 2 s MPEG-TS/AAC segments in real time (a window of 5, old segments
// deleted), the test station serves its folder, and for the same time two
// processes record it side by side: Vorlane's HLS reader (this program in its
// --record role: HlsStation writing the audio it hands out to a file) and
// `ffmpeg -i URL -c copy`, what a user would otherwise run. For each:
// segments listed and fetched (from the station's request log), seconds lost,
// decoder errors in the file (ffmpeg -v error decoding it), CPU seconds and
// peak memory (wait4).
//
//   bench_hls [seconds=600]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/clock.h"
#include "sources/hlsstation.h"
#include "teststation/station.h"

extern char **environ;

namespace
{

constexpr double kSegmentSeconds = 2.0;
const QByteArray kOurAgent = "WinampMPEG/2.8";

// The --record role: records url to out for seconds, then reports its counts.
int record(const QByteArray &url, const QString &out, int seconds)
{
    platform::SystemClock clock;
    QNetworkAccessManager network;
    sources::HlsStation hls(network, clock, {kOurAgent, sources::hls::Preference::HighestBandwidth});
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QObject::connect(&hls, &sources::HlsStation::audio, &hls,
                     [&file](const QByteArray &data, sources::hls::AudioFormat) { file.write(data); });
    QObject::connect(&hls, &sources::HlsStation::failed, &hls, [](const QString &text, bool) {
        std::fprintf(stderr, "recording failed: %s\n", qPrintable(text));
        QCoreApplication::exit(1);
    });
    hls.start(QUrl::fromEncoded(url));
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, [] { QCoreApplication::quit(); });
    const int status = QCoreApplication::exec();
    std::printf("%lld %lld %d %.1f\n", static_cast<long long>(hls.segmentsListed()),
                static_cast<long long>(hls.segmentsFetched()), hls.lostSegments(), hls.lostSeconds());
    return status;
}

struct Child
{
    pid_t pid = 0;
    bool done = false;
    int status = 0;
    rusage usage{};
};

bool spawn(Child &child, const std::vector<QByteArray> &args, const QString &stdoutFile)
{
    std::vector<char *> argv;
    for (const QByteArray &a : args)
        argv.push_back(const_cast<char *>(a.constData()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = QFile::encodeName(stdoutFile);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return ok;
}

// Sequence numbers of the segments this agent fetched ("live123.ts").
QList<qint64> fetchedBy(const teststation::Station &station, const QByteArray &agent)
{
    static const QRegularExpression name(QStringLiteral("/live(\\d+)\\.ts"));
    QSet<qint64> seen;
    for (const teststation::RequestRecord &r : station.requests()) {
        if (!r.header.contains(QByteArray("User-Agent: " + agent)))
            continue;
        const QRegularExpressionMatch m = name.match(QString::fromLatin1(r.target));
        if (m.hasMatch())
            seen.insert(m.captured(1).toLongLong());
    }
    QList<qint64> out(seen.begin(), seen.end());
    std::sort(out.begin(), out.end());
    return out;
}

// Lines ffmpeg reports when decoding the whole file.
int decoderErrors(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), file,
             QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    p.waitForFinished(600000);
    const QByteArray text = p.readAllStandardError().trimmed();
    return text.isEmpty() ? 0 : static_cast<int>(text.count('\n') + 1);
}

// Seconds of ADTS audio in the file, counted by frame headers.
double adtsSeconds(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray d = f.readAll();
    qint64 frames = 0;
    int rate = 44100;
    static const int rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    for (qsizetype at = 0; at + 7 <= d.size();) {
        if (quint8(d[at]) != 0xFF || (quint8(d[at + 1]) & 0xF6) != 0xF0) {
            ++at;
            continue;
        }
        const int index = (quint8(d[at + 2]) >> 2) & 0xF;
        if (index < 12)
            rate = rates[index];
        const int length = ((quint8(d[at + 3]) & 3) << 11) | (quint8(d[at + 4]) << 3) | (quint8(d[at + 5]) >> 5);
        if (length < 7)
            break;
        ++frames;
        at += length;
    }
    return static_cast<double>(frames) * 1024.0 / rate;
}

void report(const char *who, const Child &child, const QList<qint64> &fetched, const QString &file)
{
    const qint64 listed = fetched.isEmpty() ? 0 : fetched.last() - fetched.first() + 1;
    const double cpu = static_cast<double>(child.usage.ru_utime.tv_sec + child.usage.ru_stime.tv_sec) +
                       static_cast<double>(child.usage.ru_utime.tv_usec + child.usage.ru_stime.tv_usec) / 1e6;
    std::printf("%s:\n  segments listed %lld (first to last fetched), fetched %lld, seconds lost %.1f\n"
                "  audio in the file %.1f s, decoder errors %d\n  CPU %.2f s user+system, peak memory %ld KiB\n",
                who, static_cast<long long>(listed), static_cast<long long>(fetched.size()),
                static_cast<double>(listed - fetched.size()) * kSegmentSeconds, adtsSeconds(file), decoderErrors(file),
                cpu, child.usage.ru_maxrss);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--record")
        return record(argv[2], QString::fromLocal8Bit(argv[3]), std::atoi(argv[4]));
    const int seconds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 600;

    QTemporaryDir dir;
    const QString hls = dir.path() + QStringLiteral("/hls");
    QDir().mkpath(hls);
    // The producer runs a little longer than the recordings, so that both end on a live playlist.
    QProcess producer;
    producer.setWorkingDirectory(hls);
    producer.start(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"),
                                              QStringLiteral("-loglevel"),
                                              QStringLiteral("error"),
                                              QStringLiteral("-re"),
                                              QStringLiteral("-f"),
                                              QStringLiteral("lavfi"),
                                              QStringLiteral("-i"),
                                              QStringLiteral("anoisesrc=color=pink:amplitude=0.2:sample_rate=44100"),
                                              QStringLiteral("-t"),
                                              QString::number(seconds + 20),
                                              QStringLiteral("-c:a"),
                                              QStringLiteral("aac"),
                                              QStringLiteral("-b:a"),
                                              QStringLiteral("128k"),
                                              QStringLiteral("-f"),
                                              QStringLiteral("hls"),
                                              QStringLiteral("-hls_time"),
                                              QStringLiteral("2"),
                                              QStringLiteral("-hls_list_size"),
                                              QStringLiteral("5"),
                                              QStringLiteral("-hls_flags"),
                                              QStringLiteral("delete_segments"),
                                              QStringLiteral("live.m3u8")});
    teststation::Config config;
    config.folders["/hls"] = hls;
    teststation::Station station(config);
    if (!station.start()) {
        std::fprintf(stderr, "the station did not start\n");
        return 1;
    }
    const QByteArray url = station.url("/hls/live.m3u8");
    QElapsedTimer wait;
    wait.start();
    while (!QFile::exists(hls + QStringLiteral("/live.m3u8")) && wait.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    std::printf("bench_hls: %d s of a live HLS playlist from ffmpeg (2 s AAC segments in MPEG-TS, window 5)\n",
                seconds);
    std::fflush(stdout);

    const QString ours = dir.path() + QStringLiteral("/vorlane.aac");
    const QString theirs = dir.path() + QStringLiteral("/ffmpeg.aac");
    Child vorlane;
    Child ffmpeg;
    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    if (!spawn(vorlane, {self, "--record", url, QFile::encodeName(ours), QByteArray::number(seconds)},
               dir.path() + QStringLiteral("/vorlane.txt")) ||
        !spawn(ffmpeg,
               {"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", url, "-c", "copy", "-t",
                QByteArray::number(seconds), QFile::encodeName(theirs)},
               dir.path() + QStringLiteral("/ffmpeg.txt"))) {
        std::fprintf(stderr, "cannot start the recorders\n");
        return 1;
    }
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (Child *c : {&vorlane, &ffmpeg})
            if (!c->done && wait4(c->pid, &c->status, WNOHANG, &c->usage) == c->pid)
                c->done = true;
        if (vorlane.done && ffmpeg.done)
            QCoreApplication::quit();
    });
    poll.start(200);
    QCoreApplication::exec();
    producer.kill();
    producer.waitForFinished();

    QFile counts(dir.path() + QStringLiteral("/vorlane.txt"));
    counts.open(QIODevice::ReadOnly);
    std::printf("Vorlane's own count (listed fetched lost-segments lost-seconds): %s\n",
                counts.readAll().trimmed().constData());
    report("Vorlane (HlsStation)", vorlane, fetchedBy(station, kOurAgent), ours);
    report("ffmpeg -i URL -c copy", ffmpeg, fetchedBy(station, "Lavf"), theirs);
    return 0;
}
