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
    AudioSource(int bitRateKbps, bool tone, quint32 seed);
    // frames must not be empty; they are shared, not copied.
    explicit AudioSource(const QByteArray &frames);

    void read(char *destination, qint64 n);

private:
    std::optional<FrameGenerator> m_generator;
    QByteArray m_frames;
    qint64 m_position = 0;
};

} // namespace teststation
