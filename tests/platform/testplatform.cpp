#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <QObject>

#include <memory>

#include "eventwait.h"
#include "fakeclock.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/paths.h"
#include "testenv.h"

TEST(Clock, FakeTimedCallsComeInOrderOnTheWay)
{
    FakeClock clock;
    const qint64 start = clock.monotonicMs();
    QStringList calls;
    QObject context;
    clock.callAfter(700, &context, [&] { calls << QStringLiteral("700 at %1").arg(clock.monotonicMs() - start); });
    clock.callAfter(200, &context, [&] { calls << QStringLiteral("200"); });
    const platform::Clock::CallId cancelled = clock.callAfter(300, &context, [&] { calls << QStringLiteral("300"); });
    clock.cancelCall(cancelled);
    clock.advance(1000);
    EXPECT_EQ(clock.monotonicMs() - start, 1000);
    EXPECT_EQ(calls, QStringList({QStringLiteral("200"), QStringLiteral("700 at 700")}));
    EXPECT_FALSE(clock.hasPendingCalls());
}

TEST(Clock, FakeClockMovesByItselfOnlyWhileCallsWaitAndDropsCallsOfDeadContexts)
{
    FakeClock clock;
    const qint64 start = clock.monotonicMs();
    bool came = false;
    auto context = std::make_unique<QObject>();
    clock.callAfter(90000, context.get(), [] { FAIL() << "the context has gone"; });
    clock.callAfter(500, context.get(), [&] { came = clock.monotonicMs() - start == 500; });
    ASSERT_TRUE(waitUntil([&] { return came; }));
    context.reset();
    const qint64 left = clock.monotonicMs();
    settle(30);
    EXPECT_EQ(clock.monotonicMs(), left) << "nothing waits any more";
}

TEST(Clock, SystemClockMovesForwardAndCallsLater)
{
    platform::SystemClock clock;
    QObject context;
    const qint64 before = clock.monotonicMs();
    qint64 calledAt = 0;
    bool cancelledCame = false;
    const platform::Clock::CallId id = clock.callAfter(5, &context, [&] { cancelledCame = true; });
    clock.cancelCall(id);
    clock.callAfter(20, &context, [&] { calledAt = clock.monotonicMs(); });
    ASSERT_TRUE(waitUntil([&] { return calledAt != 0; }));
    settle(20);
    const qint64 elapsed = calledAt - before;
    EXPECT_GE(elapsed, 19);
    EXPECT_LT(elapsed, 5000);
    EXPECT_FALSE(cancelledCame);
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
