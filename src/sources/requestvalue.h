#pragma once

#include <QByteArray>

// Values from stations, playlists and web pages end up in our request lines and
// header lines. A CR or LF there would end the line and let the sender add
// header lines or a second request of its own; a NUL or another control
// character ends a line for some servers. Every such value passes here.
namespace sources
{

// A byte below 0x20 or DEL.
bool isControlByte(char c);

// No control byte anywhere in the value.
bool isRequestSafe(const QByteArray &value);

// The value up to (not including) its first control byte: a header value
// taken from a reply ends where its line would end for any reader.
QByteArray cutAtControl(const QByteArray &value);

} // namespace sources
