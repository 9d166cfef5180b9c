#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace platform
{

// A sound output for interleaved signed 16-bit samples. Writes never block:
// the caller asks how much fits and comes back later (from a timer) for the rest,
// so that playback runs on the one user-interface thread.
class AudioOutput
{
public:
    virtual ~AudioOutput() = default;

    // Claims the output device; false (see errorString) when there is none.
    virtual bool open() = 0;
    // Sets the sample rate and channel count of what follows; drops what is queued.
    virtual bool setFormat(int sampleRate, int channels) = 0;
    // Frames that can be written now without blocking, or -1 after a fatal error.
    virtual qint64 framesWritable() = 0;
    // Writes up to frames frames; returns how many were taken, or -1 after a fatal error.
    virtual qint64 write(const qint16 *samples, qint64 frames) = 0;
    // Stops playback at once and releases the device.
    virtual void close() = 0;
    virtual QString errorString() const = 0;
};

// Makes a new, unopened output each time a player starts; nullptr when there is none.
using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

} // namespace platform
