#pragma once

#include <QByteArray>
#include <QString>

// Whether a file already on disk is a recording, so that it may be replaced by
// a new one. Anything else is the user's and is never deleted.
namespace engine
{

// Whether the start of a file holds what a recording starts with: two MPEG
// audio or ADTS frames in a row, an Ogg page, an ID3v2 tag, or the reply
// header text that earlier recordings began with.
bool looksLikeAudio(const QByteArray &head);

// True for a file that may be replaced: an empty file, one that looksLikeAudio,
// or one that ends in this program's own ID3v1 tag. False for anything else
// and for what cannot be read (a folder included).
bool isReplaceableRecording(const QString &path);

} // namespace engine
