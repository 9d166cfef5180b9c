#include "ui/themedicon.h"

#include <QString>

QIcon themedIcon(const char *themeName, const char *fallback)
{
    return QIcon::fromTheme(
        QString::fromLatin1(themeName),
        QIcon(QStringLiteral(":/vorlane/icons/") + QString::fromLatin1(fallback) + QStringLiteral(".svg")));
}
