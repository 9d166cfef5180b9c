#include "benchsupport.h"

#include <cstdio>

#include <QCoreApplication>

#include <QRegularExpression>

#include <QProcess>

#include <QDir>
#include <QFile>
#include <QMetaObject>

#include "app/programcontext.h"
#include "engine/recorder.h"
#include "platform/alsaaudiooutput.h"
#include "recordertestpeer.h"
#include "teststation/station.h"

namespace bench
{

Scratch::Scratch()
{
    qputenv("VORLANE_HOME", QFile::encodeName(m_dir.path()));
    QDir().mkpath(recordings());
}

int Scratch::fileCount() const
{
    return static_cast<int>(QDir(recordings()).entryList(QDir::Files).size());
}

qint64 Scratch::bytesOnDisk() const
{
    qint64 total = 0;
    const QFileInfoList files = QDir(recordings()).entryInfoList(QDir::Files);
    for (const QFileInfo &file : files)
        total += file.size();
    return total;
}

std::unique_ptr<platform::AudioOutput> BenchRun::systemOutput()
{
    return std::make_unique<platform::AlsaAudioOutput>();
}

QList<QByteArray> songTitles(int count)
{
    QList<QByteArray> titles;
    for (int k = 1; k <= count; ++k)
        titles.append("Artist " + QByteArray::number(k) + " - Song " + QByteArray::number(k));
    return titles;
}

StationThread::StationThread(qint64 titleEvery, int titleCount, const QList<QByteArray> &titles)
{
    teststation::Stream stream;
    stream.pace = teststation::Stream::Pace::RealTime;
    stream.bitRateKbps = static_cast<int>(kBytesPerSecond * 8 / 1000);
    stream.burstBytes = 2 * kBytesPerSecond; // as the station program and real servers do
    stream.titles = titles.isEmpty() ? songTitles(titleCount) : titles;
    stream.titleEvery = titleEvery;
    teststation::Config config;
    config.recordAudio = false; // counts only: memory stays flat however long it runs
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Bench FM"}));
    m_station = new teststation::Station(config);
    m_station->moveToThread(&m_thread);
    m_thread.start();
}

StationThread::~StationThread()
{
    // The station's sockets belong to its thread and are closed there.
    QMetaObject::invokeMethod(
        m_station, [this] { delete m_station; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

bool StationThread::start()
{
    bool started = false;
    QMetaObject::invokeMethod(
        m_station,
        [this, &started] {
            started = m_station->start();
            m_port = m_station->port();
        },
        Qt::BlockingQueuedConnection);
    return started;
}

QByteArray StationThread::url(const QByteArray &path) const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port) + path;
}

QByteArray startStationProcess(QProcess &station, const QStringList &arguments)
{
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/vorlane-teststation");
    station.start(path, arguments);
    if (!station.waitForStarted() || !station.waitForReadyRead(10000)) {
        std::fprintf(stderr, "cannot start %s (build the vorlane-teststation target)\n", qPrintable(path));
        return {};
    }
    const QString banner = QString::fromLocal8Bit(station.readAllStandardOutput());
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral(":(\\d+)/")).match(banner);
    if (!match.hasMatch()) {
        std::fprintf(stderr, "unexpected station banner: %s\n", qPrintable(banner));
        return {};
    }
    return match.captured(1).toLatin1();
}

Recorder *startRecording(ProgramContext &program, const Scratch &scratch, const QByteArray &titleLine,
                         const QByteArray &playlist)
{
    // Title, playlist, title mode, folder, no time limit (and keep running), keep all.
    const QList<QByteArray> lines = {titleLine, playlist, "SONGNAMEONLY", QFile::encodeName(scratch.recordings()),
                                     "S0",      "0"};
    QString preset = scratch.path() + QStringLiteral("/bench.mvr");
    QFile file(preset);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return nullptr;
    file.write(lines.join("\r\n") + "\r\n");
    file.close();
    Recorder *engine = program.loadRecorder();
    return inside(engine).openFile(preset, program.configuration()) ? engine : nullptr;
}

Usage usageFrom(const rusage &usage)
{
    Usage result;
    result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.voluntarySwitches = usage.ru_nvcsw;
    result.involuntarySwitches = usage.ru_nivcsw;
    return result;
}

Usage usageOfSelf()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usageFrom(usage);
}

} // namespace bench
