#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The leading ID3v2 tag of HLS packed audio and the ID3 timed metadata of
// transport streams. Tags are network data: every length is checked against
// what is there, and a bad frame ends the reading, not the program.
namespace sources::id3
{

struct Tag
{
    QString title;  // TIT2, or a stream title in a TXXX frame
    QString artist; // TPE1
    // PRIV com.apple.streaming.transportStreamTimestamp: where the audio after
    // the tag starts, in 90 kHz units.
    std::optional<qint64> timestamp90k;

    bool namesNothing() const { return title.isEmpty() && artist.isEmpty(); }
};

// Bytes of the ID3v2 tag data opens with (header, footer included); 0 when it
// opens with none; the whole size when the tag claims more than there is.
qsizetype leadingTagSize(const QByteArray &data);

// Reads the frames of one tag (v2.3 or v2.4); nothing when it is not one.
std::optional<Tag> readTag(const QByteArray &tag);

} // namespace sources::id3
