#include "engine/archivecleanup.h"

#include <QDir>
#include <QFile>

#include "config/preset.h"
#include "engine/recordingnames.h"
#include "engine/streamtype.h"

namespace engine
{

int deleteOldArchives(const QString &folder, const QByteArray &prefix, int daysToKeep, const QDateTime &now)
{
    if (daysToKeep <= 0)
        return 0;
    const QDateTime limit = now.addDays(-static_cast<qint64>(daysToKeep));
    const QDir dir(folder);
    const QStringList names = dir.entryList({QStringLiteral("*.mp3"), QStringLiteral("*.aac"), QStringLiteral("*.ogg")},
                                            QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::NoSort);
    int deleted = 0;
    for (const QString &name : names) {
        // A name without a real date (a song title, month 13, day 40) is not an archive file.
        const std::optional<QDate> date = archiveDate(QFile::encodeName(name));
        if (!date || QDateTime(*date, QTime(0, 0)) >= limit)
            continue;
        // Only the very name this prefix gets on that day, for one of the types.
        const QByteArray dated = datedFileName(prefix, *date);
        bool ours = false;
        for (const StreamType type : {StreamType::Mp3, StreamType::Aac, StreamType::Ogg})
            ours = ours || recordingFileName(withStreamExtension(dated, type)) == name;
        if (ours && QFile::remove(dir.filePath(name)))
            ++deleted;
    }
    return deleted;
}

int deleteOldArchives(const Preset &preset, const QDateTime &now)
{
    if (!preset.deleteOldArchives)
        return 0;
    return deleteOldArchives(preset.saveFolder, preset.recordingFileName.toLocal8Bit(), preset.daysToKeep, now);
}

} // namespace engine
