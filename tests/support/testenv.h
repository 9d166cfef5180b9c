#pragma once

#include <QByteArray>
#include <QString>

// Small helpers shared by tests.
namespace testenv
{

// The temporary home folder the test process runs in.
QString home();

// Writes bytes to a file, creating folders as needed; returns the path.
QString writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

} // namespace testenv
