#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The audio of one HLS media segment, taken out as it was encoded (never
// decoded): packed audio passes through without its leading ID3 tag; MPEG-TS
// and fragmented MP4 segments are demuxed by libavformat, AAC coming out with
// ADTS headers so that the result plays and concatenates like a stream.
namespace sources::hls
{

// Larger segments are refused (a few seconds of radio is well under a MiB).
constexpr qsizetype MaxSegmentBytes = 32 * 1024 * 1024;

enum class AudioFormat
{
    None,
    Aac,
    Mpeg
};

// A title carried by ID3 in the segment; it starts at audioOffset in audio.
struct SegmentTitle
{
    qsizetype audioOffset = 0;
    QString title;
    QString artist;
};

struct SegmentAudio
{
    AudioFormat format = AudioFormat::None;
    QByteArray audio;
    QByteArray id3; // the leading tag of packed audio, empty for none
    QList<SegmentTitle> titles;
    QString error; // set when no audio could be taken out
};

// initSection is the EXT-X-MAP data of a fragmented MP4 segment, else empty.
SegmentAudio segmentAudio(const QByteArray &segment, const QByteArray &initSection = QByteArray());

} // namespace sources::hls
