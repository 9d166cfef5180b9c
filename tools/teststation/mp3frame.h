#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace teststation
{

// The fields of an MPEG audio Layer III frame header that decide its length.
struct Mp3FrameHeader
{
    int version = 1; // 1 (MPEG-1), 2 (MPEG-2) or 25 (MPEG-2.5)
    int bitRateKbps = 0;
    int sampleRate = 0;
    bool padding = false;
    bool crc = false;
    int channels = 2;
    int frameLength = 0; // bytes, header included
};

// Reads the four header bytes at data (which must hold at least four bytes).
// Returns nothing when they are not a Layer III header with a fixed bit rate.
std::optional<Mp3FrameHeader> parseMp3FrameHeader(const char *data);

// The audio frames of an MP3 file: a leading ID3v2 tag, a trailing ID3v1 tag
// and anything before the first frame are dropped. bitRateKbps is the bit rate
// of the first frame.
struct Mp3Audio
{
    QByteArray frames;
    int bitRateKbps = 0;
};

// Loads an MP3 file; on failure returns nothing and sets *error.
std::optional<Mp3Audio> loadMp3File(const QString &path, QString *error);

} // namespace teststation
