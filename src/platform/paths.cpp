#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

namespace platform
{

bool fileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool folderExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QFileInfo(path).isDir();
}

bool pathExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QFileInfo::exists(path);
}

QChar pathSeparator()
{
    return QDir::separator();
}

QString withTrailingSeparator(const QString &path)
{
    if (path.endsWith(pathSeparator()) || path.endsWith(QLatin1Char('/')))
        return path;
    return path + pathSeparator();
}

} // namespace platform
