// The scheduler's unit writer with arbitrary task names, arguments, program
// paths, folders and variables (fields split at 0xFF, a byte UTF-8 never
// holds). A systemd-style reading of every unit written must find exactly the
// sections and keys the writer means, and each value must read back as given.
#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <cstdint>
#include <cstdlib>

#include "../support/unitreader.h"
#include "platform/recordingscheduler.h"

namespace
{

class NoManager final : public platform::ServiceManager
{
public:
    bool isRunning() const override { return false; }
    void run(const QStringList &, QObject *, Done) override {}
};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

QStringList keysOf(const QByteArray &unit)
{
    QStringList keys;
    for (const unitreader::Entry &entry : unitreader::read(unit))
        keys.append(entry.section + QLatin1Char('/') + entry.key);
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static NoManager manager;
    const QList<QByteArray> fields =
        QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)).split('\xff');
    const auto field = [&](int i) { return i < fields.size() ? QString::fromUtf8(fields[i]) : QString(); };
    const QString name = field(0);
    const QString play = field(1);
    const QString program = QStringLiteral("/") + field(2);
    const QString folder = QStringLiteral("/") + field(3);
    const QString variable = QStringLiteral("VORLANE_HOME=") + field(4);

    platform::RecordingScheduler scheduler(manager, QStringLiteral("/nonexistent"), program);
    scheduler.setWorkingFolder(folder);
    scheduler.setEnvironment({variable});
    const platform::RecordingScheduler::Task task{name,
                                                  platform::RecordingScheduler::unitBase(name),
                                                  play,
                                                  QDateTime(QDate(2026, 12, 24), QTime(20, 15)),
                                                  platform::RecordingScheduler::Repeat::Weekly,
                                                  60};

    const QStringList timerKeys = keysOf(scheduler.timerText(task).toUtf8());
    check(timerKeys == QStringList({QStringLiteral("Unit/Description"), QStringLiteral("Timer/OnCalendar"),
                                    QStringLiteral("Timer/OnCalendar"), QStringLiteral("Timer/AccuracySec"),
                                    QStringLiteral("Timer/Persistent"), QStringLiteral("Timer/Unit"),
                                    QStringLiteral("Install/WantedBy")}));

    const std::optional<QString> service = scheduler.serviceText(task);
    if (!service)
        return 0; // refused: nothing is written
    QStringList keys;
    for (const unitreader::Entry &entry : unitreader::read(service->toUtf8())) {
        keys.append(entry.section + QLatin1Char('/') + entry.key);
        if (entry.key == QStringLiteral("ExecStart"))
            check(unitreader::words(entry.value, true) == QStringList({program, play}));
        else if (entry.key == QStringLiteral("WorkingDirectory"))
            check(unitreader::undoubled(entry.value, QLatin1Char('%')) == folder);
        else if (entry.key == QStringLiteral("Environment"))
            check(unitreader::words(entry.value, false) == QStringList{variable});
        else if (entry.key == QStringLiteral("Description") || entry.key == QStringLiteral("X-Vorlane-Play"))
            check(unitreader::undoubled(entry.value, QLatin1Char('%')).has_value());
    }
    check(keys == QStringList({QStringLiteral("Unit/Description"), QStringLiteral("Unit/X-Vorlane-Play"),
                               QStringLiteral("Unit/X-Vorlane-At"), QStringLiteral("Unit/X-Vorlane-Repeat"),
                               QStringLiteral("Unit/X-Vorlane-Minutes"), QStringLiteral("Service/Type"),
                               QStringLiteral("Service/WorkingDirectory"), QStringLiteral("Service/Environment"),
                               QStringLiteral("Service/ExecStart"), QStringLiteral("Service/RuntimeMaxSec")}));
    return 0;
}
