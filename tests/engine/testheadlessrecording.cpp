// The vorlane program itself, headless, recording a preset from the bundled
// test station: the files it leaves are compared with what the station sent.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <gtest/gtest.h>

#include "audiofiles.h"
#include "config/inivalues.h"

#include "eventwait.h"

#include <functional>

#include "engine/id3v1tag.h"
#include "testenv.h"
#include "teststation/station.h"

namespace
{

qint64 folderBytes(const QString &folder)
{
    qint64 total = 0;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files))
        total += info.size();
    return total;
}

// Starts `vorlane --headless` without a display on a title-mode preset that
// records the station's playlist into folder.
void startHeadless(QProcess &vorlane, const teststation::Station &station, const QString &folder,
                   const QByteArray &title)
{
    QDir().mkpath(folder);
    const QList<QByteArray> lines = {title, station.url("/listen.pls"), "SONGNAMEONLY", QFile::encodeName(folder), "S0",
                                     "0"};
    const QString preset =
        testenv::writeFile(folder + QStringLiteral("../") + QString::fromLatin1(title) + QStringLiteral(".mvr"),
                           lines.join("\r\n") + "\r\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    vorlane.setProcessEnvironment(env);
    vorlane.start(QStringLiteral(VORLANE_BINARY), {QStringLiteral("--headless"), preset});
}

} // namespace

TEST(HeadlessRecording, PresetFromTheCommandLineLeavesCompleteTaggedFiles)
{
    // Files as exact slices of the stream, cut at frames.
    setFileSplitSettings({false, 6, false});
    teststation::Stream stream;
    stream.pace = teststation::Stream::Pace::Fast;
    stream.metaInt = 4096;
    stream.titles = {"First Artist - First Song", "Second Artist - Second Song"};
    stream.titleEvery = 40000;
    stream.dropAfter = 70000;
    teststation::Config config;
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Test"}));
    teststation::Station station(config);
    ASSERT_TRUE(station.start());

    const QString folder = testenv::home() + QStringLiteral("/headless/");
    QProcess vorlane;
    startHeadless(vorlane, station, folder, "Headless FM");
    ASSERT_TRUE(vorlane.waitForStarted());

    // Everything the station sent reaches the disk as it arrives (no buffering),
    // so the files add up to the audio before the program ends.
    ASSERT_TRUE(waitUntil([&] { return station.connectionCount() == 2 && !station.connection(1).open; }, 20000));
    const teststation::ConnectionRecord &sent = station.connection(1);
    ASSERT_TRUE(waitUntil([&] { return folderBytes(folder) >= sent.audio.size(); }, 20000)) << folderBytes(folder);

    vorlane.terminate(); // the tray menu's exit: the open file gets its tag
    ASSERT_TRUE(vorlane.waitForFinished(10000));
    EXPECT_EQ(vorlane.exitCode(), 0);
    const QByteArray out = vorlane.readAllStandardOutput();
    EXPECT_TRUE(out.contains("Status: Connecting to Headless FM...\nStatus: Connecting to 127.0.0.1...\n"))
        << out.constData();

    ASSERT_EQ(sent.titles.size(), 2);
    const qint64 first = audiofiles::frameSplit(sent.audio, sent.titles.at(0).audioOffset);
    const qint64 second = audiofiles::frameSplit(sent.audio, sent.titles.at(1).audioOffset);
    const QDate day = QDate::currentDate();
    const QString date = day.toString(QStringLiteral("MMddyyyy"));
    const QString stationFile = QStringLiteral("Vorlane Test Station-") + date + QStringLiteral(".mp3");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              QStringList({QStringLiteral("First Artist - First Song.mp3"),
                           QStringLiteral("Second Artist - Second Song.mp3"), stationFile}));
    EXPECT_EQ(testenv::readFile(folder + stationFile),
              sent.audio.left(first) + buildId3v1Tag({{}, "Vorlane Test Station-" + date.toLatin1(), {}}, day));
    EXPECT_EQ(testenv::readFile(folder + QStringLiteral("First Artist - First Song.mp3")),
              sent.audio.mid(first, second - first) + buildId3v1Tag({"First Artist", "First Song", {}}, day));
    EXPECT_EQ(testenv::readFile(folder + QStringLiteral("Second Artist - Second Song.mp3")),
              sent.audio.mid(second) + buildId3v1Tag({"Second Artist", "Second Song", {}}, day));
}

// A recording folder removed while the program records: it says so on standard
// error and ends with status 1 instead of recording into nothing.
TEST(HeadlessRecording, RemovedFolderEndsTheRunWithStatusOne)
{
    teststation::Stream stream;
    stream.pace = teststation::Stream::Pace::RealTime;
    stream.burstBytes = 20000;
    stream.metaInt = 4096;
    stream.titles = {"Some Artist - Some Song"};
    teststation::Config config;
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Test"}));
    teststation::Station station(config);
    ASSERT_TRUE(station.start());

    const QString folder = testenv::home() + QStringLiteral("/vanishing/");
    QProcess vorlane;
    startHeadless(vorlane, station, folder, "Vanishing FM");
    ASSERT_TRUE(vorlane.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return folderBytes(folder) > 0; }, 20000));
    ASSERT_TRUE(QDir(folder).removeRecursively());

    ASSERT_TRUE(waitUntil([&] { return vorlane.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(vorlane.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(vorlane.exitCode(), 1);
    const QByteArray err = vorlane.readAllStandardError();
    const QByteArray expected = "Cannot write the recording file: " + QFile::encodeName(folder);
    EXPECT_TRUE(err.contains(expected)) << err.constData();
}

// A run that records nothing ends with status 1 even when its preset asks to
// stay open: every server refused, or none could be reached.
TEST(HeadlessRecording, RunThatRecordsNothingEndsWithStatusOne)
{
    quint16 closed = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closed = probe.serverPort();
    }
    teststation::Config config;
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/missing"}, {"Test"}));
    config.pages.insert("/gone.pls", teststation::Page::pls({"http://127.0.0.1:" + QByteArray::number(closed) + "/"}));
    teststation::Station station(config);
    ASSERT_TRUE(station.start());
    for (const QByteArray &playlist : {QByteArray("/listen.pls"), QByteArray("/gone.pls")}) {
        SCOPED_TRACE(playlist.constData());
        const QString folder = testenv::home() + QStringLiteral("/nothing") + QString::fromLatin1(playlist);
        QDir().mkpath(folder);
        const QList<QByteArray> lines = {"Nothing FM",
                                         station.url(playlist),
                                         "FILENAME none.mp3",
                                         QFile::encodeName(folder + QLatin1Char('/')),
                                         "S0",
                                         "0"};
        const QString preset = testenv::writeFile(folder + QStringLiteral(".mvr"), lines.join("\r\n") + "\r\n");
        QProcess vorlane;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        vorlane.setProcessEnvironment(env);
        vorlane.start(QStringLiteral(VORLANE_BINARY), {QStringLiteral("--headless"), preset});
        ASSERT_TRUE(vorlane.waitForFinished(20000));
        EXPECT_EQ(vorlane.exitCode(), 1) << vorlane.readAllStandardError().constData();
    }
}
