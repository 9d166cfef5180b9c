#include "platform/recordingscheduler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointer>
#include <QProcess>
#include <QSaveFile>

#include <algorithm>

#include <unistd.h>

#include "platform/folders.h"

namespace platform
{

namespace
{

const QString kPrefix = QStringLiteral("vorlane-");
const QString kDateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QByteArray kPlayKey = "X-Vorlane-Play=";
const QByteArray kAtKey = "X-Vorlane-At=";
const QByteArray kRepeatKey = "X-Vorlane-Repeat=";
const QByteArray kMinutesKey = "X-Vorlane-Minutes=";
// A run may wait for its station before the recording's own clock starts;
// the manager stops it only well after the recording should have ended.
constexpr int kRunSlackMinutes = 15;

// systemd ends a line at LF, CR and NUL; no other control character belongs in a unit either.
bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

QString hexEscape(QChar c)
{
    return QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
}

// A word of ExecStart=, quoted so that systemd reads back exactly this text:
// C escapes inside double quotes, specifiers (%) and variables ($) doubled.
// NUL has no escape there.
std::optional<QString> execWord(const QString &word)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : word) {
        if (c.unicode() == 0)
            return std::nullopt;
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            quoted += QLatin1Char('\\') + QString(c);
        else if (c == QLatin1Char('%') || c == QLatin1Char('$'))
            quoted += QString(c) + QString(c);
        else if (isControl(c))
            quoted += hexEscape(c);
        else
            quoted += c;
    }
    return quoted + QLatin1Char('"');
}

// A free text value (Description=): systemd takes it as it stands, so control
// characters become blanks, % is doubled and no backslash may end the line,
// which would join the next one to it.
QString plainValue(const QString &text)
{
    QString value;
    for (const QChar c : text)
        value += isControl(c) ? QChar(QLatin1Char(' ')) : c;
    value = value.trimmed();
    while (value.endsWith(QLatin1Char('\\')))
        value = value.chopped(1).trimmed();
    return value.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

// Our own keys keep their text exactly: control characters and backslashes as
// \xNN, % doubled. unitValue() reverses it.
QString exactValue(const QString &text)
{
    QString value;
    for (const QChar c : text) {
        if (isControl(c) || c == QLatin1Char('\\'))
            value += hexEscape(c);
        else if (c == QLatin1Char('%'))
            value += QStringLiteral("%%");
        else
            value += c;
    }
    return value;
}

// A path systemd reads raw (WorkingDirectory=): absolute, without control
// characters, blanks it would trim or a backslash that would join lines.
std::optional<QString> rawPath(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')) || path != path.trimmed() || path.endsWith(QLatin1Char('\\')) ||
        std::any_of(path.begin(), path.end(), isControl))
        return std::nullopt;
    return QString(path).replace(QLatin1Char('%'), QStringLiteral("%%"));
}

// Environment="NAME=value": quoted like an Exec word, but systemd expands no $ there.
std::optional<QString> environmentWord(const QString &assignment)
{
    const qsizetype equals = assignment.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return std::nullopt;
    for (qsizetype i = 0; i < equals; ++i) {
        const QChar c = assignment.at(i);
        if (!(c.isLetter() && c.unicode() < 0x80) && c != QLatin1Char('_') && !(c.isDigit() && i > 0))
            return std::nullopt;
    }
    QString quoted = QStringLiteral("\"");
    for (const QChar c : assignment) {
        if (isControl(c))
            return std::nullopt;
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            quoted += QLatin1Char('\\') + QString(c);
        else if (c == QLatin1Char('%'))
            quoted += QStringLiteral("%%");
        else
            quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString repeatName(RecordingScheduler::Repeat repeat)
{
    switch (repeat) {
    case RecordingScheduler::Repeat::Daily:
        return QStringLiteral("daily");
    case RecordingScheduler::Repeat::Weekly:
        return QStringLiteral("weekly");
    case RecordingScheduler::Repeat::Once:
        break;
    }
    return QStringLiteral("once");
}

bool writeUnit(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text.toUtf8());
    return file.commit();
}

// The value of "key" in a unit file's lines, unescaping what exactValue() wrote.
// Description= holds only doubled specifiers (plain).
QString unitValue(const QByteArrayList &lines, const QByteArray &key, bool plain = false)
{
    for (const QByteArray &line : lines) {
        if (!line.startsWith(key))
            continue;
        const QString raw = QString::fromUtf8(line.mid(key.size()).trimmed());
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            const QChar c = raw.at(i);
            bool hex = false;
            const ushort code = raw.mid(i + 2, 2).toUShort(&hex, 16);
            if (c == QLatin1Char('%') && raw.mid(i + 1, 1) == QStringLiteral("%")) {
                value += c;
                ++i;
            } else if (!plain && c == QLatin1Char('\\') && raw.mid(i + 1, 1) == QStringLiteral("x") && hex &&
                       raw.mid(i + 2, 2).size() == 2) {
                value += QChar(code);
                i += 3;
            } else {
                value += c;
            }
        }
        return value;
    }
    return {};
}

} // namespace

bool SystemctlManager::isRunning() const
{
    // The user manager listens on its private socket in the runtime folder.
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        runtime = QStringLiteral("/run/user/%1").arg(::getuid());
    return QFileInfo::exists(runtime + QStringLiteral("/systemd/private"));
}

void SystemctlManager::run(const QStringList &arguments, QObject *context, Done done)
{
    auto *process = new QProcess(context);
    QObject::connect(process, &QProcess::finished, context, [process, done](int code, QProcess::ExitStatus status) {
        const QString error = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
        process->deleteLater();
        done(status == QProcess::NormalExit && code == 0, error);
    });
    QObject::connect(process, &QProcess::errorOccurred, context, [process, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        done(false, QStringLiteral("systemctl could not be started"));
    });
    process->start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments);
}

RecordingScheduler::RecordingScheduler(ServiceManager &manager, const QString &unitFolder, const QString &program)
    : m_manager(manager)
    , m_folder(unitFolder)
    , m_program(program.isEmpty() ? executablePath() : program)
    , m_workingFolder(programFolder())
{
    // The scheduled run must find the same settings and presets as this one.
    const QString home = qEnvironmentVariable("VORLANE_HOME");
    if (!home.isEmpty())
        m_environment.append(QStringLiteral("VORLANE_HOME=") + QDir(home).absolutePath());
}

QString RecordingScheduler::userUnitFolder()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/systemd/user");
}

QString RecordingScheduler::unitBase(const QString &taskName)
{
    // systemd-escape: "/" becomes "-", and every byte outside [A-Za-z0-9:_.]
    // (and a leading ".") becomes "\xNN".
    const QByteArray bytes = taskName.toUtf8();
    QString escaped;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes.at(i));
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
                           c == '_' || (c == '.' && i > 0);
        if (c == '/')
            escaped += QLatin1Char('-');
        else if (plain)
            escaped += QLatin1Char(static_cast<char>(c));
        else
            escaped += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    return kPrefix + escaped;
}

QStringList RecordingScheduler::calendars(const QDateTime &at, Repeat repeat)
{
    if (repeat == Repeat::Once)
        return {at.toString(kDateTimeFormat)};
    // English weekday names whatever the user's language: systemd reads only these.
    const QString weekday = repeat == Repeat::Weekly
                                ? QLocale::c().toString(at.date(), QStringLiteral("ddd")) + QLatin1Char(' ')
                                : QString();
    const QString time = QLatin1Char(' ') + at.time().toString(QStringLiteral("HH:mm:ss"));
    const QDate first = at.date();
    // systemd has no "from this date on": the rest of the first month, the
    // rest of its year, then every later year.
    QStringList list{weekday + first.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("..31") + time};
    if (first.month() < 12) {
        list.append(weekday + QString::number(first.year()) + QLatin1Char('-') +
                    QStringLiteral("%1..12").arg(first.month() + 1, 2, 10, QLatin1Char('0')) + QStringLiteral("-*") +
                    time);
    }
    list.append(weekday + QString::number(first.year() + 1) + QStringLiteral("/1-*-*") + time);
    return list;
}

std::optional<QDateTime> RecordingScheduler::nextRun(const Task &task, const QDateTime &now)
{
    QDateTime next = task.at;
    if (next > now)
        return next;
    switch (task.repeat) {
    case Repeat::Once:
        return std::nullopt;
    case Repeat::Daily:
        next = QDateTime(now.date(), task.at.time());
        if (next <= now)
            next = next.addDays(1);
        return next;
    case Repeat::Weekly:
        next = QDateTime(now.date(), task.at.time());
        while (next.date().dayOfWeek() != task.at.date().dayOfWeek() || next <= now)
            next = next.addDays(1);
        return next;
    }
    return std::nullopt;
}

QString RecordingScheduler::noManagerText()
{
    return QStringLiteral("Scheduled recordings need a systemd user session (systemctl --user), and none runs here.");
}

QString RecordingScheduler::timerText(const Task &task) const
{
    QString onCalendar;
    for (const QString &expression : calendars(task.at, task.repeat))
        onCalendar += QStringLiteral("OnCalendar=") + expression + QLatin1Char('\n');
    return QStringLiteral("[Unit]\nDescription=") + plainValue(task.name) + QStringLiteral("\n\n[Timer]\n") +
           onCalendar + QStringLiteral("AccuracySec=1s\nPersistent=true\nUnit=") + task.unitBase +
           QStringLiteral(".service\n\n[Install]\nWantedBy=timers.target\n");
}

std::optional<QString> RecordingScheduler::serviceText(const Task &task) const
{
    const std::optional<QString> program = execWord(m_program);
    const std::optional<QString> play = execWord(task.play);
    const std::optional<QString> folder = rawPath(m_workingFolder);
    if (!program || !play || !folder || !m_program.startsWith(QLatin1Char('/')))
        return std::nullopt;
    QString environment;
    for (const QString &assignment : m_environment) {
        const std::optional<QString> word = environmentWord(assignment);
        if (!word)
            return std::nullopt;
        environment += QStringLiteral("Environment=") + *word + QLatin1Char('\n');
    }
    QString text = QStringLiteral("[Unit]\nDescription=") + plainValue(task.name) + QLatin1Char('\n') +
                   QString::fromLatin1(kPlayKey) + exactValue(task.play) + QLatin1Char('\n') +
                   QString::fromLatin1(kAtKey) + task.at.toString(kDateTimeFormat) + QLatin1Char('\n') +
                   QString::fromLatin1(kRepeatKey) + repeatName(task.repeat) + QLatin1Char('\n');
    if (task.minutes > 0)
        text += QString::fromLatin1(kMinutesKey) + QString::number(task.minutes) + QLatin1Char('\n');
    // Without a display the program records headless by itself.
    text += QStringLiteral("\n[Service]\nType=simple\nWorkingDirectory=") + *folder + QLatin1Char('\n') + environment +
            QStringLiteral("ExecStart=") + *program + QLatin1Char(' ') + *play + QLatin1Char('\n');
    // The preset's own time limit ends the run; this only catches a run that hangs.
    if (task.minutes > 0)
        text += QStringLiteral("RuntimeMaxSec=") + QString::number((task.minutes + kRunSlackMinutes) * 60) +
                QLatin1Char('\n');
    return text;
}

void RecordingScheduler::add(const QString &name, const QString &play, const QDateTime &at, Repeat repeat, int minutes,
                             QObject *context, Done done)
{
    if (!m_manager.isRunning()) {
        done(Result::NoManager, noManagerText());
        return;
    }
    // The run starts in another folder: a relative preset path would not be found.
    QString argument = play;
    if (!play.contains(QStringLiteral("://")) && QFileInfo(play).isRelative())
        argument = QFileInfo(play).absoluteFilePath();
    const Task task{name, unitBase(name), argument, at, repeat, minutes};
    const std::optional<QString> serviceUnit = serviceText(task);
    if (!serviceUnit) {
        done(Result::Failed, QStringLiteral("A unit file cannot hold this program path, argument or folder"));
        return;
    }
    const QString timer = m_folder + QLatin1Char('/') + task.unitBase + QStringLiteral(".timer");
    const QString service = m_folder + QLatin1Char('/') + task.unitBase + QStringLiteral(".service");
    if (QFileInfo::exists(timer) || QFileInfo::exists(service)) {
        done(Result::Exists, task.unitBase);
        return;
    }
    if (!QDir().mkpath(m_folder) || !writeUnit(service, *serviceUnit) || !writeUnit(timer, timerText(task))) {
        QFile::remove(service);
        QFile::remove(timer);
        done(Result::Failed, QStringLiteral("Cannot write the units in ") + m_folder);
        return;
    }
    // A task the manager would not take leaves no units behind to be listed.
    const auto failed = [timer, service, done](const QString &error) {
        QFile::remove(timer);
        QFile::remove(service);
        done(Result::Failed, error);
    };
    const QPointer<QObject> guard(context);
    m_manager.run(
        {QStringLiteral("daemon-reload")}, context, [this, guard, task, done, failed](bool ok, const QString &error) {
            if (!guard)
                return;
            if (!ok) {
                failed(error);
                return;
            }
            m_manager.run({QStringLiteral("enable"), QStringLiteral("--now"), task.unitBase + QStringLiteral(".timer")},
                          guard, [done, failed](bool enabled, const QString &enableError) {
                              if (enabled)
                                  done(Result::Added, QString());
                              else
                                  failed(enableError);
                          });
        });
}

QList<RecordingScheduler::Task> RecordingScheduler::tasks() const
{
    QList<Task> list;
    const QDir folder(m_folder);
    const QStringList services = folder.entryList({kPrefix + QStringLiteral("*.service")}, QDir::Files, QDir::Name);
    for (const QString &file : services) {
        QFile unit(folder.filePath(file));
        if (!unit.open(QIODevice::ReadOnly))
            continue;
        const QByteArrayList lines = unit.readAll().split('\n');
        const QString play = unitValue(lines, kPlayKey);
        const QDateTime at = QDateTime::fromString(unitValue(lines, kAtKey), kDateTimeFormat);
        if (play.isEmpty() || !at.isValid())
            continue; // not one of ours after all
        const QString repeat = unitValue(lines, kRepeatKey);
        Task task;
        task.name = unitValue(lines, "Description=", true);
        task.unitBase = file.chopped(8); // ".service"
        task.play = play;
        task.at = at;
        task.minutes = unitValue(lines, kMinutesKey).toInt();
        task.repeat = repeat == QStringLiteral("daily")    ? Repeat::Daily
                      : repeat == QStringLiteral("weekly") ? Repeat::Weekly
                                                           : Repeat::Once;
        list.append(task);
    }
    std::sort(list.begin(), list.end(), [](const Task &a, const Task &b) { return a.at < b.at; });
    return list;
}

void RecordingScheduler::remove(const QString &unitBase, QObject *context, Done done)
{
    if (!unitBase.startsWith(kPrefix) || unitBase.contains(QLatin1Char('/'))) {
        done(Result::Failed, unitBase);
        return;
    }
    const QPointer<QObject> guard(context);
    const auto deleteUnits = [this, guard, unitBase, done] {
        const bool removed = QFile::remove(m_folder + QLatin1Char('/') + unitBase + QStringLiteral(".timer")) |
                             QFile::remove(m_folder + QLatin1Char('/') + unitBase + QStringLiteral(".service"));
        if (!m_manager.isRunning()) {
            done(removed ? Result::Removed : Result::Failed, QString());
            return;
        }
        if (!guard)
            return;
        m_manager.run({QStringLiteral("daemon-reload")}, guard, [done, removed](bool ok, const QString &error) {
            done(ok && removed ? Result::Removed : Result::Failed, error);
        });
    };
    if (!m_manager.isRunning()) {
        deleteUnits();
        return;
    }
    // A timer that is already gone from the manager is no reason to keep its files.
    m_manager.run({QStringLiteral("disable"), QStringLiteral("--now"), unitBase + QStringLiteral(".timer")}, context,
                  [deleteUnits](bool, const QString &) { deleteUnits(); });
}

} // namespace platform
