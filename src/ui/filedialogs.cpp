#include "ui/filedialogs.h"

#include <QDir>
#include <QFileInfo>

#include "config/inivalues.h"

QString dialogFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isAbsolute()) {
        if (info.isDir())
            return info.absoluteFilePath();
        if (info.absoluteDir().exists())
            return info.absolutePath();
    }
    const QString fallback = defaultRecordingFolder(false);
    if (!fallback.isEmpty() && QFileInfo(fallback).isDir())
        return fallback;
    return QDir::homePath();
}
