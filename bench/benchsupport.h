#pragma once

// Shared by the benchmarks that record a paced stream in real time
// (bench_uilatency, bench_realtime, bench_listening): a settings folder of
// their own, a front end that keeps what the engine tells the user, a mixer
// without controls, the test station on a thread of its own, and the engine
// started on a preset the way a user starts it.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <QNetworkAccessManager>

#include <memory>

#include "app/programcontext.h"
#include "platform/audiodevices.h"
#include "platform/clock.h"
#include "platform/frontend.h"
#include "platform/mixer.h"

class ProgramContext;
class Recorder;

namespace teststation
{
class Station;
}

class QProcess;

namespace bench
{

// 128 kbit/s of audio.
constexpr qint64 kBytesPerSecond = 16000;

// A scratch folder that serves as the program folder ($VORLANE_HOME), so
// that a run neither reads nor changes the user's settings; recordings go to
// its "recordings" subfolder.
class Scratch
{
public:
    Scratch();
    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString recordings() const { return m_dir.path() + QStringLiteral("/recordings/"); }
    // Recording files written so far, and their total size.
    int fileCount() const;
    qint64 bytesOnDisk() const;

private:
    QTemporaryDir m_dir;
};

// Anything the engine would tell the user is kept, to be reported.
class BenchFrontEnd final : public platform::FrontEnd
{
public:
    void showMessage(const QString &text) override { messages.append(text); }
    void captionChanged(const QString &) override {}
    void trayChanged(const platform::TrayState &) override {}
    void exitProcess(int status) override { messages.append(QStringLiteral("exit %1").arg(status)); }

    QStringList messages;
};

// The machine's sound mixer is none of the benchmark's business: the listening
// volume stays unknown, as on a machine without a sound card.
class NoMixer final : public platform::Mixer
{
public:
    bool findControl(quint32, quint32, quint32, platform::MixerControl &) override { return false; }
    qint32 controlValue(quint32, const platform::MixerControl &) override { return -1; }
};

// One run of the program on the system clock, reporting to a BenchFrontEnd;
// listening plays through the outputs makeOutput makes (the machine's sound
// device unless a benchmark gives its own).
class BenchRun
{
public:
    explicit BenchRun(platform::AudioOutputFactory makeOutput = systemOutput)
        : m_audio{m_mixer, std::move(makeOutput)}
    {}

    ProgramContext &program() { return *m_context; }
    // Unloads the recorder and every window, as the exit does.
    void end() { m_context.reset(); }

    platform::SystemClock clock;
    BenchFrontEnd frontEnd;

private:
    static std::unique_ptr<platform::AudioOutput> systemOutput();

    NoMixer m_mixer;
    const platform::AudioDevices m_audio;
    QNetworkAccessManager m_network;
    std::unique_ptr<ProgramContext> m_context = std::make_unique<ProgramContext>(frontEnd, clock, m_network, m_audio);
};

// Distinct song titles, so that no file name comes round again.
QList<QByteArray> songTitles(int count);

// The test station with one stream at 128 kbit/s in real time ("/stream", a
// new title every titleEvery audio bytes) and its playlist ("/listen.pls").
// It runs on its own thread, so that it goes on sending while the engine
// blocks the main thread, as a station across the network would.
class StationThread
{
public:
    // titles, when given, replace the numbered ones.
    StationThread(qint64 titleEvery, int titleCount, const QList<QByteArray> &titles = {});
    ~StationThread();
    StationThread(const StationThread &) = delete;
    StationThread &operator=(const StationThread &) = delete;

    bool start();
    QByteArray url(const QByteArray &path) const;

private:
    QThread m_thread;
    teststation::Station *m_station = nullptr;
    quint16 m_port = 0;
};

// Starts the built vorlane-teststation program with these arguments (it must
// be given "--port 0") and returns the port it listens on; empty, after saying
// why on standard error, when it did not start.
QByteArray startStationProcess(QProcess &station, const QStringList &arguments);

// Writes a preset for the playlist (title line, e.g. "Bench FM" or "!L-Bench FM"
// to listen; title mode; no time limit), loads the engine and opens the preset,
// which starts the recording. Returns nullptr when the preset was refused.
Recorder *startRecording(ProgramContext &program, const Scratch &scratch, const QByteArray &titleLine,
                         const QByteArray &playlist);

// CPU time and context switches of a process, from getrusage/wait4.
struct Usage
{
    double cpuSeconds = 0; // user + system
    long voluntarySwitches = 0;
    long involuntarySwitches = 0;
};
Usage usageOfSelf();
Usage usageFrom(const rusage &usage);

} // namespace bench
