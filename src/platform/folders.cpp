#include "platform/folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform
{

namespace
{

// Special folder paths end at a NUL and at 255 characters, so that every path
// built on one stays within the same limits.
QString specialFolder(QStandardPaths::StandardLocation location)
{
    QString path = QStandardPaths::writableLocation(location);
    const qsizetype nul = path.indexOf(QChar(0));
    if (nul >= 0)
        path.truncate(nul);
    if (path.size() > 255)
        path.truncate(255);
    return path;
}

} // namespace

QString musicFolder()
{
    return specialFolder(QStandardPaths::MusicLocation);
}

QString documentsFolder()
{
    return specialFolder(QStandardPaths::DocumentsLocation);
}

QString programFolder()
{
#if defined(Q_OS_WIN)
    QString folder = QCoreApplication::applicationDirPath();
#else
    QString folder = qEnvironmentVariable("VORLANE_HOME");
    if (folder.isEmpty()) {
        QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (config.isEmpty())
            config = QDir::homePath() + QStringLiteral("/.config");
        folder = config + QStringLiteral("/vorlane");
    }
#endif
    folder = QDir::cleanPath(QDir(folder).absolutePath());
    QDir().mkpath(folder);
    return QDir::toNativeSeparators(folder);
}

QString programFile(const QString &name)
{
    return programFolder() + QDir::separator() + name;
}

QString dataFolder()
{
    if (QCoreApplication::instance()) {
        const QString installed =
            QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vorlane"));
        if (QFileInfo(installed).isDir())
            return installed;
    }
#ifdef VORLANE_SOURCE_DATA_DIR
    const QString source = QStringLiteral(VORLANE_SOURCE_DATA_DIR);
    if (QFileInfo(source).isDir())
        return source;
#endif
    return {};
}

QString executablePath()
{
    const QString path = QCoreApplication::applicationFilePath();
    return path.isEmpty() ? QStringLiteral("vorlane") : path;
}

} // namespace platform
