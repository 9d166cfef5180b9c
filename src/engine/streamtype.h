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

} // namespace engine
