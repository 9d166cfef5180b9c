// A timed preset started from the command line without a display: it records
// from the test station for its length, shows its tray tip on standard output,
// and ends by itself. The program runs in this process on the fake clock (a
// minute of recording in about a second); the station paces its stream by the
// same clock over a real loopback connection.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include "audiofiles.h"
#include "config/inivalues.h"

#include "eventwait.h"

#include <cstdio>
#include <functional>
#include <limits>

#include "app/headlessfrontend.h"
#include "app/programcontext.h"
#include "engine/recorder.h"
#include "engine/startup.h"
#include "fakeclock.h"
#include "programrun.h"
#include "recordertestpeer.h"
#include "testdevices.h"
#include "testenv.h"
#include "teststation/station.h"

namespace
{

QByteArray contents(std::FILE *file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, static_cast<qsizetype>(got));
    return bytes;
}

// The headless front end writing into files; ending the process is recorded
// instead, so that the test goes on.
class CapturedHeadless final : public platform::FrontEnd, public ProgramWindows
{
public:
    CapturedHeadless()
        : out(std::tmpfile())
        , err(std::tmpfile())
        , m_inner(out, err, false)
    {}
    ~CapturedHeadless() override
    {
        std::fclose(out);
        std::fclose(err);
    }
    void showMessage(const QString &text) override { m_inner.showMessage(text); }
    void showSetupWindow(bool fill) override { m_inner.showSetupWindow(fill); }
    void showRecordingDisplay() override { m_inner.showRecordingDisplay(); }
    void captionChanged(const QString &caption) override { m_inner.captionChanged(caption); }
    void trayChanged(const platform::TrayState &state) override { m_inner.trayChanged(state); }
    void exitProcess(int status) override
    {
        m_exited = true;
        m_exitStatus = status;
    }
    // The exit is asked for through a queued signal: let it arrive first.
    bool exited() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        return m_exited;
    }
    int exitStatus() const { return m_exitStatus; }

    std::FILE *out;
    std::FILE *err;

private:
    HeadlessFrontEnd m_inner;
    bool m_exited = false;
    int m_exitStatus = -1;
};

} // namespace

TEST(TimedPreset, RecordsForItsLengthAndEndsByItselfWhenThePresetAsks)
{
    // Files as exact slices of the stream, cut at frames.
    setFileSplitSettings({false, 6, false});
    for (const bool exitAfterwards : {true, false}) {
        SCOPED_TRACE(exitAfterwards ? "minutes line 1" : "minutes line S1");
        FakeClock clock;
        CapturedHeadless frontEnd;
        TestDevices devices;
        ProgramContext context(frontEnd, clock, testenv::network(), devices.audio);

        teststation::Stream stream;
        stream.pace = teststation::Stream::Pace::RealTime; // 16000 audio bytes per second of the fake clock
        stream.metaInt = 8192;
        stream.titles = {"First Artist - First Song", "Second Artist - Second Song", "Third Artist - Third Song"};
        stream.titleEvery = 400000; // 25 s
        teststation::Config config;
        config.clock = &clock;
        config.streams.insert("/stream", stream);
        config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Timed"}));
        teststation::Station station(config);
        ASSERT_TRUE(station.start());

        const QString folder =
            testenv::home() + (exitAfterwards ? QStringLiteral("/timed-exit/") : QStringLiteral("/timed-stay/"));
        QDir().mkpath(folder);
        const QList<QByteArray> lines = {"Timed FM",
                                         station.url("/listen.pls"),
                                         "SONGNAMEONLY",
                                         QFile::encodeName(folder),
                                         exitAfterwards ? "1" : "S1",
                                         "0"};
        const QString preset = testenv::writeFile(folder + QStringLiteral("../timed.mvr"), lines.join("\r\n") + "\r\n");

        const auto application = startProgram(context, preset, frontEnd, frontEnd);
        Recorder *engine = context.recorder();
        ASSERT_NE(engine, nullptr);
        // The test ticks the supervisor on the fake clock itself.
        inside(engine).setAutomaticSupervision(false);
        ASSERT_TRUE(waitUntil([&] { return engine->isRecording() && inside(engine).byteCount() > 0; }));
        const qint64 recordStart = inside(engine).recordStartTick();

        // Each second of the fake clock the station sends that second's audio;
        // the supervisor ticks every 100 ms.
        qint64 stoppedAfter = -1;
        for (int step = 1; step <= 700 && stoppedAfter < 0; ++step) {
            clock.advance(100);
            if (step % 10 == 0) {
                const qint32 before = inside(engine).byteCount();
                ASSERT_TRUE(waitUntil([&] { return inside(engine).byteCount() > before; }));
            }
            inside(engine).superviseTick();
            if (frontEnd.exited() || !engine->isRecording())
                stoppedAfter = clock.monotonicMs() - recordStart;
        }
        EXPECT_GT(stoppedAfter, 60500);
        EXPECT_LE(stoppedAfter, 60600);
        EXPECT_EQ(frontEnd.exited(), exitAfterwards);
        EXPECT_EQ(context.recorder() == nullptr, exitAfterwards);
        if (exitAfterwards) {
            EXPECT_EQ(frontEnd.exitStatus(), 0);
        }

        const QByteArray out = contents(frontEnd.out);
        EXPECT_TRUE(out.startsWith("Tray: Kestrane\nStatus: Initializing...\nStatus: Connecting to Timed FM...\n"))
            << out.left(300).constData();
        EXPECT_TRUE(out.contains("\nTray: RECORDING Timed FM... (0:30) (-0:30 left)\n"));
        EXPECT_TRUE(out.contains("\nTray: RECORDING Timed FM... (0:60) (-0:00 left)\n"));
        // The last tip before the end shows no time below zero.
        EXPECT_TRUE(out.contains("\nTray: RECORDING Timed FM... (1:00) (-0:00 left)\nTray: Vorlane\n"))
            << out.right(300).constData();
        EXPECT_TRUE(out.contains("\nStatus: Now Recording: Second Artist - Second Song.mp3\n"));
        EXPECT_TRUE(contents(frontEnd.err).isEmpty());

        // A minute of audio, every byte received in the file of its title.
        const teststation::ConnectionRecord &sent = station.connection(1);
        ASSERT_EQ(sent.titles.size(), 3);
        const QStringList names = {
            QStringLiteral("Vorlane Test Station-03072026.mp3"), QStringLiteral("First Artist - First Song.mp3"),
            QStringLiteral("Second Artist - Second Song.mp3"), QStringLiteral("Third Artist - Third Song.mp3")};
        QStringList expectedNames = names;
        expectedNames.sort();
        EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), expectedNames);
        qint64 recorded = 0;
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray bytes = testenv::readFile(folder + names.at(i)).chopped(128);
            const qint64 from = i == 0 ? 0 : audiofiles::frameSplit(sent.audio, sent.titles.at(i - 1).audioOffset);
            const qint64 to = i < sent.titles.size() ? audiofiles::frameSplit(sent.audio, sent.titles.at(i).audioOffset)
                                                     : sent.audio.size();
            const QByteArray expected = sent.audio.mid(from, to - from);
            if (i + 1 < names.size())
                EXPECT_EQ(bytes, expected) << i;
            else
                EXPECT_EQ(bytes, expected.left(bytes.size())) << "the last file holds what arrived before the stop";
            recorded += bytes.size();
        }
        recorded -= sent.header.size();
        EXPECT_GT(recorded, 59 * 16000);
        EXPECT_LT(recorded, 62 * 16000);
    }
}
