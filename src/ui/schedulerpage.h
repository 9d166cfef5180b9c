#pragma once

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

#include "config/preset.h"
#include "platform/clock.h"
#include "platform/recordingscheduler.h"
#include "ui/messagesink.h"

class QComboBox;
class QDateEdit;
class QInputDialog;
class QLabel;
class QLineEdit;
class QLocale;
class QMessageBox;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QTreeWidget;

// The setup window's Scheduler page: what to play, when, how often and for how
// long, and the recordings already scheduled, read back from their units.
// Each task plays a preset of its own, written into the program folder with
// the station and the options of the moment and a time limit, so that every
// run ends. Adding and removing go through platform::RecordingScheduler; the
// page never waits for the user or the service manager.
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
    // The recording options of the moment (the setup window's fields).
    using OptionsSource = std::function<Preset()>;

    // Schedules through the user's service manager, given by whoever creates the page.
    SchedulerPage(platform::Clock &clock, platform::ServiceManager &serviceManager, MessageSink tell,
                  QWidget *parent = nullptr);
    ~SchedulerPage() override;

    // Keeps the units in this folder with this program to run, and the presets
    // in this program folder, instead of the user's own folders (tests).
    void useFolders(const QString &unitFolder, const QString &program, const QString &programFolder);
    void setOptionsSource(OptionsSource source) { m_options = std::move(source); }

    // A station address (with the station's name, when known) or a preset file.
    void setPlay(const QString &text, const QString &title = QString());
    // The Add button: checks the fields, then asks for the task's name.
    void addTask();
    // Asks, then removes the task selected in the list.
    void removeSelected();
    // Reads the scheduled tasks again.
    void refresh();

    // The locale's short date format with a four-digit year.
    static QString dateFormat(const QLocale &locale);

protected:
    void showEvent(QShowEvent *event) override;

private:
    platform::RecordingScheduler &scheduler();
    QString programFolder() const;
    void addNamed(const QString &name, const QString &play, const QString &title, const QDateTime &at,
                  platform::RecordingScheduler::Repeat repeat, int minutes);
    void onAdded(platform::RecordingScheduler::Result result, const QString &detail, const QString &preset);
    void removeTask(const QString &unitBase, const QString &name, const QString &play);
    void warn(const QString &text);
    void tell(const QString &text);
    void updateButtons();

    platform::ServiceManager &m_serviceManager;
    std::unique_ptr<platform::RecordingScheduler> m_scheduler;
    QString m_programFolder; // empty: the real one
    OptionsSource m_options;
    platform::Clock &m_clock;
    MessageSink m_tell;
    QLabel *m_sessionNotice = nullptr;
    QLineEdit *m_play = nullptr;
    QString m_playTitle; // the station's name, while "Play :" holds its address
    QDateEdit *m_date = nullptr;
    QTimeEdit *m_time = nullptr;
    QComboBox *m_repeat = nullptr;
    QSpinBox *m_minutes = nullptr;
    QPushButton *m_add = nullptr;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_remove = nullptr;
    QPointer<QInputDialog> m_prompt;
    QPointer<QMessageBox> m_question;
    bool m_busy = false; // an add or a removal waits for the service manager
};
