#include "config/scheduledpreset.h"

#include <QDir>
#include <QFileInfo>

#include "config/preset.h"

namespace scheduledpreset
{

namespace
{

constexpr qsizetype kMaxNameLength = 64;
const QString kExtension = QStringLiteral(".mvr");

// Task names are free text; the file name keeps only what any file system takes.
QString fileStem(const QString &taskName)
{
    QString stem;
    for (const QChar c : taskName.left(kMaxNameLength)) {
        const bool plain = c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-'));
        stem += plain ? c : QChar(QLatin1Char('_'));
    }
    return stem.isEmpty() ? QStringLiteral("Task") : stem;
}

} // namespace

QString folder(const QString &programFolder)
{
    return QDir::cleanPath(QDir(programFolder).absoluteFilePath(QStringLiteral("Scheduled")));
}

QString write(Preset preset, const QString &programFolder, const QString &taskName, int minutes)
{
    const QString target = folder(programFolder);
    if (minutes <= 0 || !QDir().mkpath(target))
        return {};
    // Nobody is there to unpause a scheduled run, and it must end by itself.
    preset.startPaused = false;
    preset.timeLimited = true;
    preset.timeLimitMinutes = minutes;
    preset.exitAfterRecording = true;
    preset.valid = true;
    const QString stem = fileStem(taskName);
    QString path = target + QLatin1Char('/') + stem + kExtension;
    for (int number = 2; QFileInfo::exists(path); ++number)
        path = target + QLatin1Char('/') + stem + QLatin1Char('-') + QString::number(number) + kExtension;
    return preset.save(path) ? path : QString();
}

bool remove(const QString &programFolder, const QString &path)
{
    const QFileInfo file(path);
    if (file.absolutePath() != folder(programFolder) || file.suffix() != kExtension.mid(1) || !file.isFile())
        return false;
    return QFile::remove(file.absoluteFilePath());
}

} // namespace scheduledpreset
