#include "engine/mp3levels.h"

#include <mpg123.h>

namespace engine
{

Mp3Levels::Mp3Levels()
{
    int error = MPG123_OK;
    m_handle = mpg123_new(nullptr, &error);
    if (!m_handle)
        return;
    // Every frame is audio here (no info frame, no gapless trimming), so the
    // decoder's frame numbers are ours.
    mpg123_param(m_handle, MPG123_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME | MPG123_SKIP_ID3V2, 0.);
    mpg123_format_none(m_handle);
    for (const long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L})
        mpg123_format(m_handle, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(m_handle) != MPG123_OK) {
        mpg123_delete(m_handle);
        m_handle = nullptr;
    }
}

Mp3Levels::~Mp3Levels()
{
    if (m_handle)
        mpg123_delete(m_handle);
}

void Mp3Levels::add(const char *frame, qsizetype length)
{
    ++m_added;
    if (!m_handle || mpg123_feed(m_handle, reinterpret_cast<const unsigned char *>(frame), length) != MPG123_OK)
        return;
    for (;;) {
        off_t number = 0;
        unsigned char *audio = nullptr;
        size_t bytes = 0;
        const int result = mpg123_decode_frame(m_handle, &number, &audio, &bytes);
        if (result == MPG123_NEW_FORMAT)
            continue;
        if (result != MPG123_OK)
            break;
        // Frames the decoder skipped count as unplayable.
        while (m_decided < number && m_decided < m_added) {
            m_levels.push_back(-1.f);
            ++m_decided;
        }
        if (number < m_decided)
            continue;
        const auto *samples = reinterpret_cast<const qint16 *>(audio);
        const size_t count = bytes / sizeof(qint16);
        double sum = 0;
        for (size_t i = 0; i < count; ++i)
            sum += static_cast<double>(samples[i]) * samples[i];
        m_levels.push_back(count ? static_cast<float>(sum / count / (32768.0 * 32768.0)) : 0.f);
        ++m_decided;
    }
}

std::deque<float> Mp3Levels::take()
{
    std::deque<float> levels;
    levels.swap(m_levels);
    return levels;
}

} // namespace engine
