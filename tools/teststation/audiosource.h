#pragma once

#include <QByteArray>

#include <optional>

#include "teststation/framegenerator.h"

namespace teststation
{

// The endless audio of one stream connection: generated frames, or the frames
// of an MP3 file played in a loop. Each connection starts from the beginning.
class AudioSource final
{
public:
    AudioSource(int bitRateKbps, bool tone, quint32 seed, int toneFrames = 0, int silentFrames = 0);
    // frames must not be empty; they are shared, not copied.
    explicit AudioSource(const QByteArray &frames);

    // Bytes sent before the source's own audio (a server's burst of what an
    // earlier connection already had).
    void setPrefix(const QByteArray &bytes) { m_prefix = bytes; }

    void read(char *destination, qint64 n);

private:
    QByteArray m_prefix;
    qsizetype m_prefixSent = 0;
    std::optional<FrameGenerator> m_generator;
    QByteArray m_frames;
    qint64 m_position = 0;
};

} // namespace teststation
