#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include "eventwait.h"
#include "fakeservicemanager.h"
#include "platform/recordingscheduler.h"
#include "testenv.h"
#include "unitreader.h"

namespace
{

using platform::RecordingScheduler;

using FakeManager = FakeServiceManager;

class Scheduler : public ::testing::Test
{
protected:
    RecordingScheduler::Result add(const QString &name, const QDateTime &at,
                                   RecordingScheduler::Repeat repeat = RecordingScheduler::Repeat::Once)
    {
        std::optional<RecordingScheduler::Result> result;
        scheduler.add(name, play, at, repeat, 90, &context,
                      [&](RecordingScheduler::Result r, const QString &) { result = r; });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
        return result.value_or(RecordingScheduler::Result::Failed);
    }
    QString unitFile(const QString &base, const char *suffix) const
    {
        return QString::fromUtf8(testenv::readFile(folder.path() + QLatin1Char('/') + base + QLatin1String(suffix)));
    }

    QTemporaryDir folder;
    FakeManager manager;
    QObject context;
    const QString play = QStringLiteral("/home/me/Radio/Night Jazz \"live\" 100%.mvr");
    RecordingScheduler scheduler{manager, folder.path(), QStringLiteral("/usr/bin/vorlane")};
    const QDateTime at{QDate(2026, 12, 24), QTime(20, 15, 0)};
};

} // namespace

TEST_F(Scheduler, UnitNamesFollowSystemdEscape)
{
    EXPECT_EQ(RecordingScheduler::unitBase(QStringLiteral("Task 1")), QStringLiteral("vorlane-Task\\x201"));
    EXPECT_EQ(RecordingScheduler::unitBase(QStringLiteral("a/b-c.d")), QStringLiteral("vorlane-a-b\\x2dc.d"));
    EXPECT_EQ(RecordingScheduler::unitBase(QStringLiteral(".Café")), QStringLiteral("vorlane-\\x2eCaf\\xc3\\xa9"));
    const QString systemdEscape = QStandardPaths::findExecutable(QStringLiteral("systemd-escape"));
    if (systemdEscape.isEmpty())
        return;
    for (const QString &name : {QStringLiteral("Task 1"), QStringLiteral("a/b-c.d"), QStringLiteral("Jazz & Blues!")}) {
        QProcess escape;
        escape.start(systemdEscape, {name});
        ASSERT_TRUE(escape.waitForFinished(5000));
        EXPECT_EQ(RecordingScheduler::unitBase(name),
                  QStringLiteral("vorlane-") + QString::fromUtf8(escape.readAllStandardOutput()).trimmed());
    }
}

TEST_F(Scheduler, AddWritesBothUnitsThenReloadsAndEnablesAndReadsThemBack)
{
    ASSERT_EQ(add(QStringLiteral("Task 1"), at, RecordingScheduler::Repeat::Weekly), RecordingScheduler::Result::Added);
    const QString base = QStringLiteral("vorlane-Task\\x201");
    EXPECT_EQ(manager.calls, QStringList({QStringLiteral("daemon-reload"),
                                          QStringLiteral("enable --now ") + base + QStringLiteral(".timer")}));
    const QString timer = unitFile(base, ".timer");
    EXPECT_TRUE(timer.contains(QStringLiteral("Description=Task 1\n")));
    EXPECT_TRUE(
        timer.contains(QStringLiteral("OnCalendar=Thu 2026-12-24..31 20:15:00\nOnCalendar=Thu 2027/1-*-* 20:15:00\n")));
    EXPECT_TRUE(timer.contains(QStringLiteral("AccuracySec=1s\nPersistent=true\n")));
    EXPECT_TRUE(timer.contains(QStringLiteral("Unit=") + base + QStringLiteral(".service\n")));
    const QString service = unitFile(base, ".service");
    EXPECT_TRUE(service.contains(
        QStringLiteral("ExecStart=\"/usr/bin/vorlane\" \"/home/me/Radio/Night Jazz \\\"live\\\" 100%%.mvr\"\n")))
        << qPrintable(service);

    const QList<RecordingScheduler::Task> tasks = scheduler.tasks();
    ASSERT_EQ(tasks.size(), 1);
    EXPECT_EQ(tasks[0].name, QStringLiteral("Task 1"));
    EXPECT_EQ(tasks[0].play, play);
    EXPECT_EQ(tasks[0].at, at);
    EXPECT_EQ(tasks[0].repeat, RecordingScheduler::Repeat::Weekly);
    EXPECT_EQ(tasks[0].minutes, 90);
    // The manager ends a run that outlives its recording by far.
    EXPECT_TRUE(service.contains(QStringLiteral("\nRuntimeMaxSec=6300\n")));
    EXPECT_EQ(RecordingScheduler::nextRun(tasks[0], QDateTime(QDate(2027, 1, 1), QTime(9, 0))),
              QDateTime(QDate(2027, 1, 7), QTime(20, 15, 0)));

    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        return;
    // Every expression parses, and the first run is the chosen one, also for a
    // repeat whose weekday or time comes round sooner. systemd counts from now.
    const QDateTime first(QDate::currentDate().addDays(16), QTime(20, 15));
    for (const auto repeat :
         {RecordingScheduler::Repeat::Once, RecordingScheduler::Repeat::Daily, RecordingScheduler::Repeat::Weekly}) {
        QProcess calendar;
        calendar.start(analyze, QStringList{QStringLiteral("calendar"), QStringLiteral("--iterations=1")} +
                                    RecordingScheduler::calendars(first, repeat));
        ASSERT_TRUE(calendar.waitForFinished(10000));
        EXPECT_EQ(calendar.exitCode(), 0) << calendar.readAllStandardError().constData();
        QList<QDateTime> elapses;
        for (const QByteArray &line : calendar.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() >= 5 && words[0] == "Next" && words[1] == "elapse:")
                elapses.append(QDateTime::fromString(QString::fromLatin1(words[3] + ' ' + words[4]),
                                                     QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        }
        ASSERT_FALSE(elapses.isEmpty());
        EXPECT_EQ(*std::min_element(elapses.begin(), elapses.end()), first) << static_cast<int>(repeat);
    }
    // verify reads the units as the user manager would (an unknown ExecStart
    // program would be reported, so the real shell stands in for the program).
    RecordingScheduler real(manager, folder.path() + QStringLiteral("/verify"), QStringLiteral("/bin/true"));
    QDir().mkpath(folder.path() + QStringLiteral("/verify"));
    // With the bytes that would break a unit written naively.
    real.setWorkingFolder(folder.path() + QStringLiteral("/100% $x"));
    QDir().mkpath(folder.path() + QStringLiteral("/100% $x"));
    real.setEnvironment({QStringLiteral("VORLANE_HOME=/a \"b\" 50% $HOME")});
    ASSERT_EQ(RecordingScheduler::Result::Added, [&] {
        std::optional<RecordingScheduler::Result> result;
        real.add(QStringLiteral("Verify"), play + QStringLiteral("\n[Service]\nExecStartPre=/bin/false\\"), at,
                 RecordingScheduler::Repeat::Daily, 90, &context,
                 [&](RecordingScheduler::Result r, const QString &) { result = r; });
        waitUntil([&] { return result.has_value(); });
        return result.value_or(RecordingScheduler::Result::Failed);
    }());
    // verify needs a runtime folder of its own where no user session runs.
    QDir().mkpath(folder.path() + QStringLiteral("/run"));
    QFile::setPermissions(folder.path() + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.path() + QStringLiteral("/run"));
    QProcess verify;
    verify.setProcessEnvironment(environment);
    verify.setWorkingDirectory(folder.path() + QStringLiteral("/verify"));
    verify.start(analyze, {QStringLiteral("verify"), QStringLiteral("--user"), QStringLiteral("vorlane-Verify.timer"),
                           QStringLiteral("vorlane-Verify.service")});
    ASSERT_TRUE(verify.waitForFinished(20000));
    const QByteArray complaints = verify.readAllStandardError();
    EXPECT_EQ(verify.exitCode(), 0) << complaints.constData();
    EXPECT_FALSE(complaints.contains("vorlane-Verify")) << complaints.constData();
}

TEST_F(Scheduler, ClashNoSessionFailureAndRemoval)
{
    ASSERT_EQ(add(QStringLiteral("Task 1"), at), RecordingScheduler::Result::Added);
    EXPECT_EQ(add(QStringLiteral("Task 1"), at.addDays(1)), RecordingScheduler::Result::Exists);
    EXPECT_EQ(scheduler.tasks().size(), 1);

    manager.running = false;
    EXPECT_EQ(add(QStringLiteral("Task 2"), at), RecordingScheduler::Result::NoManager);
    EXPECT_EQ(scheduler.tasks().size(), 1) << "nothing is written without a user session";
    manager.running = true;

    manager.failing = QStringLiteral("--now");
    EXPECT_EQ(add(QStringLiteral("Task 3"), at), RecordingScheduler::Result::Failed);
    EXPECT_EQ(scheduler.tasks().size(), 1) << "a task the manager refused leaves no units";
    manager.failing.clear();

    manager.calls.clear();
    std::optional<RecordingScheduler::Result> removed;
    scheduler.remove(QStringLiteral("vorlane-Task\\x201"), &context,
                     [&](RecordingScheduler::Result r, const QString &) { removed = r; });
    ASSERT_TRUE(waitUntil([&] { return removed.has_value(); }));
    EXPECT_EQ(*removed, RecordingScheduler::Result::Removed);
    EXPECT_EQ(manager.calls,
              QStringList({QStringLiteral("disable --now vorlane-Task\\x201.timer"), QStringLiteral("daemon-reload")}));
    EXPECT_FALSE(QFile::exists(folder.path() + QStringLiteral("/vorlane-Task\\x201.timer")));
    EXPECT_FALSE(QFile::exists(folder.path() + QStringLiteral("/vorlane-Task\\x201.service")));
}

// Task names, arguments and paths that try to end a line, join lines, add a
// directive or change a value through specifiers and variables: each comes
// back from a systemd-style reading exactly as given, in its own key.
TEST_F(Scheduler, NoByteOfANameOrPathLeavesItsValue)
{
    const QString names[] = {
        QString::fromUtf8(QByteArray("Show\0[Service]\0ExecStartPre=/usr/bin/touch /tmp/x", 49)),
        QStringLiteral("Show\r\n[Service]\nExecStartPre=/bin/true"),
        QStringLiteral("Ends in a backslash\\"),
        QStringLiteral("100% %n $HOME \"quoted\" 'single' \\\\"),
    };
    const QString plays[] = {
        QStringLiteral("/radio/a\"b\\c $HOME ${X} %h.mvr"),
        QStringLiteral("/radio/line\nExecStartPre=/bin/true\r.mvr"),
        QStringLiteral("/radio/ends in\\"),
    };
    const QString program = QStringLiteral("/opt/Vor lane\n[Service]\nExecStartPre=/bin/true/\"vor%lane$\"");
    RecordingScheduler hostile(manager, folder.path(), program);
    hostile.setWorkingFolder(QStringLiteral("/home/me/100% radio/$x"));
    hostile.setEnvironment({QStringLiteral("VORLANE_HOME=/home/me/a \"b\"\\ 50%")});
    for (const QString &name : names) {
        for (const QString &argument : plays) {
            const RecordingScheduler::Task task{name, RecordingScheduler::unitBase(name), argument,
                                                at,   RecordingScheduler::Repeat::Daily,  30};
            const std::optional<QString> service = hostile.serviceText(task);
            ASSERT_TRUE(service.has_value());
            QStringList keys;
            for (const auto &entry : unitreader::read(service->toUtf8())) {
                keys.append(entry.section + QLatin1Char('/') + entry.key);
                if (entry.key == QStringLiteral("ExecStart")) {
                    EXPECT_EQ(unitreader::words(entry.value, true), (QStringList{program, argument}));
                } else if (entry.key == QStringLiteral("WorkingDirectory")) {
                    EXPECT_EQ(unitreader::undoubled(entry.value, QLatin1Char('%')),
                              QStringLiteral("/home/me/100% radio/$x"));
                } else if (entry.key == QStringLiteral("Environment")) {
                    EXPECT_EQ(unitreader::words(entry.value, false),
                              QStringList{QStringLiteral("VORLANE_HOME=/home/me/a \"b\"\\ 50%")});
                } else if (entry.key == QStringLiteral("Description")) {
                    EXPECT_TRUE(unitreader::undoubled(entry.value, QLatin1Char('%')).has_value())
                        << qPrintable(entry.value);
                }
            }
            EXPECT_EQ(keys,
                      (QStringList{QStringLiteral("Unit/Description"), QStringLiteral("Unit/X-Vorlane-Play"),
                                   QStringLiteral("Unit/X-Vorlane-At"), QStringLiteral("Unit/X-Vorlane-Repeat"),
                                   QStringLiteral("Unit/X-Vorlane-Minutes"), QStringLiteral("Service/Type"),
                                   QStringLiteral("Service/WorkingDirectory"), QStringLiteral("Service/Environment"),
                                   QStringLiteral("Service/ExecStart"), QStringLiteral("Service/RuntimeMaxSec")}))
                << qPrintable(*service);
            QStringList timerKeys;
            for (const auto &entry : unitreader::read(hostile.timerText(task).toUtf8()))
                timerKeys.append(entry.section + QLatin1Char('/') + entry.key);
            EXPECT_EQ(timerKeys.first(), QStringLiteral("Unit/Description"));
            EXPECT_EQ(timerKeys.count(QStringLiteral("Unit/Description")), 1);
            EXPECT_FALSE(timerKeys.contains(QStringLiteral("Service/ExecStartPre")));
        }
    }

    // The argument is read back exactly for the page's list.
    ASSERT_EQ(add(QStringLiteral("Exact"), at), RecordingScheduler::Result::Added);
    RecordingScheduler reader(manager, folder.path(), QStringLiteral("/usr/bin/vorlane"));
    std::optional<RecordingScheduler::Result> result;
    reader.add(QStringLiteral("Odd"), plays[1], at, RecordingScheduler::Repeat::Once, 30, &context,
               [&](RecordingScheduler::Result r, const QString &) { result = r; });
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    ASSERT_EQ(*result, RecordingScheduler::Result::Added);
    QStringList read;
    for (const RecordingScheduler::Task &task : reader.tasks())
        read.append(task.play);
    EXPECT_TRUE(read.contains(plays[1]));

    // What a unit cannot express is refused, and nothing is written.
    const auto refused = [&](RecordingScheduler &scheduler, const QString &argument) {
        std::optional<RecordingScheduler::Result> outcome;
        scheduler.add(QStringLiteral("Refused"), argument, at, RecordingScheduler::Repeat::Once, 30, &context,
                      [&](RecordingScheduler::Result r, const QString &) { outcome = r; });
        return outcome == RecordingScheduler::Result::Failed &&
               !QFile::exists(folder.path() + QStringLiteral("/vorlane-Refused.service"));
    };
    EXPECT_TRUE(refused(scheduler, QString::fromUtf8(QByteArray("/radio/nul\0.mvr", 15))));
    RecordingScheduler relative(manager, folder.path(), QStringLiteral("vorlane"));
    EXPECT_TRUE(refused(relative, play));
    RecordingScheduler badFolder(manager, folder.path(), QStringLiteral("/usr/bin/vorlane"));
    badFolder.setWorkingFolder(QStringLiteral("/home/me/line\nbreak"));
    EXPECT_TRUE(refused(badFolder, play));
    RecordingScheduler badVariable(manager, folder.path(), QStringLiteral("/usr/bin/vorlane"));
    badVariable.setEnvironment({QStringLiteral("VORLANE_HOME=/a\nExecStartPre=/bin/true")});
    EXPECT_TRUE(refused(badVariable, play));
}
