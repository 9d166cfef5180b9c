// The Scheduler page against a fake user manager: the name prompt and its
// cancel, the clash warning, removal, fields that cannot be read, no user
// session, and dates in the user's locale formats.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <tuple>

#include "eventwait.h"
#include "fakeclock.h"
#include "fakeservicemanager.h"
#include "recordingfrontend.h"
#include "testenv.h"
#include "ui/schedulerpage.h"

namespace
{

using platform::RecordingScheduler;

class SchedulerPageTest : public ::testing::Test
{
protected:
    SchedulerPageTest() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    ~SchedulerPageTest() override { QLocale::setDefault(QLocale::system()); }
    void SetUp() override
    {
        page = std::make_unique<SchedulerPage>();
        page->useManager(manager, units.path(), QStringLiteral("/usr/bin/vorlane"));
    }

    template <typename T> T *child(const char *name) const
    {
        T *found = page->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTreeWidget *list() const { return child<QTreeWidget>("scheduledTasks"); }
    void fill(const QString &date, const QString &time, int repeat = 0)
    {
        child<QLineEdit>("scheduleDate")->setText(date);
        child<QLineEdit>("scheduleTime")->setText(time);
        child<QComboBox>("scheduleRepeat")->setCurrentIndex(repeat);
    }
    QInputDialog *prompt() const
    {
        auto *dialog = page->findChild<QInputDialog *>(QStringLiteral("taskNamePrompt"));
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }
    // Presses Add and answers the prompt with a name; false when no prompt came.
    bool addNamed(const QString &name)
    {
        page->addTask();
        QInputDialog *dialog = prompt();
        if (!dialog)
            return false;
        dialog->setTextValue(name);
        dialog->accept();
        return true;
    }
    QStringList unitFiles() const { return QDir(units.path()).entryList(QDir::Files, QDir::Name); }

    FakeClock clock{1000000, QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    RecordingFrontEnd frontEnd;
    FakeServiceManager manager;
    QTemporaryDir units;
    std::unique_ptr<SchedulerPage> page;
    const QString play = QStringLiteral("http://127.0.0.1:8000/listen.pls");
};

} // namespace

TEST_F(SchedulerPageTest, CancelAddClashAndRemove)
{
    page->setPlay(play);
    fill(QStringLiteral("24/12/2026"), QStringLiteral("20:15"), 2);
    page->addTask();
    ASSERT_NE(prompt(), nullptr);
    EXPECT_EQ(prompt()->windowTitle(), QStringLiteral("Add Task"));
    EXPECT_EQ(prompt()->labelText(), QStringLiteral("Enter TaskName :"));
    EXPECT_EQ(prompt()->textValue(), QStringLiteral("Task 1"));
    prompt()->reject();
    settle(20);
    EXPECT_TRUE(frontEnd.messages.isEmpty()) << "a cancel shows nothing";
    EXPECT_TRUE(manager.calls.isEmpty());
    EXPECT_TRUE(unitFiles().isEmpty());

    // What is scheduled is the fields as they were when Add was pressed.
    page->addTask();
    child<QLineEdit>("scheduleTime")->setText(QStringLiteral("06:00"));
    ASSERT_NE(prompt(), nullptr);
    prompt()->setTextValue(QStringLiteral("Night Jazz"));
    prompt()->accept();
    ASSERT_TRUE(waitUntil([&] { return !frontEnd.messages.isEmpty(); }));
    EXPECT_EQ(frontEnd.messages, QStringList{QStringLiteral("Added Scheduled Task")});
    EXPECT_EQ(manager.calls, (QStringList{QStringLiteral("daemon-reload"),
                                          QStringLiteral("enable --now vorlane-Night\\x20Jazz.timer")}));
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    const QTreeWidgetItem *row = list()->topLevelItem(0);
    EXPECT_EQ((QStringList{row->text(0), row->text(1), row->text(2), row->text(3)}),
              (QStringList{QStringLiteral("Night Jazz"), QStringLiteral("24/12/2026 20:15"),
                           QStringLiteral("Weekly, Thu"), play}));

    // The same name again: a warning, and the first task stays as it was.
    const QString timerPath = units.filePath(QStringLiteral("vorlane-Night\\x20Jazz.timer"));
    const QByteArray timer = testenv::readFile(timerPath);
    ASSERT_TRUE(addNamed(QStringLiteral("Night Jazz")));
    QMessageBox *box = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        box = page->findChild<QMessageBox *>(QStringLiteral("scheduleWarning"));
        return box && box->isVisible();
    }));
    EXPECT_EQ(box->text(), QStringLiteral("The task already exists. Please enter a new name"));
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(frontEnd.messages.size(), 1);
    EXPECT_EQ(manager.calls.size(), 2) << "nothing more was asked of the manager";
    EXPECT_EQ(testenv::readFile(timerPath), timer);

    manager.calls.clear();
    list()->topLevelItem(0)->setSelected(true);
    child<QPushButton>("removeTask")->click();
    ASSERT_TRUE(waitUntil([&] { return list()->topLevelItemCount() == 0; }));
    EXPECT_EQ(manager.calls, (QStringList{QStringLiteral("disable --now vorlane-Night\\x20Jazz.timer"),
                                          QStringLiteral("daemon-reload")}));
    EXPECT_TRUE(unitFiles().isEmpty());
    EXPECT_FALSE(child<QPushButton>("removeTask")->isEnabled()) << "nothing left to select";
}

TEST_F(SchedulerPageTest, FieldsThatCannotBeReadAPassedTimeOrNoSessionCreateNothing)
{
    const char *refused[][3] = {
        {"31/02/2026", "20:15", "Invalid date or time: 31/02/2026 20:15"},
        {"tomorrow", "20:15", "Invalid date or time: tomorrow 20:15"},
        {"24/12/2026", "25:00", "Invalid date or time: 24/12/2026 25:00"},
        {"08/12/2026", "11:59", "That time has passed: 08/12/2026 11:59"},
    };
    for (const auto &input : refused) {
        frontEnd.messages.clear();
        fill(QString::fromLatin1(input[0]), QString::fromLatin1(input[1]));
        page->addTask();
        EXPECT_EQ(prompt(), nullptr) << input[0] << ' ' << input[1];
        EXPECT_EQ(frontEnd.messages, QStringList{QString::fromLatin1(input[2])});
    }

    // A daily task may start from a time that has passed: it next runs tomorrow.
    fill(QStringLiteral("08/12/2026"), QStringLiteral("11:59"), 1);
    ASSERT_TRUE(addNamed(QStringLiteral("Morning")));
    ASSERT_TRUE(waitUntil([&] { return list()->topLevelItemCount() == 1; }));
    EXPECT_EQ(list()->topLevelItem(0)->text(SchedulerPage::NextRunColumn), QStringLiteral("09/12/2026 11:59"));

    frontEnd.messages.clear();
    manager.calls.clear();
    manager.running = false;
    fill(QStringLiteral("24/12/2026"), QStringLiteral("20:15"));
    page->addTask();
    EXPECT_EQ(prompt(), nullptr) << "no name is asked for what cannot be scheduled";
    EXPECT_EQ(frontEnd.messages, QStringList{RecordingScheduler::noManagerText()});
    settle(20);
    EXPECT_TRUE(manager.calls.isEmpty());
    EXPECT_EQ(unitFiles().size(), 2) << "only the daily task's units";
}

// Dates and times as users of several locales type them, and the page's own
// default text read back: a two-digit year is this century, not 1926.
TEST(SchedulerPageDates, ReadInTheUsersFormats)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    const std::tuple<QLocale, const char *, const char *> readable[] = {
        {us, "12/24/26", "8:15 PM"}, {us, "12/24/2026", "8:15 PM"},  {us, "2026-12-24", "20:15"},
        {de, "24.12.26", "20:15"},   {de, "24.12.2026", "20:15:00"},
    };
    for (const auto &[locale, date, time] : readable) {
        EXPECT_EQ(SchedulerPage::readDateTime(QString::fromLatin1(date), QString::fromLatin1(time), locale),
                  QDateTime(QDate(2026, 12, 24), QTime(20, 15)))
            << date << ' ' << time;
    }
    EXPECT_FALSE(SchedulerPage::readDateTime(QStringLiteral("24/12/2026"), QStringLiteral("20:15"), us));

    FakeClock clock{1000000, QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    for (const QLocale &locale : {us, de, QLocale(QLocale::French, QLocale::France)}) {
        QLocale::setDefault(locale);
        SchedulerPage page;
        EXPECT_EQ(SchedulerPage::readDateTime(page.findChild<QLineEdit *>(QStringLiteral("scheduleDate"))->text(),
                                              page.findChild<QLineEdit *>(QStringLiteral("scheduleTime"))->text(),
                                              locale),
                  QDateTime(QDate(2026, 12, 8), QTime(20, 0)))
            << locale.name().toStdString();
    }
    QLocale::setDefault(QLocale::system());
}
