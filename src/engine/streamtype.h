#pragma once

#include <QByteArray>

#include <optional>

// What a stream carries, from its "Content-Type", and what that means for the
// recording files: only MP3 goes into ".mp3" files with an ID3v1 tag.
namespace engine
{

enum class StreamType
{
    Mp3, // audio/mpeg, or no type at all (as older servers send)
    Aac, // audio/aac, audio/aacp, audio/x-aac: split by title, no tag
    Ogg, // application/ogg, audio/ogg: one file per recording, no tag
    Other,
};

// The type a Content-Type value names; parameters (";...") and letter case do
// not matter. No value at all is MP3.
StreamType streamType(const std::optional<QByteArray> &contentType);

// The file name for that type: a ".mp3" ending (any case) becomes ".aac" or
// ".ogg", and a name without it gets the ending added. MP3 names stay as given.
QByteArray withStreamExtension(const QByteArray &fileName, StreamType type);

// The single file's name for a stream of that type: the audio extension of the
// user's name (".mp3", ".aac", ".ogg", any case) replaced by the type's, or the
// type's added to a name without one ("notes.txt" becomes "notes.txt.mp3"),
// so that the file's extension always says what it holds. Before the type is
// known (none) a name's own audio extension stays and others get ".mp3".
QByteArray singleFileName(const QByteArray &fileName, std::optional<StreamType> type);

// Whether the name ends in an audio extension (any letter case).
bool hasAudioExtension(const QByteArray &fileName);

} // namespace engine
