// The Scheduler page against a fake user manager: the name prompt and its
// cancel, the clash warning, removal after a question, the preset each task
// plays, no user session, and dates in the user's locale formats.
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <utility>

#include "config/preset.h"
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
        page = std::make_unique<SchedulerPage>(clock, manager,
                                               [this](const QString &text) { frontEnd.showMessage(text); });
        page->useFolders(units.path(), QStringLiteral("/usr/bin/vorlane"), home.path());
        page->setOptionsSource([] {
            Preset options;
            options.stationTitle = QStringLiteral("Window station");
            options.playlistAddress = QStringLiteral("http://example.org/window.pls");
            options.startPaused = true;
            options.timeLimited = false;
            options.captureMode = 3;
            options.recordingFileName = QStringLiteral("night");
            return options;
        });
    }

    template <typename T> T *child(const char *name) const
    {
        T *found = page->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTreeWidget *list() const { return child<QTreeWidget>("scheduledTasks"); }
    void fill(const QDate &date, const QTime &time, int repeat = 0)
    {
        child<QDateEdit>("scheduleDate")->setDate(date);
        child<QTimeEdit>("scheduleTime")->setTime(time);
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
    QMessageBox *removeQuestion() const
    {
        auto *box = page->findChild<QMessageBox *>(QStringLiteral("removeTaskQuestion"));
        return box && box->isVisible() ? box : nullptr;
    }
    QStringList unitFiles() const { return QDir(units.path()).entryList(QDir::Files, QDir::Name); }
    QStringList presets() const
    {
        return QDir(home.filePath(QStringLiteral("Scheduled"))).entryList(QDir::Files, QDir::Name);
    }

    FakeClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    RecordingFrontEnd frontEnd;
    FakeServiceManager manager;
    QTemporaryDir units;
    QTemporaryDir home;
    std::unique_ptr<SchedulerPage> page;
    const QString play = QStringLiteral("http://radio.example.org/jazz.pls");
};

} // namespace

TEST_F(SchedulerPageTest, CancelAddClashAndRemove)
{
    EXPECT_TRUE(child<QLineEdit>("schedulePlay")->text().isEmpty()) << "no example address reaches users";
    EXPECT_EQ(child<QSpinBox>("scheduleMinutes")->value(), 60);
    page->setPlay(play, QStringLiteral("Night Jazz FM"));
    fill(QDate(2026, 12, 24), QTime(20, 15), 2);
    child<QSpinBox>("scheduleMinutes")->setValue(45);
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
    EXPECT_TRUE(presets().isEmpty());

    // What is scheduled is the fields as they were when Add was pressed.
    page->addTask();
    child<QTimeEdit>("scheduleTime")->setTime(QTime(6, 0));
    ASSERT_NE(prompt(), nullptr);
    prompt()->setTextValue(QStringLiteral("Night Jazz"));
    prompt()->accept();
    ASSERT_TRUE(waitUntil([&] { return !frontEnd.messages.isEmpty(); }));
    EXPECT_EQ(frontEnd.messages, QStringList{QStringLiteral("Added Scheduled Task")});
    EXPECT_EQ(manager.calls, (QStringList{QStringLiteral("daemon-reload"),
                                          QStringLiteral("enable --now vorlane-Night\\x20Jazz.timer")}));
    ASSERT_EQ(list()->topLevelItemCount(), 1);
    const QTreeWidgetItem *row = list()->topLevelItem(0);
    const QString preset = home.filePath(QStringLiteral("Scheduled/Night_Jazz.mvr"));
    EXPECT_EQ((QStringList{row->text(0), row->text(1), row->text(2), row->text(3)}),
              (QStringList{QStringLiteral("Night Jazz"), QStringLiteral("24/12/2026 20:15"),
                           QStringLiteral("Weekly, Thu, 45 min"), preset}));
    // The timer plays a preset of its own: the station with the window's
    // options, limited to the duration, ending the program, never paused.
    Preset scheduled;
    ASSERT_TRUE(scheduled.load(preset));
    EXPECT_EQ(scheduled.playlistAddress, play);
    EXPECT_EQ(scheduled.stationTitle, QStringLiteral("Night Jazz FM"));
    EXPECT_TRUE(scheduled.timeLimited);
    EXPECT_EQ(scheduled.timeLimitMinutes, 45);
    EXPECT_TRUE(scheduled.exitAfterRecording);
    EXPECT_FALSE(scheduled.startPaused);
    EXPECT_EQ(scheduled.captureMode, 3);
    EXPECT_EQ(scheduled.recordingFileName, QStringLiteral("night"));
    const QString service =
        QString::fromUtf8(testenv::readFile(units.filePath(QStringLiteral("vorlane-Night\\x20Jazz.service"))));
    EXPECT_TRUE(service.contains(QStringLiteral("WorkingDirectory=") + home.path() + QLatin1Char('\n')));

    // The same name again: a warning, the first task stays as it was, and
    // the preset written for the refused one is gone again.
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
    EXPECT_EQ(presets(), QStringList{QStringLiteral("Night_Jazz.mvr")});

    // Remove asks first; No keeps the task, Yes removes it with its preset.
    manager.calls.clear();
    list()->topLevelItem(0)->setSelected(true);
    child<QPushButton>("removeTask")->click();
    ASSERT_NE(removeQuestion(), nullptr);
    removeQuestion()->button(QMessageBox::No)->click();
    settle(20);
    EXPECT_TRUE(manager.calls.isEmpty());
    EXPECT_EQ(list()->topLevelItemCount(), 1);
    child<QPushButton>("removeTask")->click();
    ASSERT_NE(removeQuestion(), nullptr);
    EXPECT_TRUE(removeQuestion()->text().contains(QStringLiteral("Night Jazz")));
    removeQuestion()->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(waitUntil([&] { return list()->topLevelItemCount() == 0; }));
    EXPECT_EQ(manager.calls, (QStringList{QStringLiteral("disable --now vorlane-Night\\x20Jazz.timer"),
                                          QStringLiteral("daemon-reload")}));
    EXPECT_TRUE(unitFiles().isEmpty());
    EXPECT_TRUE(presets().isEmpty());
    EXPECT_FALSE(child<QPushButton>("removeTask")->isEnabled()) << "nothing left to select";
}

TEST_F(SchedulerPageTest, APresetFileIsCopiedWithTheDurationAndTheUsersFileIsKept)
{
    Preset own;
    own.playlistAddress = play;
    own.stationTitle = QStringLiteral("Mine");
    own.timeLimited = false;
    const QString path = home.filePath(QStringLiteral("mine.mvr"));
    ASSERT_TRUE(own.save(path));
    const QByteArray before = testenv::readFile(path);
    page->setPlay(path);
    fill(QDate(2026, 12, 24), QTime(20, 15), 1);
    // Two tasks whose names make the same file name get a file each.
    ASSERT_TRUE(addNamed(QStringLiteral("My show")));
    ASSERT_TRUE(waitUntil([&] { return list()->topLevelItemCount() == 1; }));
    ASSERT_TRUE(addNamed(QStringLiteral("My/show")));
    ASSERT_TRUE(waitUntil([&] { return list()->topLevelItemCount() == 2; }));
    EXPECT_EQ(presets(), (QStringList{QStringLiteral("My_show-2.mvr"), QStringLiteral("My_show.mvr")}));
    Preset scheduled;
    ASSERT_TRUE(scheduled.load(home.filePath(QStringLiteral("Scheduled/My_show.mvr"))));
    EXPECT_EQ(scheduled.stationTitle, QStringLiteral("Mine"));
    EXPECT_EQ(scheduled.timeLimitMinutes, 60);
    EXPECT_TRUE(scheduled.timeLimited);
    EXPECT_EQ(testenv::readFile(path), before);
}

TEST_F(SchedulerPageTest, APassedTimeOrNoSessionCreatesNothing)
{
    page->setPlay(play);
    fill(QDate(2026, 12, 8), QTime(11, 59));
    page->addTask();
    EXPECT_EQ(prompt(), nullptr);
    EXPECT_EQ(frontEnd.messages, QStringList{QStringLiteral("That time has passed: 08/12/2026 11:59")});

    // A daily task may start from a time that has passed: it next runs tomorrow.
    fill(QDate(2026, 12, 8), QTime(11, 59), 1);
    ASSERT_TRUE(addNamed(QStringLiteral("Morning")));
    ASSERT_TRUE(waitUntil([&] { return list()->topLevelItemCount() == 1; }));
    EXPECT_EQ(list()->topLevelItem(0)->text(SchedulerPage::NextRunColumn), QStringLiteral("09/12/2026 11:59"));

    // Without a user session the page says so before anything is tried.
    EXPECT_FALSE(child<QLabel>("sessionNotice")->isVisibleTo(page.get()));
    frontEnd.messages.clear();
    manager.calls.clear();
    manager.running = false;
    page->refresh();
    EXPECT_TRUE(child<QLabel>("sessionNotice")->isVisibleTo(page.get()));
    EXPECT_EQ(child<QLabel>("sessionNotice")->text(), RecordingScheduler::noManagerText());
    fill(QDate(2026, 12, 24), QTime(20, 15));
    page->addTask();
    EXPECT_EQ(prompt(), nullptr) << "no name is asked for what cannot be scheduled";
    EXPECT_EQ(frontEnd.messages, QStringList{RecordingScheduler::noManagerText()});
    settle(20);
    EXPECT_TRUE(manager.calls.isEmpty());
    EXPECT_EQ(unitFiles().size(), 2) << "only the daily task's units";
    EXPECT_EQ(presets().size(), 1);
}

// The editors show the user's own formats, with a four-digit year.
TEST(SchedulerPageDates, EditorsUseTheUsersFormats)
{
    FakeClock clock{QDateTime(QDate(2026, 12, 8), QTime(12, 0))};
    FakeServiceManager manager;
    const std::pair<QLocale, const char *> locales[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "12/8/2026"},
        {QLocale(QLocale::German, QLocale::Germany), "08.12.2026"},
        {QLocale(QLocale::French, QLocale::France), "08/12/2026"},
    };
    for (const auto &[locale, date] : locales) {
        QLocale::setDefault(locale);
        SchedulerPage page(clock, manager, [](const QString &) {});
        EXPECT_EQ(page.findChild<QDateEdit *>(QStringLiteral("scheduleDate"))->text(), QString::fromLatin1(date))
            << locale.name().toStdString();
        EXPECT_EQ(page.findChild<QTimeEdit *>(QStringLiteral("scheduleTime"))->text(),
                  locale.toString(QTime(20, 0), QLocale::ShortFormat));
    }
    QLocale::setDefault(QLocale::system());
}
