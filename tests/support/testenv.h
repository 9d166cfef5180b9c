#pragma once

#include <QByteArray>
#include <QString>

class QNetworkAccessManager;

// Small helpers shared by tests.
namespace testenv
{

// The temporary home folder the test process runs in.
QString home();

// Writes bytes to a file, creating folders as needed; returns the path.
QString writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

// One network access manager for the whole test process, as the program has
// one for its run: a fresh one spends its first request starting a thread,
// while a fake clock runs on.
QNetworkAccessManager &network();

} // namespace testenv
