// Whether listening keeps playing while the engine records: the test station
// (on its own thread) sends 128 kbit/s in real time with a new title every 2 s
// of audio; the engine records it in title mode with listening on, so the
// relay passes the stream to the embedded player, all on the main thread.
//
// The player writes to the null output through a stand-in for a sound card:
// a device buffer as long as the one the ALSA output asks for, played out in
// wall-clock time, so the player can hand over only as much as has room, as
// with the real device. The benchmark reports the largest wall-clock gap
// between two hand-overs, to compare with that buffer: a gap longer than the
// buffer is audible. It also counts the times the modelled buffer ran dry.
//
//   bench_listening [seconds=30]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/programcontext.h"
#include "benchsupport.h"
#include "engine/recorder.h"
#include "platform/audiooutput.h"
#include "platform/nullaudiooutput.h"
#include "recordertestpeer.h"
#include "sources/mp3player.h"
#include "sources/previewrelay.h"

namespace
{

constexpr qint64 kTitleEvery = 2 * bench::kBytesPerSecond;
// The buffer the ALSA output requests (src/platform/alsaaudiooutput.cpp).
constexpr int kDeviceBufferMs = 500;

// What the outputs saw; shared, since the player creates and releases outputs.
struct Observations
{
    QElapsedTimer wall;
    qint64 handOvers = 0;
    qint64 firstHandOverNs = -1;
    qint64 lastHandOverNs = -1;
    qint64 largestGapNs = 0;
    qint64 largestGapEndNs = 0; // when that gap ended, from the start
    int underruns = 0;          // times the buffer ran dry while playing
    double silenceMs = 0;       // how long it stayed dry in all
};

// The null output behind a modelled device buffer that plays out in real time.
class DeviceModelOutput final : public platform::AudioOutput
{
public:
    explicit DeviceModelOutput(std::shared_ptr<Observations> seen)
        : m_seen(std::move(seen))
    {}

    bool open() override { return m_null.open(); }
    bool setFormat(int sampleRate, int channels) override
    {
        m_rate = sampleRate;
        m_queued = 0;
        m_playing = false;
        return m_null.setFormat(sampleRate, channels);
    }
    qint64 framesWritable() override
    {
        playOut();
        return std::max<qint64>(0, capacity() - static_cast<qint64>(m_queued));
    }
    qint64 write(const qint16 *samples, qint64 frames) override
    {
        playOut();
        frames = std::min(frames, capacity() - static_cast<qint64>(m_queued));
        if (frames <= 0)
            return 0;
        const qint64 taken = m_null.write(samples, frames);
        if (taken > 0) {
            handOver();
            m_queued += static_cast<double>(taken);
            m_playing = true;
            m_dry = false;
        }
        return taken;
    }
    void close() override { m_null.close(); }
    QString errorString() const override { return m_null.errorString(); }

private:
    qint64 capacity() const { return static_cast<qint64>(m_rate) * kDeviceBufferMs / 1000; }

    // Takes out of the buffer what the device has played since the last look.
    void playOut()
    {
        const qint64 now = m_seen->wall.nsecsElapsed();
        const double played = static_cast<double>(now - m_lastLookNs) * m_rate / 1e9;
        m_lastLookNs = now;
        if (!m_playing)
            return;
        if (played <= m_queued) {
            m_queued -= played;
            return;
        }
        if (!m_dry) {
            ++m_seen->underruns;
            m_dry = true;
        }
        m_seen->silenceMs += (played - m_queued) * 1000.0 / m_rate;
        m_queued = 0;
    }

    void handOver()
    {
        Observations &seen = *m_seen;
        const qint64 now = seen.wall.nsecsElapsed();
        if (seen.lastHandOverNs >= 0 && now - seen.lastHandOverNs > seen.largestGapNs) {
            seen.largestGapNs = now - seen.lastHandOverNs;
            seen.largestGapEndNs = now;
        }
        if (seen.firstHandOverNs < 0)
            seen.firstHandOverNs = now;
        seen.lastHandOverNs = now;
        ++seen.handOvers;
    }

    std::shared_ptr<Observations> m_seen;
    platform::NullAudioOutput m_null;
    int m_rate = 0;
    double m_queued = 0; // frames in the device buffer
    qint64 m_lastLookNs = 0;
    bool m_playing = false;
    bool m_dry = false;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    bench::Scratch scratch;
    auto seen = std::make_shared<Observations>();
    bench::BenchRun run([seen] { return std::make_unique<DeviceModelOutput>(seen); });
    bench::BenchFrontEnd &frontEnd = run.frontEnd;
    bench::StationThread station(kTitleEvery, seconds / 2 + 10);
    if (!scratch.isValid() || !station.start()) {
        std::fprintf(stderr, "cannot set up the scratch folder or the station\n");
        return 1;
    }

    Recorder *engine = nullptr;
    QTimer::singleShot(0, [&] {
        seen->wall.start();
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, [] { QCoreApplication::quit(); });
        engine = bench::startRecording(run.program(), scratch, "!L-Bench FM", station.url("/listen.pls"));
        if (!engine)
            QCoreApplication::quit();
    });
    QCoreApplication::exec();
    const double wallSeconds = static_cast<double>(seen->wall.elapsed()) / 1000.0;
    if (!engine || !engine->isRecording() || !inside(engine).isListening() || seen->handOvers == 0) {
        std::fprintf(stderr, "the recording or listening did not run: %s\n",
                     qPrintable(frontEnd.messages.join(QStringLiteral("; "))));
        return 1;
    }
    const qint64 decoded = inside(engine).relay().player()->framesDecoded();
    engine->stopRecording();

    const double ms = 1e6;
    std::printf("bench_listening: %d s of 128 kbit/s, a new title every 2 s, listening on; %.1f s wall\n", seconds,
                wallSeconds);
    std::printf("player: first audio after %.0f ms, %lld hand-overs to the output, %lld MPEG frames decoded\n",
                static_cast<double>(seen->firstHandOverNs) / ms, static_cast<long long>(seen->handOvers),
                static_cast<long long>(decoded));
    std::printf("largest gap between two hand-overs: %.1f ms (ending %.1f s into the run); output buffer %d ms\n",
                static_cast<double>(seen->largestGapNs) / ms, static_cast<double>(seen->largestGapEndNs) / 1e9,
                kDeviceBufferMs);
    std::printf("modelled buffer ran dry %d times, %.0f ms of silence in all\n", seen->underruns, seen->silenceMs);
    std::printf("recording: %d files written\n", scratch.fileCount());
    if (!frontEnd.messages.isEmpty())
        std::printf("messages: %s\n", qPrintable(frontEnd.messages.join(QStringLiteral("; "))));
    run.end();
    return 0;
}
