#pragma once

#include <QString>

// Where a file dialog opens: the folder of the path when it exists, else the
// default recording folder, else home (never the process's working folder).
QString dialogFolder(const QString &path);
