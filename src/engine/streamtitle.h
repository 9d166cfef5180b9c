#pragma once

#include <QByteArray>
#include <QString>

// The title carried by a metadata block, as a file name followed by ".mp3": the
// text after "StreamTitle='" up to the closing "';", so that apostrophes and
// semicolons inside a title stay part of it. When no "';" follows, the title
// ends at the first apostrophe or semicolon, or before the last character of
// the block (a block always ends in a terminator or padding).
QByteArray extractStreamTitle(const QByteArray &text);

// A file name without the characters no file name may hold (bar, angle
// brackets, double quote, question mark, asterisk, colon, slash, backslash) and
// without NUL (titles may carry NUL padding). Nothing is put in their place.
QByteArray cleanFileName(const QByteArray &name);

// Title bytes as text: UTF-8 when they are valid UTF-8, otherwise Windows-1252,
// the code page stations without UTF-8 send. Only for names and display; the
// bytes themselves go into the tag.
QString decodeTitle(const QByteArray &bytes);
