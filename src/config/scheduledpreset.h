#pragma once

#include <QString>

class Preset;

// Presets written for scheduled recordings. A timer plays one of these rather
// than a station address or the user's own preset, so that every run has a
// time limit and ends the program when it is over. They live in the
// "Scheduled" folder of the program folder and belong to their task.
namespace scheduledpreset
{

QString folder(const QString &programFolder);

// Writes the station and options of the preset with a time limit of that many
// minutes under a file name made from the task's name (never over an existing
// file). Returns the new file's absolute path, or empty when it cannot be written.
QString write(Preset preset, const QString &programFolder, const QString &taskName, int minutes);

// Deletes a preset written by write(); any other path is left alone.
bool remove(const QString &programFolder, const QString &path);

} // namespace scheduledpreset
