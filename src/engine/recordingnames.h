#pragma once

#include <QByteArray>
#include <QDate>

// Names of recording files, before cleaning. The date part is month, day and
// four-digit year, each with leading zeros and no separators (07 March 2026 is
// "03072026"), so that dated names sort by nothing but are read back by the
// clean-up of old recordings.
namespace engine
{

QByteArray datePart(const QDate &day);

// prefix + "-" + date part + ".mp3": the dated archive file and the station-named
// first file of a title-mode recording.
QByteArray datedFileName(const QByteArray &prefix, const QDate &day);

// "unknown-" + date part + ".mp3": the first file when the station sent no name.
QByteArray unknownFileName(const QDate &day);

// "unknown-" + number + "-" + date part + ".mp3": used when a file cannot be
// created under its own name.
QByteArray fallbackFileName(int number, const QDate &day);

} // namespace engine
