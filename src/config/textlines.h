#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Line-based text files of the program folder (station list, association
// backup). They are 8-bit files with CR LF line ends; on reading, LF and a lone
// CR end a line as well, and a final line end does not start another line.
//
// Characters: a file that is valid UTF-8 is read as UTF-8, any other as
// Latin-1 (one character per byte, so an 8-bit file always reads back as it
// was). Writing uses Latin-1 when every character fits, so such files keep
// their 8-bit form, and UTF-8 otherwise, so that no typed character is lost.

// The lines of the file, or nothing when it cannot be read.
std::optional<QStringList> readTextLines(const QString &path);

// Replaces the file atomically with the lines, each followed by CR LF. Returns
// false when the file could not be written (the old one is then kept).
bool writeTextLines(const QString &path, const QStringList &lines);
