// Clean-up of old dated archive recordings.
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "app/programcontext.h"
#include "config/preset.h"
#include "engine/archivecleanup.h"
#include "engine/recorder.h"
#include "engine/recordingnames.h"
#include "engine/streamtype.h"
#include "fakeclock.h"
#include "recorderfixture.h"
#include "testenv.h"

namespace
{

class Cleanup : public RecorderFixture
{
protected:
    void SetUp() override
    {
        RecorderFixture::SetUp();
        loadRecorder(3, QStringLiteral("Morning"));
    }

    // A dated archive file of the day that many days before the fake today.
    QString archive(int daysAgo, const QByteArray &prefix = "Morning")
    {
        const QByteArray name = engine::datedFileName(prefix, clock.now().date().addDays(-daysAgo));
        return create(QFile::decodeName(name));
    }
    void clean() { engine::deleteOldArchives(program().configuration(), clock.now()); }
    QString create(const QString &name)
    {
        testenv::writeFile(folder + name, "audio");
        return name;
    }
};

} // namespace

TEST_F(Cleanup, DeletesArchivesOlderThanTheDaysToKeep)
{
    const QString old = archive(40);
    const QString recent = archive(10);
    const QString exactly = archive(30); // its midnight lies before today's noon minus 30 days
    const QString dayAfter = archive(29);
    const QString oldAac = create(QStringLiteral("Morning-01012020.aac"));
    const QString oldOgg = create(QStringLiteral("Morning-01022020.ogg"));
    const QString notAudio = create(QStringLiteral("Morning-01012020.wav"));
    const QString outOfRange = create(QStringLiteral("Morning-13402020.mp3"));
    const QString dayForty = create(QStringLiteral("Morning-01402020.mp3"));
    const QString february30 = create(QStringLiteral("Morning-02302020.mp3"));
    const QString blank = create(QStringLiteral("Morning- 1012020.mp3"));
    QDir().mkpath(folder + QStringLiteral("Morning-01032020.mp3")); // a folder, not a recording
    clean();
    QStringList kept = {dayForty, february30, blank, outOfRange, dayAfter, recent, notAudio};
    kept.sort();
    EXPECT_EQ(files(), kept);
    for (const QString &name : {old, exactly, oldAac, oldOgg})
        EXPECT_FALSE(files().contains(name)) << qPrintable(name);
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("Morning-01032020.mp3")).isDir());
}

// Presets share folders: each deletes its own archives only, whatever the
// others keep, and never a song or a user's file that happens to end in a date.
TEST_F(Cleanup, OtherPrefixesSongsAndUsersFilesAreLeftAlone)
{
    program().configuration().recordingFileName = QStringLiteral("Talk: Live?");
    // The prefix is cleaned like every name.
    const QByteArray dated = engine::datedFileName("Talk: Live?", clock.now().date().addDays(-100));
    const QString own = create(engine::recordingFileName(engine::withStreamExtension(dated, engine::StreamType::Aac)));
    EXPECT_TRUE(own.startsWith(QStringLiteral("Talk Live-"))) << qPrintable(own);
    const QStringList others = {
        archive(365, "Evening show"),
        archive(365, "Talk Live? extra"),
        archive(365, "Morning"),
        create(QStringLiteral("Live at the Hall 07041999.mp3")),
        create(QStringLiteral("My holiday 12252019.mp3")),
        create(QStringLiteral("Talk Live-01012020 (2).mp3")),
        create(QStringLiteral("01012020.mp3")),
        create(QStringLiteral("-01012020.mp3")),
    };
    clean();
    QStringList kept = others;
    kept.sort();
    EXPECT_EQ(files(), kept);
    EXPECT_FALSE(files().contains(own));
}

TEST_F(Cleanup, ExactlyTheDaysToKeepAtMidnightIsKept)
{
    clock.setNow(QDateTime(QDate(2026, 3, 7), QTime(0, 0, 0)));
    const QString exactly = archive(30);
    archive(31);
    clean();
    EXPECT_EQ(files(), QStringList(exactly));
}

TEST_F(Cleanup, NothingIsDeletedWhenSwitchedOffOrTheFolderIsMissing)
{
    const QString old = archive(400);
    Preset &config = program().configuration();
    config.daysToKeep = 0;
    clean();
    // The setup window's check box switches it off and leaves the days as they were.
    config.daysToKeep = 30;
    config.deleteOldArchives = false;
    clean();
    // A negative number of days would delete every archive, today's included.
    config.deleteOldArchives = true;
    config.daysToKeep = -5;
    clean();
    EXPECT_EQ(files(), QStringList(old));

    config.daysToKeep = 30;
    config.saveFolder = folder + QStringLiteral("missing/");
    clean();
    EXPECT_EQ(files(), QStringList(old));
    EXPECT_TRUE(ui.messages.isEmpty());
}

TEST_F(Cleanup, RunsWhenAnArchiveRecordingIsPreparedOnly)
{
    const QString old = archive(40);
    Preset &config = program().configuration();
    config.playlistAddress = QStringLiteral("http://127.0.0.1:1/none.pls");
    config.captureMode = 2;
    engine->start({program().configuration(), {}, false, false, QString()});
    EXPECT_EQ(files(), QStringList(old));
    config.captureMode = 3;
    engine->start({program().configuration(), {}, false, false, QString()});
    EXPECT_TRUE(files().isEmpty());
}
