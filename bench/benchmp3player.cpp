// Measures what listening costs: how fast the embedded player decodes and hands
// to a (null) sound output an MP3 stream fed in blocks as the recorder feeds it,
// compared with the time the audio lasts.
// Usage: bench_mp3p [minutes]   (default 10 minutes of 128 kb/s, 44.1 kHz stereo)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <ctime>
#include <memory>

#include "platform/audiooutput.h"
#include "platform/nullaudiooutput.h"
#include "sources/mp3player.h"
#include "teststation/framegenerator.h"
#include "teststation/mp3frame.h"

namespace
{

double cpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int minutes = argc > 1 ? QByteArray(argv[1]).toInt() : 10;
    const qint64 frameCount = static_cast<qint64>(minutes) * 60 * 44100 / 1152;

    // Whole frames, so that the count of decoded samples is known exactly.
    teststation::FrameGenerator generator;
    QByteArray audio;
    for (qint64 i = 0; i < frameCount; ++i) {
        QByteArray frame = generator.read(4);
        frame += generator.read(teststation::parseMp3FrameHeader(frame.constData())->frameLength - 4);
        audio += frame;
    }

    auto counters = std::make_shared<platform::NullAudioCounters>();
    Mp3Player player([counters] { return std::make_unique<platform::NullAudioOutput>(counters); });
    const double cpuStart = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    if (!player.play())
        return 1;
    // Blocks of the size a socket read brings, with the event loop turning between them.
    constexpr qsizetype kBlock = 4096;
    for (qsizetype at = 0; at < audio.size(); at += kBlock) {
        player.feed(audio.mid(at, kBlock));
        QCoreApplication::processEvents();
    }
    const qint64 wanted = frameCount * 1152;
    while (counters->framesWritten < wanted && timer.elapsed() < 600000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 elapsed = timer.elapsed();
    const double cpu = cpuSeconds() - cpuStart;

    QTextStream out(stdout);
    const double audioSeconds = static_cast<double>(counters->framesWritten) / 44100.0;
    out << "stream: " << audio.size() << " bytes, " << frameCount << " frames, " << audioSeconds << " s of audio\n"
        << "decoded and played: " << counters->framesWritten << " of " << wanted << " sample frames\n"
        << "elapsed: " << elapsed << " ms wall, " << cpu * 1000.0 << " ms CPU; " << (cpu > 0 ? audioSeconds / cpu : 0.0)
        << "x real time per CPU second\n";
    return counters->framesWritten == wanted ? 0 : 1;
}
