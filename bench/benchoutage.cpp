// Outages of a station, measured: the recorder records from the test station,
// which drops the connection and then answers 404 for a while (the mount is
// gone) before it streams again, with new audio (a source restart, also at
// another bit rate) or beginning with a burst of the last 64 KiB it sent (a
// server that bursts to a returning listener). Time is a fake clock, so a
// 15-minute outage takes a moment. For each case it reports whether the
// recording went on, the bytes the station sent that are missing from the file
// and the bytes the file holds twice.
//
//   bench_outage [reconnect minutes=10]
#include <QCoreApplication>
#include <QDir>
#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include "app/programcontext.h"
#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/recorder.h"
#include "eventwait.h"
#include "fakeclock.h"
#include "platform/alsaaudiooutput.h"
#include "platform/alsamixer.h"
#include "platform/frontend.h"
#include "recordertestpeer.h"
#include "teststation/station.h"

namespace
{

class QuietFrontEnd final : public platform::FrontEnd
{
public:
    void showMessage(const QString &text) override
    {
        // Listening is not used here.
        if (!text.startsWith(QStringLiteral("No sound output")))
            messages.append(text);
    }
    void captionChanged(const QString &) override {}
    void trayChanged(const platform::TrayState &) override {}
    void exitProcess(int) override {}
    QStringList messages;
};

struct Case
{
    const char *name;
    qint64 outageMs;
    int bitRateAfter; // kbit/s of the returning stream
    qint64 burst;     // bytes of the first stream repeated at the start of the second
};

// Audio of `after` that is missing from the file, and bytes of the file beyond
// the audio sent once.
void measure(const QByteArray &file, const QByteArray &before, const QByteArray &after, qint64 burst, qint64 &lost,
             qint64 &repeated)
{
    const QByteArray fresh = after.mid(burst);
    qsizetype n = 0;
    while (n < file.size() && n < before.size() && file.at(n) == before.at(n))
        ++n;
    QByteArray rest = file.mid(n);
    repeated = 0;
    if (burst > 0 && rest.startsWith(after.left(burst))) {
        repeated = burst;
        rest = rest.mid(burst);
    }
    const qsizetype kept = fresh.startsWith(rest) ? rest.size() : 0;
    lost = (before.size() - n) + (fresh.size() - kept);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("VORLANE_HOME", QFile::encodeName(home.path()));
    const int minutes = argc > 1 ? std::atoi(argv[1]) : kDefaultReconnectMinutes;
    setReconnectPeriodMinutes(minutes);
    FakeClock clock;
    QuietFrontEnd frontEnd;
    QNetworkAccessManager network;
    platform::AlsaMixer mixer;
    const platform::AudioDevices audio{mixer, [] { return std::make_unique<platform::AlsaAudioOutput>(); }};

    const Case cases[] = {
        {"mount gone 5 s", 5000, 128, 0},
        {"source restart at 64 kbit/s", 1000, 64, 0},
        {"listener reconnect with burst", 0, 128, 65536},
        {"60 s outage", 60000, 128, 0},
        {"15 min outage", 900000, 128, 0},
    };
    std::printf("reconnect period %d min\n%-32s %-10s %12s %12s\n", minutes, "case", "recording", "bytes lost",
                "repeated");
    for (const Case &c : cases) {
        frontEnd.messages.clear();
        QTemporaryDir folder;
        teststation::Config config;
        teststation::Stream stream;
        stream.pace = teststation::Stream::Pace::Fast;
        stream.icecastStyle = true;
        stream.dropAfter = 400000;
        config.streams.insert("/live", stream);
        teststation::Station station(config);
        station.start();

        ProgramContext program(frontEnd, clock, network, audio);
        Preset &record = program.configuration();
        record.reset();
        record.saveFolder = folder.path() + QDir::separator();
        record.stationTitle = QStringLiteral("Outage");
        record.captureMode = 1;
        record.recordingFileName = QStringLiteral("outage.mp3");
        Recorder *engine = program.loadRecorder();
        inside(engine).addServer("127.0.0.1", "/live", QByteArray::number(station.port()), QByteArray());
        inside(engine).beginRecording(program.configuration());
        waitUntil([&] { return station.connectionCount() == 1 && !station.connection(0).open; });
        // The mount goes away for the outage.
        const qint64 lost = clock.monotonicMs();
        if (c.outageMs > 0) {
            station.config().pages.insert("/live", teststation::Page::statusOnly("HTTP/1.0 404 Not Found"));
            waitUntil([&] { return clock.monotonicMs() - lost >= c.outageMs || !engine->isRecording(); }, 600000);
            station.config().pages.remove("/live");
        }
        teststation::Stream &back = station.config().streams["/live"];
        back.dropAfter = -1;
        back.stallAfter = 400000;
        back.bitRateKbps = c.bitRateAfter;
        back.seed = c.burst > 0 ? 1 : 2;
        if (c.burst > 0)
            back.burst = station.connection(0).audio.right(c.burst);
        const int first = station.connectionCount();
        waitUntil(
            [&] {
                const int last = station.connectionCount() - 1;
                return !engine->isRecording() ||
                       (last >= first - 1 && station.connection(last).isStream && station.connection(last).stalled &&
                        inside(engine).byteCount() >= station.connection(last).wireBytes);
            },
            600000);
        const bool survived = engine->isRecording();
        if (survived)
            engine->stopRecording();
        QByteArray file;
        QFile out(record.saveFolder + QStringLiteral("outage.mp3"));
        if (out.open(QIODevice::ReadOnly))
            file = out.readAll().chopped(128);
        QByteArray after;
        for (int i = 1; i < station.connectionCount(); ++i)
            if (station.connection(i).isStream)
                after = station.connection(i).audio;
        qint64 lostBytes = 0, repeated = 0;
        if (survived) {
            measure(file, station.connection(0).audio, after, c.burst, lostBytes, repeated);
        } else {
            // The recording ended: the returning stream (as long as the first
            // one) was recorded by nobody.
            measure(file, station.connection(0).audio, QByteArray(), 0, lostBytes, repeated);
            lostBytes += back.stallAfter;
        }
        const QString message = frontEnd.messages.isEmpty()
                                    ? QString()
                                    : QStringLiteral("  (") + frontEnd.messages.first() + QStringLiteral(")");
        std::printf("%-32s %-10s %12lld %12lld\n%s", c.name, survived ? "goes on" : "ended",
                    static_cast<long long>(lostBytes), static_cast<long long>(repeated),
                    message.isEmpty() ? "" : qPrintable(message + QLatin1Char('\n')));
    }
    return 0;
}
