#pragma once

#include <QByteArray>

#include <deque>

// Finding where a reconnected stream repeats audio that is already on disk.
// Servers send a new listener the last part of their buffer at once, so the
// first seconds after a reconnect are often a copy of the end of the file.
// Matches are made on whole MP3 or AAC (ADTS) frames: a chance match of a few
// bytes never cuts audio.
namespace engine
{

// What a frame header says about its frame. Frames of one stream share
// `format` (MPEG: version, layer and sample rate; ADTS: version, profile,
// sample rate and channels), so a run of headers that agree on it is a stream
// of frames and not a chance sync word in the audio.
struct AudioFrameHeader
{
    qsizetype length = 0; // 0: no frame header here
    quint32 format = 0;
    int samples = 0; // per channel
    int sampleRate = 0;
    bool mpegLayer3 = false;
};

// The MPEG audio (layers I-III) or ADTS frame header at data. Needs at least
// 7 bytes of data, else no header.
AudioFrameHeader audioFrameHeader(const char *data, qsizetype available);

// Length in bytes of the MPEG audio (layers I-III) or ADTS frame whose header
// starts at data, 0 when the bytes there are no such header. Needs at least
// 7 bytes of data, else 0.
qsizetype audioFrameLength(const char *data, qsizetype available);

// Position of the first frame in data, from `from` on, that starts a run of
// `frames` whole frames one right after the other; -1 when there is none.
qsizetype firstFrameRun(const QByteArray &data, qsizetype from = 0, int frames = 3);

struct Overlap
{
    enum class Outcome
    {
        Undecided, // more of the fresh stream is needed
        Repeats,   // the first `skip` bytes of fresh are already written
        New,       // nothing to drop
    };
    Outcome outcome = Outcome::Undecided;
    qsizetype skip = 0;
};

// Compares the start of a reconnected stream (fresh) with the end of what was
// written before (written). Repeats when a whole frame of fresh and everything
// after it equals the end of written; the bytes before that first frame (a
// frame cut by the burst) are part of the repeat. With final set, what has
// arrived is all there is to decide on: a fresh stream that so far only
// repeats counts as a repeat in full, an unfinished search as new.
Overlap findOverlap(const QByteArray &written, const QByteArray &fresh, bool final);

// The end of what was written, for findOverlap: between kKeepBytes and twice
// that many of the newest bytes (trimmed to kKeepBytes once it grows beyond
// twice). Every block of a recording passes through here, so the blocks are
// kept shared rather than copied, and joined only when a reconnect compares.
class WrittenTail
{
public:
    static constexpr qsizetype kKeepBytes = 256 * 1024;

    void append(const QByteArray &data);
    void clear();
    bool isEmpty() const { return m_size == 0; }
    // The kept bytes in one piece.
    const QByteArray &bytes() const;

private:
    std::deque<QByteArray> m_blocks;
    qsizetype m_skip = 0; // bytes at the start of the first block that are no longer kept
    qsizetype m_size = 0;
    mutable QByteArray m_joined;
    mutable bool m_joinedValid = true;
};

} // namespace engine
