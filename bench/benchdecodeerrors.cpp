// Decoder errors in recorded files: one Icecast server with four mounts (MP3,
// ADTS AAC, Ogg Vorbis, Ogg Opus) fed by liquidsoap with songs of a tone and a
// pause, a title each; Vorlane (title files, default options) and streamripper
// (defaults) record every mount at once for the given time. Then every file
// either made is decoded with `ffmpeg -v error` and its error lines counted.
// The file each recorder was writing when it was stopped is left out (the
// stop cuts it short), and so are streamripper's "incomplete" files.
//
//   bench_decodeerrors [seconds=600] [--keep DIR] [mp3|aac|vorbis|opus ...]
//   (needs icecast2, liquidsoap, ffmpeg, streamripper)
// Named mounts only are recorded (default all four); with --keep, the files
// are copied to DIR to be looked at, and the ones with error lines named.
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include "audiofiles.h"
#include "eventwait.h"
#include "icecastserver.h"
#include "liquidsoapsource.h"

namespace
{

struct Mount
{
    const char *name;
    QByteArray path;
    QByteArray encoder;
    QByteArray format;
};

struct Client
{
    QString name;
    QString folder;
    QProcess process;
};

// Error lines ffmpeg prints decoding the file.
int errorLines(const QString &path)
{
    const QString errors = audiofiles::ffmpegErrors(path);
    return errors.isEmpty() ? 0 : static_cast<int>(errors.count(QLatin1Char('\n')) + 1);
}

// Finished audio files of a recorder, oldest first, without the one still written at the stop.
QStringList finishedFiles(const QString &folder)
{
    QFileInfoList found;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (info.path().contains(QLatin1String("incomplete")) || info.suffix() == QLatin1String("mvr") ||
            info.suffix() == QLatin1String("cue"))
            continue;
        found.append(info);
    }
    std::sort(found.begin(), found.end(),
              [](const QFileInfo &a, const QFileInfo &b) { return a.lastModified() < b.lastModified(); });
    if (!found.isEmpty())
        found.removeLast();
    QStringList paths;
    for (const QFileInfo &info : std::as_const(found))
        paths.append(info.filePath());
    return paths;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(20, QByteArray(argv[1]).toInt()) : 600;
    QString keep;
    QList<QByteArray> only;
    for (int i = 2; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--keep" && i + 1 < argc)
            keep = QString::fromLocal8Bit(argv[++i]);
        else
            only.append(QByteArray(argv[i]).toLower());
    }
    QList<Mount> mounts = {
        {"MP3", "/mp3", "%mp3(bitrate=128)", {}},
        {"AAC", "/aac", "%ffmpeg(format=\"adts\", %audio(codec=\"aac\", b=\"128k\"))", "audio/aac"},
        {"Ogg Vorbis", "/vorbis.ogg", "%vorbis", {}},
        {"Ogg Opus", "/opus.ogg", "%ffmpeg(format=\"ogg\", %audio(codec=\"libopus\", samplerate=48000))", "audio/ogg"},
    };
    if (!only.isEmpty())
        mounts.removeIf(
            [&](const Mount &mount) { return !only.contains(QByteArray(mount.name).split(' ').last().toLower()); });
    if (mounts.isEmpty()) {
        std::fprintf(stderr, "no such mount; choose from mp3, aac, vorbis, opus\n");
        return 1;
    }
    if (!keep.isEmpty())
        QDir().mkpath(keep);
    IcecastServer icecast;
    QString error;
    if (!icecast.start(&error) || !icecast.waitUntilReady()) {
        std::fprintf(stderr, "icecast: %s %s\n", qPrintable(error), qPrintable(icecast.errorString()));
        return 1;
    }
    QList<LiquidsoapSource::Output> outputs;
    for (const Mount &mount : mounts)
        outputs.append({mount.path, mount.encoder, mount.format});
    // Songs of 20 s and a pause of 0.8 s: a title change about every 21 s.
    LiquidsoapSource source(outputs, 5, 20, 0.8);
    if (!source.start(icecast.port(), icecast.options().sourcePassword)) {
        std::fprintf(stderr, "liquidsoap: %s\n", qPrintable(source.errorString()));
        return 1;
    }
    waitUntil([] { return false; }, 8000); // the encoder connects its mounts

    QTemporaryDir scratch;
    const QString vorlane = QCoreApplication::applicationDirPath() + QStringLiteral("/../src/app/vorlane");
    std::vector<std::unique_ptr<Client>> clients;
    for (const Mount &mount : mounts) {
        const QString tag = QString::fromLatin1(mount.path.mid(1));
        auto own = std::make_unique<Client>();
        own->name = QStringLiteral("vorlane ") + QLatin1String(mount.name);
        own->folder = scratch.path() + QStringLiteral("/vorlane-") + tag + QLatin1Char('/');
        QDir().mkpath(own->folder);
        const QString pls = scratch.path() + QLatin1Char('/') + tag + QStringLiteral(".pls");
        QFile plsFile(pls);
        plsFile.open(QIODevice::WriteOnly);
        plsFile.write("[playlist]\r\nFile1=" + icecast.url(mount.path) + "\r\nNumberOfEntries=1\r\nVersion=2\r\n");
        plsFile.close();
        const QString preset = scratch.path() + QLatin1Char('/') + tag + QStringLiteral(".mvr");
        QFile presetFile(preset);
        presetFile.open(QIODevice::WriteOnly);
        presetFile.write(
            QByteArrayList{"Bench", QFile::encodeName(pls), "SONGNAMEONLY", QFile::encodeName(own->folder), "S0", "0"}
                .join("\r\n") +
            "\r\n");
        presetFile.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VORLANE_HOME"), scratch.path() + QStringLiteral("/home-") + tag);
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        own->process.setProcessEnvironment(env);
        own->process.start(vorlane, {QStringLiteral("--headless"), preset});
        clients.push_back(std::move(own));

        auto ripper = std::make_unique<Client>();
        ripper->name = QStringLiteral("streamripper ") + QLatin1String(mount.name);
        ripper->folder = scratch.path() + QStringLiteral("/ripper-") + tag;
        ripper->process.start(QStringLiteral("streamripper"),
                              {QString::fromLatin1(icecast.url(mount.path)), QStringLiteral("-d"), ripper->folder,
                               QStringLiteral("-s"), QStringLiteral("--quiet")});
        clients.push_back(std::move(ripper));
    }
    waitUntil([] { return false; }, seconds * 1000);
    for (const auto &client : clients) {
        // A recorder that has ended already has no process id: kill(0) would end this one.
        if (client->process.processId() > 0)
            ::kill(static_cast<pid_t>(client->process.processId()), SIGTERM);
        client->process.waitForFinished(10000);
    }
    source.stop();

    std::printf("%d s from Icecast, songs of 20 s with 0.8 s pauses\n", seconds);
    std::printf("%-26s %6s %14s %16s\n", "recorder", "files", "files w/ errors", "ffmpeg error lines");
    for (const auto &client : clients) {
        const QStringList files = finishedFiles(client->folder);
        int withErrors = 0;
        int lines = 0;
        for (const QString &file : files) {
            const int n = errorLines(file);
            withErrors += n != 0 ? 1 : 0;
            if (!keep.isEmpty()) {
                const QString copy = keep + QLatin1Char('/') + QDir(client->folder).dirName() + QLatin1Char('/') +
                                     QFileInfo(file).fileName();
                QDir().mkpath(QFileInfo(copy).path());
                QFile::copy(file, copy);
                if (n != 0)
                    std::printf("%s: %d error lines\n", qPrintable(copy), n);
            }
            lines += std::max(n, 0);
        }
        std::printf("%-26s %6lld %14d %16d\n", qPrintable(client->name), static_cast<long long>(files.size()),
                    withErrors, lines);
    }
    return 0;
}
