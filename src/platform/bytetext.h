#pragma once

#include <QByteArray>

namespace platform
{

// Removes space characters (only spaces, not tabs or line ends) from both ends
// of 8-bit text, as the protocol and file readers expect.
QByteArray trimSpaces(const QByteArray &text);

// True for one or more decimal digits and nothing else (no sign, no blanks).
bool isWholeNumber(const QByteArray &text);

} // namespace platform
