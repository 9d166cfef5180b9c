#include "engine/framescanner.h"

namespace engine
{

namespace
{

// Headers that must agree before the first of them counts as a frame.
constexpr int kRunFrames = 3;
constexpr qsizetype kHeaderBytes = 7;

} // namespace

qsizetype FrameScanner::findRun(const char *data, qsizetype size, qsizetype &at, bool final) const
{
    for (; at + kHeaderBytes <= size; ++at) {
        if (static_cast<unsigned char>(data[at]) != 0xFF)
            continue;
        const AudioFrameHeader first = audioFrameHeader(data + at, size - at);
        if (first.length == 0)
            continue;
        qsizetype next = at + first.length;
        int agreeing = 1;
        bool undecided = false;
        while (agreeing < kRunFrames) {
            if (next + kHeaderBytes > size) {
                undecided = !final;
                break;
            }
            const AudioFrameHeader header = audioFrameHeader(data + next, size - next);
            if (header.length == 0 || header.format != first.format)
                break;
            next += header.length;
            ++agreeing;
        }
        if (agreeing == kRunFrames)
            return at;
        if (undecided)
            return -1; // wait here for more of the stream
    }
    if (final)
        at = size;
    return -1;
}

void FrameScanner::restart(qint64 position)
{
    m_position = position;
    m_locked = false;
    m_format = 0;
}

void FrameScanner::scan(const QByteArray &buffer, qint64 base, bool final, std::vector<Frame> &frames)
{
    const char *data = buffer.constData();
    const qsizetype size = buffer.size();
    for (;;) {
        qsizetype at = static_cast<qsizetype>(m_position - base);
        if (m_locked) {
            if (at + kHeaderBytes > size) {
                if (!final)
                    return;
                m_locked = false; // a cut frame at the end
            } else {
                const AudioFrameHeader header = audioFrameHeader(data + at, size - at);
                if (header.length > 0 && header.format == m_format) {
                    if (at + header.length > size) {
                        if (!final)
                            return;
                        m_position = base + size;
                        m_locked = false;
                        return;
                    }
                    // A frame cut short by garbage is no frame: the next header must agree too.
                    const qsizetype next = at + header.length;
                    if (next + kHeaderBytes > size && !final)
                        return;
                    if (next + kHeaderBytes > size || audioFrameHeader(data + next, size - next).format == m_format) {
                        frames.push_back({m_position, header});
                        m_position += header.length;
                        continue;
                    }
                }
                m_locked = false; // the run broke off: search again from here
            }
        }
        const qsizetype run = findRun(data, size, at, final);
        if (run < 0) {
            m_position = base + at;
            return;
        }
        m_position = base + run;
        m_format = audioFrameHeader(data + run, size - run).format;
        m_locked = true;
    }
}

} // namespace engine
