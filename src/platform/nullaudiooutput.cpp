#include "platform/nullaudiooutput.h"

#include <algorithm>
#include <cstdlib>

namespace platform
{

namespace
{
// What a null output offers per call: plenty, but finite like a real device buffer.
constexpr qint64 kWritableFrames = 1 << 16;
} // namespace

NullAudioOutput::NullAudioOutput(std::shared_ptr<NullAudioCounters> counters)
    : m_counters(counters ? std::move(counters) : std::make_shared<NullAudioCounters>())
{}

NullAudioOutput::~NullAudioOutput()
{
    close();
}

bool NullAudioOutput::open()
{
    m_counters->open = true;
    ++m_counters->opens;
    return true;
}

bool NullAudioOutput::setFormat(int sampleRate, int channels)
{
    if (!m_counters->open || sampleRate <= 0 || channels <= 0)
        return false;
    m_counters->sampleRate = sampleRate;
    m_counters->channels = channels;
    return true;
}

qint64 NullAudioOutput::framesWritable()
{
    return m_counters->open && m_counters->channels > 0 ? kWritableFrames : 0;
}

qint64 NullAudioOutput::write(const qint16 *samples, qint64 frames)
{
    if (!m_counters->open || m_counters->channels <= 0)
        return -1;
    frames = std::min(frames, kWritableFrames);
    const int channels = m_counters->channels;
    for (qint64 i = 0; i < frames * channels; ++i) {
        const auto ch = static_cast<std::size_t>(i % channels);
        if (ch < 2)
            m_counters->peaks[ch] = std::max(m_counters->peaks[ch], std::abs(static_cast<int>(samples[i])));
    }
    m_counters->framesWritten += frames;
    return frames;
}

void NullAudioOutput::close()
{
    m_counters->open = false;
}

} // namespace platform
