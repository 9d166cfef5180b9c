#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class Preset;

// The clean-up of old dated archive recordings, run when an archive recording
// starts.
namespace engine
{

// Deletes from folder the archive files of this prefix whose date lies more
// than daysToKeep days before now: exactly the names the recorder gives them
// (prefix + "-" + date part, cleaned, as an MP3, AAC or Ogg file). Files of
// other prefixes, song titles and anything else are left alone, since presets
// share folders. Nothing happens for daysToKeep <= 0. Returns the number of
// files deleted; one that cannot be deleted is skipped.
int deleteOldArchives(const QString &folder, const QByteArray &prefix, int daysToKeep, const QDateTime &now);

// The same for the folder, prefix and days of a preset, unless its check box
// switched the clean-up off (which leaves the days as they were).
int deleteOldArchives(const Preset &preset, const QDateTime &now);

} // namespace engine
