#pragma once

#include "engine/framelevels.h"

struct mpg123_handle_struct;

namespace engine
{

// MPEG audio frames, decoded with libmpg123; a level comes a frame or two
// after its frame, since the decoder needs what follows it.
class Mp3Levels final : public FrameLevels
{
public:
    Mp3Levels();
    ~Mp3Levels() override;
    Mp3Levels(const Mp3Levels &) = delete;
    Mp3Levels &operator=(const Mp3Levels &) = delete;

    bool isValid() const override { return m_handle != nullptr; }
    void add(const char *frame, qsizetype length) override;
    std::deque<float> take() override;

private:
    mpg123_handle_struct *m_handle = nullptr;
    qint64 m_added = 0;   // frames given to the decoder
    qint64 m_decided = 0; // frames whose level is known
    std::deque<float> m_levels;
};

} // namespace engine
