#pragma once

#include <QString>

namespace platform
{

// The three path tests used throughout configuration and recording.
bool fileExists(const QString &path);   // an existing file (a folder does not count)
bool folderExists(const QString &path); // an existing folder
bool pathExists(const QString &path);   // anything at all at that path

// The separator that ends a recording folder and joins program-folder file names.
QChar pathSeparator();

// Appends the separator unless the path already ends with one.
QString withTrailingSeparator(const QString &path);

} // namespace platform
