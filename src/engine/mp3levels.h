#pragma once

#include <QtGlobal>

#include <deque>

struct mpg123_handle_struct;

namespace engine
{

// The loudness of each MPEG audio frame of a stream, decoded with libmpg123.
// Frames go in whole and in stream order; their levels come out in the same
// order, a frame or two later, since the decoder needs what follows a frame.
class Mp3Levels final
{
public:
    Mp3Levels();
    ~Mp3Levels();
    Mp3Levels(const Mp3Levels &) = delete;
    Mp3Levels &operator=(const Mp3Levels &) = delete;

    bool isValid() const { return m_handle != nullptr; }
    // Decodes one frame. Its level, and those of frames before it, can then be taken.
    void add(const char *frame, qsizetype length);
    // The levels decided since the last call, oldest first: mean square of the
    // samples, full scale 1; -1 for a frame the decoder could not play.
    std::deque<float> take();

private:
    mpg123_handle_struct *m_handle = nullptr;
    qint64 m_added = 0;   // frames given to the decoder
    qint64 m_decided = 0; // frames whose level is known
    std::deque<float> m_levels;
};

} // namespace engine
