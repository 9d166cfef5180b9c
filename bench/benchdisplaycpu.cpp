// What the recording display costs while it shows a recording whose title
// scrolls: the engine records the test station (128 kbit/s in real time, one
// long title) first without the display, then with the display shown, for the
// given time each. Both phases are measured from the process's own counters
// (getrusage: the whole process, and the main thread alone, where the display
// runs); the difference is the display's share. Run it on a real X server or
// under Xvfb (xvfb-run -a build/bench/bench_displaycpu).
//
//   bench_displaycpu [seconds=60]
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

#include "app/programcontext.h"
#include "benchsupport.h"
#include "engine/recorder.h"
#include "platform/clock.h"
#include "ui/recordingdisplay.h"

namespace
{

double threadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Phase
{
    double process = 0;
    double mainThread = 0;
    double wall = 0;
};

// Runs the event loop for the given time and measures it.
Phase measure(int seconds)
{
    const bench::Usage processBefore = bench::usageOfSelf();
    const double threadBefore = threadCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    Phase phase;
    phase.wall = double(wall.elapsed()) / 1000.0;
    phase.process = bench::usageOfSelf().cpuSeconds - processBefore.cpuSeconds;
    phase.mainThread = threadCpuSeconds() - threadBefore;
    return phase;
}

void report(const char *what, const Phase &phase)
{
    std::printf("%-22s %.1f s wall: process %.3f s CPU (%.3f%% of one core), main thread %.3f s (%.3f%%)\n", what,
                phase.wall, phase.process, 100.0 * phase.process / phase.wall, phase.mainThread,
                100.0 * phase.mainThread / phase.wall);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    bench::Scratch scratch;
    bench::BenchRun run;
    bench::BenchFrontEnd &frontEnd = run.frontEnd;
    // One title far wider than the display, so it scrolls all the time.
    const QByteArray title = "The Long Ensemble - A Very Long Song Title That Keeps Scrolling Across The Display";
    bench::StationThread station(3600 * bench::kBytesPerSecond, 1, {title});
    if (!scratch.isValid() || !station.start())
        return 2;
    Recorder *recorder = bench::startRecording(run.program(), scratch, "Bench FM", station.url("/listen.pls"));
    if (!recorder)
        return 2;
    // Let the recording settle into its title.
    measure(3);

    const Phase without = measure(seconds);
    platform::SystemClock clock;
    bench::NoMixer mixer;
    QuitQuestion quitQuestion(clock);
    RecordingDisplay display(recorder, run.program().configuration(), mixer, quitQuestion);
    display.show();
    const Phase with = measure(seconds);
    const RecordingDisplay::Face face = display.face();

    std::printf("title shown: \"%s\" at %d px (scrolling: %s)\n", qPrintable(face.title), face.titleLeft,
                face.titleLeft < 0 ? "yes" : "no");
    report("recording, no display", without);
    report("recording, display", with);
    const double share = with.mainThread - without.mainThread;
    std::printf("display's share (main thread difference): %.3f s CPU over %.1f s = %.3f%% of one core\n", share,
                with.wall, 100.0 * share / with.wall);
    for (const QString &message : std::as_const(frontEnd.messages))
        std::printf("message: %s\n", qPrintable(message));
    return 0;
}
