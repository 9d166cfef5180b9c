#pragma once

#include <QByteArrayList>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/id3v1tag.h"
#include "engine/recorder.h"
#include "recordertestpeer.h"
#include "testenv.h"
#include "testprogram.h"
#include "teststation/station.h"

// What every recorder test starts from: a fresh program on a fake clock, a front
// end that keeps what it is told, and an empty recording folder. Recordings
// start either the way a user starts them (a preset naming a playlist of the
// bundled test station) or from servers the test adds itself.
class RecorderFixture : public ::testing::Test, protected TestProgram
{
protected:
    void SetUp() override
    {
        setBrowserAgentEnabled(false);
        setReconnectPeriodMinutes(kDefaultReconnectMinutes);
        // Files as exact slices of the stream, cut at frames: the pause search and
        // ID3v2 tags have tests of their own.
        setFileSplitSettings({false, 6, false});
        static int folderNumber = 0;
        folder = testenv::home() + QStringLiteral("/recordings%1/").arg(++folderNumber);
        QDir().mkpath(folder);
    }
    void TearDown() override
    {
        if (Recorder *recorder = program().recorder(); recorder && recorder->isRecording())
            recorder->stopRecording();
        restartProgram();
    }

    // The preset record for a recording into the folder, then the recorder.
    // With manualTicks the test ticks its supervisor itself.
    Recorder *loadRecorder(qint32 captureMode, const QString &fileName = QString(), bool manualTicks = true)
    {
        Preset &record = program().configuration();
        record.reset();
        record.saveFolder = folder;
        record.stationTitle = QStringLiteral("Test Station");
        record.captureMode = captureMode;
        record.recordingFileName = fileName;
        record.listenAtStart = false;
        record.timeLimited = false;
        record.exitAfterRecording = false;
        engine = program().loadRecorder();
        RecorderTestPeer(*engine).readEveryPacket();
        if (manualTicks)
            inside(engine).setAutomaticSupervision(false);
        return engine;
    }

    // Starts the station with the configuration built so far (once).
    teststation::Station &startStation()
    {
        if (!station) {
            station = std::make_unique<teststation::Station>(config);
            EXPECT_TRUE(station->start());
        }
        return *station;
    }

    // Writes a preset of these lines (title, playlist, mode, folder, minutes,
    // days) and opens it, the way a command-line start does.
    Recorder *openPreset(const QByteArrayList &lines, const QString &name = QStringLiteral("preset.mvr"))
    {
        const QString preset = testenv::writeFile(folder + QStringLiteral("../") + name, lines.join("\r\n") + "\r\n");
        engine = program().loadRecorder();
        RecorderTestPeer(*engine).readEveryPacket();
        QString path = preset;
        EXPECT_TRUE(inside(engine).openFile(path, program().configuration()));
        return engine;
    }
    // A preset recording this station's playlist into the folder without a time limit.
    QByteArrayList presetLines(const QByteArray &title, const QByteArray &playlist, const QByteArray &modeLine) const
    {
        return {title, station->url(playlist), modeLine, QFile::encodeName(folder), "S0", "0"};
    }

    QByteArray file(const QByteArray &name) const { return testenv::readFile(folder + QFile::decodeName(name)); }
    // Hidden files too: a title must never make one.
    QStringList files() const { return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    static QByteArray tagFor(const QByteArray &artist, const QByteArray &title)
    {
        return buildId3v1Tag({artist, title, {}}, QDate(2026, 3, 7));
    }

    QString folder;
    teststation::Config config;
    std::unique_ptr<teststation::Station> station;
    Recorder *engine = nullptr;
};
