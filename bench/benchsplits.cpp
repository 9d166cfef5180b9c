// Where title files begin: songs of 8 s with 0.8 s of silence between them,
// titles announced 2 s early, on time and 2 s late. For each, the share of
// songs whose file starts within 0.1 s and 0.5 s of the song's first sound,
// for Vorlane with and without the pause search and for streamripper with its
// default splitting, all recording the same station at once. Then the CPU
// time the pause search costs per hour of MP3 and of AAC audio.
//
// bench_splits [songs]   (default 30; needs the vorlane, vorlane-teststation
// and streamripper programs)
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "audiofiles.h"
#include "benchsupport.h"
#include "engine/id3v2tag.h"
#include "engine/titlesplitter.h"
#include "teststation/framegenerator.h"

namespace
{

constexpr int kKbps = 128;
constexpr double kSongSeconds = 8;
constexpr double kGapSeconds = 0.8;
constexpr double kFrameSeconds = 1152.0 / 44100;
const int kSongFrames = static_cast<int>(kSongSeconds / kFrameSeconds + 0.5);
const int kGapFrames = static_cast<int>(kGapSeconds / kFrameSeconds + 0.5);

double bytesToSeconds(qint64 bytes)
{
    return static_cast<double>(bytes) * 8 / (kKbps * 1000);
}

qint64 songStart(int song)
{
    return teststation::FrameGenerator::bytesBefore(kKbps, qint64(kSongFrames + kGapFrames) * song);
}

// The stream the station sends (same generator, same seed).
QByteArray stationAudio(int songs)
{
    teststation::FrameGenerator generator(kKbps, true, 1);
    generator.setSongs(kSongFrames, kGapFrames);
    return generator.read(songStart(songs + 1));
}

struct Accuracy
{
    int files = 0;
    int within100ms = 0;
    int within500ms = 0;
};

// Each file's first audio byte found in the stream; for each song after the
// first, the file that starts nearest to it.
Accuracy measure(const QString &folder, const QByteArray &stream, int songs)
{
    std::vector<qint64> starts;
    Accuracy result;
    QDirIterator it(folder, {QStringLiteral("*.mp3")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        const QByteArray head = bytes.mid(id3v2TagLength(bytes), 64);
        const qsizetype at = head.size() == 64 ? stream.indexOf(head) : -1;
        if (at >= 0)
            starts.push_back(at);
        ++result.files;
    }
    for (int song = 1; song < songs; ++song) {
        double best = 1e9;
        for (const qint64 start : starts)
            best = std::min(best, std::abs(bytesToSeconds(start - songStart(song))));
        result.within100ms += best <= 0.1;
        result.within500ms += best <= 0.5;
    }
    return result;
}

bool writeVorlaneHome(const QString &home, bool pauses, const QByteArray &playlist, const QString &recordings)
{
    QDir().mkpath(recordings);
    QFile ini(home + QStringLiteral("/ombrex.ini"));
    QFile preset(home + QStringLiteral("/bench.mvr"));
    if (!ini.open(QIODevice::WriteOnly) || !preset.open(QIODevice::WriteOnly))
        return false;
    ini.write(QByteArray("[Advanced]\r\nSPLITATPAUSES=") + (pauses ? "1" : "0") + "\r\nRECONNECTMINUTES=0\r\n");
    preset.write(
        QByteArrayList{"Bench Songs", playlist, "SONGNAMEONLY", QFile::encodeName(recordings), "S0", "0"}.join("\r\n") +
        "\r\n");
    return true;
}

void accuracyRows(int songs)
{
    const QByteArray stream = stationAudio(songs + 1);
    const QString vorlane = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/app/vorlane");
    std::printf("%-28s %-8s %6s %10s %10s\n", "recorder", "titles", "files", "<=0.1 s", "<=0.5 s");
    for (const int shiftMs : {-2000, 0, 2000}) {
        QTemporaryDir scratch;
        QProcess station;
        QStringList titles;
        for (int i = 1; i <= songs + 2; ++i)
            titles << QStringLiteral("--title") << QStringLiteral("Artist %1 - Song %1").arg(i);
        const QByteArray port = bench::startStationProcess(
            station,
            QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--fast"),
                        QStringLiteral("--metaint"), QStringLiteral("1600"), QStringLiteral("--songs"),
                        QStringLiteral("%1,%2").arg(kSongSeconds).arg(kGapSeconds), QStringLiteral("--title-shift"),
                        QString::number(shiftMs), QStringLiteral("--stall-after"),
                        QString::number(songStart(songs) + 50000), QStringLiteral("--quiet")} +
                titles);
        if (port.isEmpty())
            return;
        const QByteArray base = "http://127.0.0.1:" + port;
        struct Client
        {
            QString name;
            QString folder;
            QProcess process;
        };
        std::vector<std::unique_ptr<Client>> clients;
        for (const bool pauses : {true, false}) {
            auto client = std::make_unique<Client>();
            client->name = pauses ? QStringLiteral("vorlane, pause search") : QStringLiteral("vorlane, frames only");
            const QString home = scratch.path() + (pauses ? QStringLiteral("/on") : QStringLiteral("/off"));
            client->folder = home + QStringLiteral("/recordings/");
            QDir().mkpath(home);
            writeVorlaneHome(home, pauses, base + "/listen.pls", client->folder);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VORLANE_HOME"), home);
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
            client->process.setProcessEnvironment(env);
            client->process.start(vorlane, {QStringLiteral("--headless"), home + QStringLiteral("/bench.mvr")});
            clients.push_back(std::move(client));
        }
        auto ripper = std::make_unique<Client>();
        ripper->name = QStringLiteral("streamripper, defaults");
        ripper->folder = scratch.path() + QStringLiteral("/ripper");
        ripper->process.start(QStringLiteral("streamripper"),
                              {QString::fromLatin1(base + "/stream"), QStringLiteral("-d"), ripper->folder,
                               QStringLiteral("-s"), QStringLiteral("-c"), QStringLiteral("--quiet")});
        clients.push_back(std::move(ripper));

        // The stream is sent as fast as it is read; it stalls after the last song.
        const auto bytesIn = [](const QString &folder) {
            qint64 total = 0;
            QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                total += QFileInfo(it.next()).size();
            return total;
        };
        // Each client ends once it has the last song and a little more, before
        // the stalled station makes it reconnect.
        QElapsedTimer waited;
        waited.start();
        const qint64 enough = songStart(songs) + 2 * bench::kBytesPerSecond;
        for (bool running = true; running && waited.elapsed() < 120000;) {
            running = false;
            for (const auto &client : clients) {
                if (client->process.state() == QProcess::NotRunning)
                    continue;
                if (bytesIn(client->folder) >= enough) {
                    client->process.terminate();
                    client->process.waitForFinished(10000);
                } else {
                    running = true;
                }
            }
            QThread::msleep(100);
        }
        for (const auto &client : clients) {
            if (client->process.state() != QProcess::NotRunning) {
                std::fprintf(stderr, "%s did not get the whole stream\n", qPrintable(client->name));
                client->process.kill();
                client->process.waitForFinished(5000);
            }
        }
        station.terminate();
        station.waitForFinished(5000);
        for (const auto &client : clients) {
            const Accuracy a = measure(client->folder, stream, songs + 1);
            const QString when = shiftMs < 0   ? QStringLiteral("2 s early")
                                 : shiftMs > 0 ? QStringLiteral("2 s late")
                                               : QStringLiteral("on time");
            std::printf("%-28s %-8s %6d %9.0f%% %9.0f%%\n", qPrintable(client->name), qPrintable(when), a.files,
                        100.0 * a.within100ms / songs, 100.0 * a.within500ms / songs);
        }
        std::fflush(stdout);
    }
}

// CPU seconds the splitter takes for an hour of 128 kbit/s audio with a title
// every song: MP3 from the frame generator, or the given ADTS songs over and over.
double splitterCpu(bool pauses, double hours, const QByteArray &adts = QByteArray(), int adtsSongs = 1)
{
    teststation::FrameGenerator generator(kKbps, true, 1);
    generator.setSongs(kSongFrames, kGapFrames);
    engine::TitleSplitter splitter({pauses, 6000});
    const double adtsSeconds = adtsSongs * (kSongSeconds + kGapSeconds);
    const qint64 total = adts.isEmpty() ? static_cast<qint64>(hours * 3600 * kKbps * 1000 / 8)
                                        : static_cast<qint64>(hours * 3600 / adtsSeconds * adts.size());
    const qint64 cycle = adts.isEmpty() ? songStart(1) : adts.size() / adtsSongs;
    QByteArray packet(8192, Qt::Uninitialized);
    double cpu = 0;
    qint64 sent = 0;
    qint64 nextTitle = cycle;
    while (sent < total) {
        if (adts.isEmpty()) {
            generator.read(packet.data(), packet.size());
        } else {
            for (qsizetype i = 0; i < packet.size(); ++i)
                packet[i] = adts.at((sent + i) % adts.size());
        }
        const double before = bench::usageOfSelf().cpuSeconds;
        splitter.addAudio(packet);
        sent += packet.size();
        if (sent >= nextTitle) {
            splitter.changeTitle("t");
            nextTitle += cycle;
        }
        splitter.take();
        cpu += bench::usageOfSelf().cpuSeconds - before;
    }
    return cpu / hours;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int songs = argc > 1 ? std::max(2, QByteArray(argv[1]).toInt()) : 30;
    accuracyRows(songs);
    const double hours = 1;
    const double framesOnly = splitterCpu(false, hours);
    const double withPauses = splitterCpu(true, hours);
    std::printf("\nCPU per hour of 128 kbit/s MP3: frames only %.2f s, with the pause search %.2f s "
                "(the search: %.2f s)\n",
                framesOnly, withPauses, withPauses - framesOnly);
    const int adtsSongs = 7;
    const QByteArray adts = audiofiles::encodeAdtsSongs(kSongSeconds, kGapSeconds, adtsSongs);
    if (adts.isEmpty()) {
        std::printf("CPU per hour of AAC: not measured (ffmpeg could not encode the songs)\n");
        return 0;
    }
    const double adtsFrames = splitterCpu(false, hours, adts, adtsSongs);
    const double adtsPauses = splitterCpu(true, hours, adts, adtsSongs);
    std::printf("CPU per hour of 128 kbit/s AAC (ADTS): frames only %.2f s, with the pause search %.2f s "
                "(the search: %.2f s)\n",
                adtsFrames, adtsPauses, adtsPauses - adtsFrames);
    return 0;
}
