#pragma once

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

#include "platform/recordingscheduler.h"

class QComboBox;
class QInputDialog;
class QLineEdit;
class QLocale;
class QPushButton;
class QTreeWidget;

// The setup window's Scheduler page: what to play, when and how often, and
// the recordings already scheduled, read back from their units. Adding and
// removing go through platform::RecordingScheduler; the page never waits for
// the user or the service manager.
class SchedulerPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SchedulerPage)

public:
    enum Column
    {
        NameColumn,
        NextRunColumn,
        RepeatColumn,
        PlayColumn,
    };

    explicit SchedulerPage(QWidget *parent = nullptr);
    ~SchedulerPage() override;

    // Schedules through this manager, with the units in this folder and this
    // program to run, instead of the user's own systemd (tests).
    void useManager(platform::ServiceManager &manager, const QString &unitFolder, const QString &program);

    void setPlay(const QString &text);
    // The Add button: checks the fields, then asks for the task's name.
    void addTask();
    // Removes the task selected in the list.
    void removeSelected();
    // Reads the scheduled tasks again.
    void refresh();

    // The date and time of the fields, read in the locale's short or long
    // format (or ISO); none when either cannot be read.
    static std::optional<QDateTime> readDateTime(const QString &date, const QString &time, const QLocale &locale);
    // The locale's short date format with a four-digit year.
    static QString dateFormat(const QLocale &locale);

protected:
    void showEvent(QShowEvent *event) override;

private:
    platform::RecordingScheduler &scheduler();
    void addNamed(const QString &name, const QString &play, const QDateTime &at,
                  platform::RecordingScheduler::Repeat repeat);
    void onAdded(platform::RecordingScheduler::Result result, const QString &detail);
    void warn(const QString &text);
    void tell(const QString &text);
    void updateButtons();

    std::unique_ptr<platform::ServiceManager> m_ownManager;
    std::unique_ptr<platform::RecordingScheduler> m_scheduler;
    QLineEdit *m_play = nullptr;
    QLineEdit *m_date = nullptr;
    QLineEdit *m_time = nullptr;
    QComboBox *m_repeat = nullptr;
    QPushButton *m_add = nullptr;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_remove = nullptr;
    QPointer<QInputDialog> m_prompt;
    bool m_busy = false; // an add or a removal waits for the service manager
};
