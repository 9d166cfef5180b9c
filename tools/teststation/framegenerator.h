#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace teststation
{

// An endless run of MPEG-1 Layer III frames at a constant bit rate, 44.1 kHz
// stereo, that any decoder plays: a steady tone (about 306 Hz, some 18 dB below
// full scale) or silence. Padding follows the standard so the byte rate is
// exactly bitRate / 8 per second on average.
//
// The bytes after each frame's audio data (ancillary data, ignored by
// decoders) carry a pseudo-random pattern from the seed, so that two recordings
// can be compared byte for byte and a shifted copy never matches. No byte of
// the pattern is 0xFF (no false frame sync) or printable ASCII, so the stream
// never holds text that looks like protocol ("ICY 404", "StreamTitle='").
class FrameGenerator final
{
public:
    // bitRateKbps must be an MPEG-1 Layer III rate (32..320, e.g. 128).
    explicit FrameGenerator(int bitRateKbps = 128, bool tone = true, quint32 seed = 1);

    // The next n bytes of the stream (frames continue across calls).
    void read(char *destination, qint64 n);
    QByteArray read(qint64 n);

    int bitRateKbps() const { return m_bitRateKbps; }
    static bool isValidBitRate(int bitRateKbps);
    // Songs: from the next frame on, toneFrames of tone, then silentFrames of
    // silence, over and over (silentFrames 0: tone or silence throughout).
    void setSongs(int toneFrames, int silentFrames);
    // Bytes of the first `frames` frames at this bit rate.
    static qint64 bytesBefore(int bitRateKbps, qint64 frames);

private:
    void nextFrame();

    int m_bitRateKbps;
    int m_bitRateIndex;
    bool m_tone;
    quint32 m_random;
    int m_paddingRest = 0;
    int m_toneFrames = 0;
    int m_silentFrames = 0;
    qint64 m_frameNumber = 0; // frames made since setSongs
    QByteArray m_frame;
    qsizetype m_position = 0;
};

} // namespace teststation
