#pragma once

#include <memory>

#include "platform/audiooutput.h"

namespace platform
{

// What a null output saw. Shared, so that it outlives the outputs a player
// creates and releases.
struct NullAudioCounters
{
    int opens = 0;
    bool open = false;
    int sampleRate = 0;
    int channels = 0;
    qint64 framesWritten = 0;
    // Largest absolute sample value written, for the first two channels.
    int peaks[2] = {0, 0};
};

// An output without a device: it takes everything at once and only counts it.
// Machines without a sound card (CI) play through it.
class NullAudioOutput final : public AudioOutput
{
public:
    explicit NullAudioOutput(std::shared_ptr<NullAudioCounters> counters = nullptr);
    ~NullAudioOutput() override;

    bool open() override;
    bool setFormat(int sampleRate, int channels) override;
    qint64 framesWritable() override;
    qint64 write(const qint16 *samples, qint64 frames) override;
    void close() override;
    QString errorString() const override { return QString(); }

    const NullAudioCounters &counters() const { return *m_counters; }

private:
    std::shared_ptr<NullAudioCounters> m_counters;
};

} // namespace platform
