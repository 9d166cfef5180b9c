#pragma once

#include <QtGlobal>

#include <deque>
#include <memory>

namespace engine
{

// The loudness of each frame of a compressed stream, from its decoder. Frames
// go in whole and in stream order; their levels come out in the same order,
// as soon as the decoder has them (for MP3 a frame or two later). Only
// measured: nothing decoded is written anywhere.
class FrameLevels
{
public:
    virtual ~FrameLevels() = default;

    virtual bool isValid() const = 0;
    // Decodes one frame. Its level, and those of frames before it, can then be taken.
    virtual void add(const char *frame, qsizetype length) = 0;
    // The levels decided since the last call, oldest first: mean square of the
    // samples, full scale 1; -1 for a frame the decoder could not play.
    virtual std::deque<float> take() = 0;
};

// ADTS (AAC) frames, decoded with libavcodec.
std::unique_ptr<FrameLevels> makeAdtsLevels();

} // namespace engine
