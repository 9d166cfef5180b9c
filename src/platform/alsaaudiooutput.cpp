#include "platform/alsaaudiooutput.h"

#include <alsa/asoundlib.h>

#include <cerrno>

#include "platform/alsasupport.h"

namespace platform
{

namespace
{
constexpr unsigned kLatencyMicroseconds = 500000;
} // namespace

AlsaAudioOutput::AlsaAudioOutput(const QByteArray &device)
    : m_device(device)
{}

AlsaAudioOutput::~AlsaAudioOutput()
{
    close();
}

bool AlsaAudioOutput::fail(const char *what, int error)
{
    m_error = QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(snd_strerror(error));
    return false;
}

bool AlsaAudioOutput::open()
{
    if (m_pcm)
        return true;
    silenceAlsaDiagnostics();
    m_configured = false;
    const int rc = snd_pcm_open(&m_pcm, m_device.constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (rc < 0) {
        m_pcm = nullptr;
        return fail("Cannot open the sound device", rc);
    }
    return true;
}

bool AlsaAudioOutput::setFormat(int sampleRate, int channels)
{
    if (!m_pcm)
        return false;
    if (m_configured)
        snd_pcm_drop(m_pcm);
    m_configured = false;
    const int rc =
        snd_pcm_set_params(m_pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(channels),
                           static_cast<unsigned>(sampleRate), 1, kLatencyMicroseconds);
    if (rc < 0)
        return fail("Cannot set the sound format", rc);
    m_configured = true;
    return true;
}

bool AlsaAudioOutput::recover(int error)
{
    if (error == -EAGAIN)
        return true;
    const int rc = snd_pcm_recover(m_pcm, error, 1);
    if (rc < 0) {
        fail("Sound device failed", rc);
        return false;
    }
    return true;
}

qint64 AlsaAudioOutput::framesWritable()
{
    if (!m_pcm || !m_configured)
        return -1;
    snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm);
    if (avail < 0) {
        if (!recover(static_cast<int>(avail)))
            return -1;
        avail = snd_pcm_avail_update(m_pcm);
        if (avail < 0)
            return 0;
    }
    return avail;
}

qint64 AlsaAudioOutput::write(const qint16 *samples, qint64 frames)
{
    if (!m_pcm || !m_configured)
        return -1;
    const snd_pcm_sframes_t written = snd_pcm_writei(m_pcm, samples, static_cast<snd_pcm_uframes_t>(frames));
    if (written < 0)
        return recover(static_cast<int>(written)) ? 0 : -1;
    return written;
}

void AlsaAudioOutput::close()
{
    if (!m_pcm)
        return;
    snd_pcm_drop(m_pcm);
    snd_pcm_close(m_pcm);
    m_pcm = nullptr;
    m_configured = false;
}

} // namespace platform
