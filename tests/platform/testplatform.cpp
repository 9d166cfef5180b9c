#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "fakeclock.h"
#include "platform/clock.h"
#include "platform/eventpump.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "testenv.h"

TEST(Clock, FakeTickCountWrapsLikeTheSignedCounter)
{
    FakeClock clock(2147483000);
    clock.advance(1000);
    EXPECT_EQ(platform::clock().tickCount(), -2147483296);
    clock.sleep(500);
    EXPECT_EQ(clock.totalSlept(), 500);
    EXPECT_EQ(platform::clock().tickCount(), -2147482796);
}

TEST(Clock, SystemClockMovesForwardAndSleeps)
{
    platform::SystemClock clock;
    const qint32 before = clock.tickCount();
    clock.sleep(20);
    const qint32 after = clock.tickCount();
    // Unsigned difference copes with a wrap between the two readings.
    const quint32 elapsed = static_cast<quint32>(after) - static_cast<quint32>(before);
    EXPECT_GE(elapsed, 19u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(WaitGuard, SecondWaitOnTheSameFlagIsRefused)
{
    bool waiting = false;
    {
        platform::WaitGuard outer(waiting);
        EXPECT_TRUE(outer.entered());
        EXPECT_EQ(platform::WaitGuard::activeWaits(), 1);
        platform::WaitGuard inner(waiting);
        EXPECT_FALSE(inner.entered());
        EXPECT_EQ(platform::WaitGuard::activeWaits(), 1);
    }
    EXPECT_FALSE(waiting);
    EXPECT_EQ(platform::WaitGuard::activeWaits(), 0);
    platform::WaitGuard again(waiting);
    EXPECT_TRUE(again.entered());
}

TEST(Paths, DistinguishFilesFromFolders)
{
    const QString folder = testenv::home() + QStringLiteral("/paths");
    const QString file = testenv::writeFile(folder + QStringLiteral("/a.mvr"), "x");
    EXPECT_TRUE(platform::fileExists(file));
    EXPECT_FALSE(platform::fileExists(folder));
    EXPECT_TRUE(platform::folderExists(folder));
    EXPECT_FALSE(platform::folderExists(file));
    EXPECT_TRUE(platform::pathExists(file));
    EXPECT_TRUE(platform::pathExists(folder));
    EXPECT_FALSE(platform::pathExists(folder + QStringLiteral("/missing")));
    EXPECT_FALSE(platform::pathExists(QString()));
    EXPECT_EQ(platform::withTrailingSeparator(folder), folder + QDir::separator());
    EXPECT_EQ(platform::withTrailingSeparator(folder + QDir::separator()), folder + QDir::separator());
}

TEST(Folders, ProgramFolderFollowsVorlaneHomeAndIsCreated)
{
    const QString custom = testenv::home() + QStringLiteral("/portable");
    const QByteArray saved = qgetenv("VORLANE_HOME");
    qputenv("VORLANE_HOME", QFile::encodeName(custom));
    EXPECT_EQ(platform::programFolder(), custom);
    EXPECT_TRUE(platform::folderExists(custom));
    EXPECT_EQ(platform::programFile(QStringLiteral("Kestrane.ini")), custom + QStringLiteral("/Kestrane.ini"));

    qunsetenv("VORLANE_HOME");
    EXPECT_EQ(platform::programFolder(), testenv::home() + QStringLiteral("/.config/vorlane"));
    qputenv("VORLANE_HOME", saved);
}

TEST(Folders, MusicAndDocumentsComeFromTheUserHome)
{
    EXPECT_TRUE(platform::musicFolder().startsWith(testenv::home()));
    EXPECT_TRUE(platform::documentsFolder().startsWith(testenv::home()));
}
