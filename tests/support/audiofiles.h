#pragma once

#include <QByteArray>
#include <QString>

// Recorded files as a player sees them, through ffmpeg.
namespace audiofiles
{

// The error lines `ffmpeg -v error -i FILE -f null -` prints decoding the
// file, and for MP3 files those of `mpg123 -t FILE`; empty for a file that
// plays cleanly. A decoder that cannot be run is an error too.
QString decodeErrors(const QString &path);
// Only the lines of `ffmpeg -v error -i FILE -f null -`.
QString ffmpegErrors(const QString &path);

// A second of a tone as one Ogg stream (codec "libvorbis" or "libopus") with
// these TITLE and ARTIST comments (left out when empty); empty on failure.
QByteArray encodeOgg(const QString &codec, const QString &title, const QString &artist, double seconds = 1.0);

// Songs of a tone with digital silence between them, encoded by ffmpeg as one
// ADTS AAC stream (44.1 kHz, 128 kbit/s); empty on failure.
QByteArray encodeAdtsSongs(double songSeconds, double gapSeconds, int songs);

// Where the title file for a title at byte `at` of audio begins without the
// pause search: after the frame the title falls into (`at` outside frames).
qint64 frameSplit(const QByteArray &audio, qint64 at);

// The audio of a recorded file: without the ID3v2 tag at its start and the
// 128-byte ID3v1 tag this program puts at its end.
QByteArray withoutTags(const QByteArray &file);

} // namespace audiofiles
