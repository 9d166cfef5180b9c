#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

#include "engine/streamoverlap.h"

namespace engine
{

// Finds the MP3 or ADTS frames of a stream as it arrives. A frame is taken
// only when its header starts a run of headers that agree (same format, each
// where the one before says it ends), or when it follows a frame already
// taken and the header after it agrees too (at the end of the stream, a whole
// last frame needs none); a chance sync word is never taken for a frame. Bytes
// that belong to no frame (a cut frame at the start, garbage) are skipped
// over and left to the caller. Linear in the bytes scanned.
class FrameScanner final
{
public:
    struct Frame
    {
        qint64 offset = 0; // in the stream
        AudioFrameHeader header;
    };

    // Scans buffer, which holds the stream from its byte `base` on and must
    // still hold every byte from position() on. Frames found are appended to
    // frames. With final set nothing more is coming: whatever is still
    // undecided belongs to no frame.
    void scan(const QByteArray &buffer, qint64 base, bool final, std::vector<Frame> &frames);

    // Forgets the frames so far: the stream goes on at position, afresh.
    void restart(qint64 position);

    // The stream up to here is decided: frames, or bytes that belong to none.
    qint64 position() const { return m_position; }
    // A run of frames was found and has not been broken since.
    bool locked() const { return m_locked; }
    // The format of the frames of that run.
    quint32 format() const { return m_format; }

private:
    // Where a run of agreeing headers starts at or after `at`; -1 when there is
    // none up to where the buffer allows deciding, which is then left in `at`.
    qsizetype findRun(const char *data, qsizetype size, qsizetype &at, bool final) const;

    qint64 m_position = 0;
    bool m_locked = false;
    quint32 m_format = 0;
};

} // namespace engine
