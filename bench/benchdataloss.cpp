// Ways a recording used to lose audio, measured end to end: each case records
// from the bundled test station on a fake clock and reports the bytes the
// station sent (response headers and audio), the bytes left on disk (tags left
// out), the files written, and whether the user was told of a failure.
//
//   bench_dataloss
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

#include "../tests/config/filesizelimit.h"
#include "app/programcontext.h"
#include "config/preset.h"
#include "engine/recorder.h"
#include "eventwait.h"
#include "recordertestpeer.h"
#include "testprogram.h"
#include "teststation/station.h"

namespace
{

struct Outcome
{
    qint64 sent = 0;
    qint64 onDisk = 0;
    int files = 0;
    bool told = false;      // a message named the failure
    bool recording = false; // still recording when the station was done
};

// One recording session: its own clock, front end and folder.
class Session : public TestProgram
{
public:
    explicit Session(int captureMode)
    {
        folder = dir.path() + QStringLiteral("/rec/");
        QDir().mkpath(folder);
        Preset &config = program().configuration();
        config.reset();
        config.saveFolder = folder;
        config.stationTitle = QStringLiteral("Bench");
        config.captureMode = captureMode;
        config.recordingFileName = QStringLiteral("Morning");
        config.listenAtStart = false;
        config.timeLimited = false;
        config.exitAfterRecording = false;
        engine = program().loadRecorder();
    }

    // Records until connection index of the station is over and read.
    bool drain(teststation::Station &station, int index)
    {
        return waitUntil(
            [&] {
                return !engine->isRecording() ||
                       (station.connectionCount() > index && !station.connection(index).open &&
                        inside(engine).byteCount() >= station.connection(index).wireBytes);
            },
            30000);
    }

    Outcome outcome(qint64 sent)
    {
        Outcome result;
        result.sent = sent;
        result.recording = engine->isRecording();
        if (engine->isRecording())
            engine->stopRecording();
        for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
            QFile file(info.filePath());
            qint64 size = info.size();
            if (file.open(QIODevice::ReadOnly) && size >= 128 && file.seek(size - 128) && file.read(3) == "TAG")
                size -= 128;
            result.onDisk += size;
            ++result.files;
        }
        for (const QString &message : std::as_const(ui.messages))
            result.told = result.told || message.contains(QStringLiteral("Cannot write"));
        return result;
    }

    QTemporaryDir dir;
    QString folder;
    Recorder *engine = nullptr;
};

qint64 streamBytes(const teststation::Station &station)
{
    qint64 total = 0;
    for (int i = 0; i < station.connectionCount(); ++i) {
        if (station.connection(i).isStream)
            total += station.connection(i).header.size() + station.connection(i).audioBytes;
    }
    return total;
}

teststation::Stream titledStream(const QList<QByteArray> &titles, qint64 length)
{
    teststation::Stream stream;
    stream.pace = teststation::Stream::Pace::Fast;
    stream.metaInt = 1000;
    stream.titles = titles;
    stream.titleEvery = 16000;
    stream.dropAfter = length;
    return stream;
}

void addServer(Recorder *engine, const teststation::Station &station)
{
    inside(engine).addServer("127.0.0.1", "/stream", QByteArray::number(station.port()), {});
}

// One title-mode connection with these titles, one every second of audio.
Outcome titles(const QList<QByteArray> &list, bool repeatTitle = false)
{
    Session session(2);
    teststation::Config config;
    teststation::Stream stream = titledStream(list, 128000);
    stream.repeatTitle = repeatTitle;
    config.streams.insert("/stream", stream);
    teststation::Station station(config);
    station.start();
    addServer(session.engine, station);
    inside(session.engine).beginRecording(session.program().configuration());
    session.drain(station, 0);
    return session.outcome(streamBytes(station));
}

// The stream drops, the reconnection is refused, and the next server sends the
// same station name and title again.
Outcome changeOfServer()
{
    Session session(2);
    teststation::Config config;
    config.streams.insert("/stream", titledStream({"Artist - Same Song"}, 64000));
    teststation::Station first(config);
    teststation::Station second(config);
    first.start();
    second.start();
    addServer(session.engine, first);
    addServer(session.engine, second);
    inside(session.engine).beginRecording(session.program().configuration());
    session.drain(first, 0);
    first.config().everyRequest = teststation::Page::statusOnly("ICY 400 Server Full");
    session.clock.advance(11000); // silence: the supervisor reconnects
    session.drain(second, 0);
    return session.outcome(streamBytes(first) + streamBytes(second));
}

// A dated archive recorded twice on the same day.
Outcome archiveTwice()
{
    Session session(3);
    teststation::Config config;
    config.streams.insert("/stream", titledStream({}, 64000));
    teststation::Station station(config);
    station.start();
    addServer(session.engine, station);
    for (int run = 0; run < 2; ++run) {
        inside(session.engine).beginRecording(session.program().configuration());
        session.drain(station, run);
        session.engine->stopRecording();
    }
    return session.outcome(streamBytes(station));
}

// A file size limit stands in for a full disk.
Outcome diskFull()
{
    Session session(2);
    teststation::Config config;
    // The limit is per file: one title runs past it.
    config.streams.insert("/stream", titledStream({"A - 1"}, 300000));
    teststation::Station station(config);
    station.start();
    addServer(session.engine, station);
    {
        FileSizeLimit limit(100000);
        inside(session.engine).beginRecording(session.program().configuration());
        session.drain(station, 0);
    }
    return session.outcome(streamBytes(station));
}

// The recording folder is removed after the first 50 kB.
Outcome folderRemoved()
{
    Session session(2);
    teststation::Config config;
    config.clock = &session.clock;
    teststation::Stream stream = titledStream({"A - 1", "B - 2", "C - 3"}, 300000);
    stream.pace = teststation::Stream::Pace::RealTime;
    stream.burstBytes = 50000;
    config.streams.insert("/stream", stream);
    teststation::Station station(config);
    station.start();
    addServer(session.engine, station);
    inside(session.engine).beginRecording(session.program().configuration());
    waitUntil([&] { return inside(session.engine).byteCount() >= 50000; });
    QDir(session.folder).removeRecursively();
    // Pacing follows the fake clock: a second of audio per step.
    for (int i = 0; i < 20 && session.engine->isRecording(); ++i) {
        session.clock.advance(1000);
        waitUntil([] { return false; }, 50);
    }
    return session.outcome(streamBytes(station));
}

void report(const char *name, const Outcome &o)
{
    std::printf("%-44s sent %8lld  on disk %8lld  lost %8lld  files %3d  told %-3s  still recording %s\n", name,
                static_cast<long long>(o.sent), static_cast<long long>(o.onDisk),
                static_cast<long long>(o.sent - o.onDisk), o.files, o.told ? "yes" : "no", o.recording ? "yes" : "no");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("VORLANE_HOME", home.path().toLocal8Bit());
    report("apostrophe (Don't Stop / Don't Go)", titles({"Don't Stop", "Don't Go"}));
    report("semicolon (Rock; Roll / Rock; Pop)", titles({"Rock; Roll", "Rock; Pop"}));
    report("both, interleaved", titles({"Don't Stop", "Rock; Roll", "Don't Go", "Rock; Pop"}));
    report("Latin-1 (Caf\\xe9 / Caf\\xe8)", titles({"Caf\xe9", "Caf\xe8"}));
    report("title airs again (A, B, A, ...)", titles({"A - 1", "B - 2"}));
    report("cleaned alike (AC/DC - Song / ACDC - Song)", titles({"AC/DC - Song", "ACDC - Song"}));
    report("forbidden only and empty (??? / '')", titles({"???", ""}));
    report("change of server repeats station and title", changeOfServer());
    report("archive started again the same day", archiveTwice());
    report("300-byte title in every block", titles({"Artist - " + QByteArray(300, 'x')}, true));
    report("disk full (100 kB file size limit)", diskFull());
    report("recording folder removed after 50 kB", folderRemoved());
    return 0;
}
