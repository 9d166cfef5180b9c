#pragma once

#include <QByteArray>

// The title carried by a metadata block, as a file name: the text after
// "StreamTitle='" up to the first apostrophe or semicolon, followed by ".mp3".
// The last character of the block is never taken (a block always ends in a
// terminator or padding).
QByteArray extractStreamTitle(const QByteArray &text);

// A file name without the characters no file name may hold (bar, angle
// brackets, double quote, question mark, asterisk, colon, slash, backslash) and
// without NUL (titles may carry NUL padding). Nothing is put in their place.
QByteArray cleanFileName(const QByteArray &name);
