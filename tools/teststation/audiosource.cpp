#include "teststation/audiosource.h"

#include <cstring>

namespace teststation
{

AudioSource::AudioSource(int bitRateKbps, bool tone, quint32 seed, int toneFrames, int silentFrames)
    : m_generator(std::in_place, bitRateKbps, tone, seed)
{
    m_generator->setSongs(toneFrames, silentFrames);
}

AudioSource::AudioSource(const QByteArray &frames)
    : m_frames(frames)
{}

void AudioSource::read(char *destination, qint64 n)
{
    if (m_prefixSent < m_prefix.size()) {
        const qint64 take = qMin<qint64>(n, m_prefix.size() - m_prefixSent);
        std::memcpy(destination, m_prefix.constData() + m_prefixSent, static_cast<size_t>(take));
        m_prefixSent += take;
        destination += take;
        n -= take;
    }
    if (n <= 0)
        return;
    if (m_generator) {
        m_generator->read(destination, n);
        return;
    }
    while (n > 0) {
        const qint64 take = qMin<qint64>(n, m_frames.size() - m_position);
        std::memcpy(destination, m_frames.constData() + m_position, static_cast<size_t>(take));
        destination += take;
        n -= take;
        m_position += take;
        if (m_position >= m_frames.size())
            m_position = 0;
    }
}

} // namespace teststation
