#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>

namespace testenv
{

QString home()
{
    return qEnvironmentVariable("HOME");
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QNetworkAccessManager &network()
{
    static QNetworkAccessManager *const manager = new QNetworkAccessManager;
    return *manager;
}

} // namespace testenv
