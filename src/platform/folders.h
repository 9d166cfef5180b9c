#pragma once

#include <QString>

namespace platform
{

// The user's music and documents folders (XDG user dirs on Linux); empty when unknown.
QString musicFolder();
QString documentsFolder();

// The program folder: where the INI files, the association backup, the station
// list and the presets live: a per-user folder, $VORLANE_HOME or
// $XDG_CONFIG_HOME/vorlane (~/.config/vorlane), created on first use. No trailing
// separator.
QString programFolder();

// A file of the program folder, e.g. programFile(u"Kestrane.ini").
QString programFile(const QString &name);

// The running executable's own path, for the places that start the program
// again (scheduled tasks, file associations).
QString executablePath();
// The program's own data (help, icons): <prefix>/share/vorlane beside the
// executable's folder wherever the program is installed; in a build tree, the
// source tree's data folder. Empty when neither exists.
QString dataFolder();

} // namespace platform
