#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>

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

// The longest file name, in bytes of its UTF-8 form, that Linux file systems
// take (with the extension).
inline constexpr int kMaxFileNameBytes = 255;

// The length of the audio extension a name ends in (".mp3", ".aac" or ".ogg",
// any letter case); 0 without one.
qsizetype audioExtensionLength(const QString &name);

// The file name on disk for a recording name: cleaned, decoded like title text
// (decodeTitle), without leading dots and blanks, with " (copy)" before its
// audio extension from the second copy on, and shortened on a character
// boundary until it fits kMaxFileNameBytes. Empty when nothing but the
// extension would be left (this includes "." and "..").
QString recordingFileName(const QByteArray &name, int copy = 1);

// The date written in a dated name: the 8 characters before its last 4 (".mp3")
// read as month, day and four-digit year. None when they are not all digits or
// do not form a real date (month 13 or day 40 are not rolled over).
std::optional<QDate> archiveDate(const QByteArray &fileName);

} // namespace engine
