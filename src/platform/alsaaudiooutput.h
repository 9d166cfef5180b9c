#pragma once

#include <QByteArray>

#include "platform/audiooutput.h"

typedef struct _snd_pcm snd_pcm_t;

namespace platform
{

// Plays through an ALSA PCM device ("default" unless told otherwise), opened non-blocking. About half a
// second is buffered in the device, so timer-driven writes keep it fed; an
// underrun is recovered from quietly and playback resumes once it refills.
class AlsaAudioOutput final : public AudioOutput
{
public:
    explicit AlsaAudioOutput(const QByteArray &device = QByteArrayLiteral("default"));
    ~AlsaAudioOutput() override;
    AlsaAudioOutput(const AlsaAudioOutput &) = delete;
    AlsaAudioOutput &operator=(const AlsaAudioOutput &) = delete;

    bool open() override;
    bool setFormat(int sampleRate, int channels) override;
    qint64 framesWritable() override;
    qint64 write(const qint16 *samples, qint64 frames) override;
    void close() override;
    QString errorString() const override { return m_error; }

private:
    bool fail(const char *what, int error);
    // Handles a negative ALSA result: true when the device is usable again.
    bool recover(int error);

    QByteArray m_device;
    snd_pcm_t *m_pcm = nullptr;
    bool m_configured = false;
    QString m_error;
};

} // namespace platform
