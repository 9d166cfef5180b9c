#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QObject;

namespace platform
{

// The user's service manager, reached as "systemctl --user". Commands run
// without blocking; done comes from the event loop.
class ServiceManager
{
public:
    using Done = std::function<void(bool ok, const QString &error)>;

    virtual ~ServiceManager() = default;
    // A user manager runs for this session.
    virtual bool isRunning() const = 0;
    // Runs "systemctl --user" with these arguments.
    virtual void run(const QStringList &arguments, QObject *context, Done done) = 0;
};

// The real one: systemctl through QProcess.
class SystemctlManager final : public ServiceManager
{
public:
    bool isRunning() const override;
    void run(const QStringList &arguments, QObject *context, Done done) override;
};

// Scheduled recordings as systemd user timers: a ".timer" that fires at the
// chosen time and a ".service" that runs the program with what to play. They
// live in the user's unit folder, survive the program and reboots, and carry
// the task's name in Description=.
class RecordingScheduler final
{
public:
    enum class Repeat
    {
        Once,
        Daily,
        Weekly,
    };
    enum class Result
    {
        Added,
        Removed,
        Exists,    // a unit of that name is there already
        NoManager, // no systemd user session: nothing was written
        Failed,    // writing the units or asking the manager failed
    };
    struct Task
    {
        QString name;     // as the user typed it
        QString unitBase; // "vorlane-..." without ".timer" / ".service"
        QString play;     // the program's only argument
        QDateTime at;     // the first run
        Repeat repeat = Repeat::Once;
        int minutes = 0; // how long a run records; 0 for units of older versions
    };
    using Done = std::function<void(Result result, const QString &detail)>;

    explicit RecordingScheduler(ServiceManager &manager, const QString &unitFolder = userUnitFolder(),
                                const QString &program = QString());

    // $XDG_CONFIG_HOME/systemd/user (~/.config/systemd/user).
    static QString userUnitFolder();
    // "vorlane-" and the task name escaped by systemd-escape's rules.
    static QString unitBase(const QString &taskName);
    // The OnCalendar= expressions of a task: a repeat starts on its first date,
    // not on the first matching day before it.
    static QStringList calendars(const QDateTime &at, Repeat repeat);
    // The next run of a task after now; none for a single run that has passed.
    static std::optional<QDateTime> nextRun(const Task &task, const QDateTime &now);
    // What to tell the user when no user manager runs.
    static QString noManagerText();

    // A user manager runs, so a task could be added.
    bool isAvailable() const { return m_manager.isRunning(); }

    // The folder the scheduled run starts in (the program folder unless set),
    // and the variables it gets, "NAME=value" (VORLANE_HOME when set).
    void setWorkingFolder(const QString &folder) { m_workingFolder = folder; }
    void setEnvironment(const QStringList &assignments) { m_environment = assignments; }

    QString timerText(const Task &task) const;
    // None when the program, the argument, the folder or a variable holds what
    // a unit file cannot express (a NUL, a relative program path).
    std::optional<QString> serviceText(const Task &task) const;

    // Writes both units, then reloads the manager and enables the timer.
    void add(const QString &name, const QString &play, const QDateTime &at, Repeat repeat, int minutes,
             QObject *context, Done done);
    // The tasks this program created, read back from their units, by first run.
    QList<Task> tasks() const;
    // Disables the timer, deletes both units and reloads the manager.
    void remove(const QString &unitBase, QObject *context, Done done);

private:
    ServiceManager &m_manager;
    QString m_folder;
    QString m_program;
    QString m_workingFolder;
    QStringList m_environment;
};

} // namespace platform
