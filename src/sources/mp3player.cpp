#include "sources/mp3player.h"

#include <QTimer>

#include <mpg123.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace
{

// How often queued samples are handed to the sound output; the output buffers
// about half a second, so this keeps it comfortably fed.
constexpr int kPumpIntervalMs = 20;
// Undecoded audio kept while the output lags; beyond it the oldest is skipped
// (about a minute at 128 kb/s), so a stalled device cannot make memory grow.
constexpr qsizetype kMaxBacklog = 1 << 20;
// Input handed to the decoder at a time, and its output buffer.
constexpr qsizetype kFeedChunk = 16 * 1024;
constexpr std::size_t kDecodeBufferBytes = 32 * 1024;
// The longest MPEG audio frame (Layer II, 384 kb/s, 32 kHz, padded) plus a header.
constexpr qsizetype kMaxFrameBytes = 1729 + 4;

// Length in bytes of the MPEG audio frame whose header starts at h, or 0 when
// these four bytes are not a usable frame header (free-format frames included).
int mpegFrameLength(const unsigned char *h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (h[1] >> 3) & 3; // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layer = (h[1] >> 1) & 3;   // 1: III, 2: II, 3: I
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 || (h[3] & 3) == 2)
        return 0;

    static const int kBitrates[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // MPEG-1 Layer I
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // MPEG-1 Layer II
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // MPEG-1 Layer III
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // MPEG-2/2.5 Layer I
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // MPEG-2/2.5 Layer II, III
    };
    static const int kRates[3] = {44100, 48000, 32000};

    const bool mpeg1 = version == 3;
    const int table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
    const int bitrate = kBitrates[table][bitrateIndex] * 1000;
    const int rate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
    if (layer == 3)
        return (12 * bitrate / rate + padding) * 4;
    if (layer == 1 && !mpeg1)
        return 72 * bitrate / rate + padding;
    return 144 * bitrate / rate + padding;
}

// Two frames belong to one stream when version, layer and sample rate agree.
bool sameStream(const unsigned char *a, const unsigned char *b)
{
    return (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

// Where the first frame of data starts: a frame header followed, right after
// the frame, by a header of the same stream. -1 when none is found; then
// keepFrom tells which bytes may still turn out to hold one.
qsizetype findFirstFrame(const QByteArray &data, qsizetype &keepFrom)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const qsizetype size = data.size();
    for (qsizetype p = 0; p + 4 <= size; ++p) {
        const int length = mpegFrameLength(bytes + p);
        if (length == 0)
            continue;
        if (p + length + 4 > size) {
            keepFrom = p; // the second header has not arrived yet
            return -1;
        }
        if (mpegFrameLength(bytes + p + length) != 0 && sameStream(bytes + p, bytes + p + length))
            return p;
    }
    keepFrom = std::max<qsizetype>(0, size - 3);
    return -1;
}

// The listening volume as a gain. Loudness follows the cube of the slider
// position, which makes equal slider steps sound like equal steps.
double volumeGain(int volume)
{
    if (volume < 0)
        return 1.0;
    const double position = std::min(volume, 100) / 100.0;
    return position * position * position;
}

void ensureLibraryInitialised()
{
    static const int rc = mpg123_init();
    Q_UNUSED(rc);
}

} // namespace

Mp3Player::Mp3Player(platform::AudioOutputFactory makeOutput, QObject *parent)
    : QObject(parent)
    , m_makeOutput(std::move(makeOutput))
    , m_pumpTimer(new QTimer(this))
{
    m_pumpTimer->setInterval(kPumpIntervalMs);
    connect(m_pumpTimer, &QTimer::timeout, this, &Mp3Player::pump);
}

Mp3Player::~Mp3Player()
{
    releaseStream();
}

bool Mp3Player::play()
{
    if (m_state == State::Playing)
        return true;

    m_output = m_makeOutput ? m_makeOutput() : nullptr;
    m_outputFailed = !m_output || !m_output->open();
    if (m_outputFailed) {
        m_error = m_output ? m_output->errorString() : QStringLiteral("No sound output");
        m_output.reset();
        return false;
    }
    if (!createDecoder()) {
        releaseStream();
        return false;
    }
    m_error.clear();
    m_bytesReceived = 0;
    m_framesDecoded = 0;
    m_pumpTimer->start();
    setState(State::Playing);
    return true;
}

void Mp3Player::stop()
{
    releaseStream();
    setState(State::Stopped);
}

void Mp3Player::setVolume(qint16 balance, qint16 masterVolume, qint16 volume)
{
    // The system mixer applies the master volume after us; applying it here too would count it twice.
    Q_UNUSED(masterVolume);
    const double gain = volumeGain(volume);
    const int centre = std::clamp<int>(balance, 0, 100);
    m_gain[0] = gain * std::min(1.0, (100 - centre) / 50.0);
    m_gain[1] = gain * std::min(1.0, centre / 50.0);
}

void Mp3Player::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

void Mp3Player::fail(const QString &message, bool soundOutput)
{
    const QString text = message;
    stop();
    m_error = text;
    m_outputFailed = soundOutput;
    Q_EMIT failed();
}

void Mp3Player::releaseStream()
{
    m_pumpTimer->stop();
    if (m_decoder) {
        mpg123_delete(m_decoder);
        m_decoder = nullptr;
    }
    if (m_output) {
        m_output->close();
        m_output.reset();
    }
    m_synced = false;
    m_scan.clear();
    m_input.clear();
    m_inputPos = 0;
    m_pcm.clear();
    m_pcmPos = 0;
    m_channels = 0;
}

bool Mp3Player::createDecoder()
{
    ensureLibraryInitialised();
    int rc = MPG123_OK;
    m_decoder = mpg123_new(nullptr, &rc);
    if (!m_decoder) {
        m_error = QString::fromLatin1(mpg123_plain_strerror(rc));
        return false;
    }
    mpg123_param(m_decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    // Junk inside the stream (a station's header after the recorder reconnects) is searched through.
    mpg123_param(m_decoder, MPG123_RESYNC_LIMIT, -1, 0.0);
    // Signed 16-bit at the stream's own rate and channel count, whatever they are.
    mpg123_format_none(m_decoder);
    const long *rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(m_decoder, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(m_decoder) != MPG123_OK) {
        m_error = QString::fromLatin1(mpg123_strerror(m_decoder));
        return false;
    }
    m_decodeBuffer.resize(kDecodeBufferBytes);
    return true;
}

void Mp3Player::feed(const QByteArray &data)
{
    if (m_state != State::Playing || data.isEmpty())
        return;
    m_bytesReceived += data.size();
    if (!m_synced) {
        m_scan += data;
        qsizetype keepFrom = 0;
        const qsizetype start = findFirstFrame(m_scan, keepFrom);
        if (start < 0) {
            // Header text or a partial frame: keep only what may still start a frame.
            m_scan.remove(0, std::max(keepFrom, m_scan.size() - kMaxFrameBytes));
            return;
        }
        m_synced = true;
        m_input += m_scan.mid(start);
        m_scan.clear();
    } else {
        m_input += data;
    }
    pump();
    // Only what the output could not take counts as lagging behind; the
    // skipped bytes are let go once there are as many as are kept.
    const qsizetype backlog = m_input.size() - m_inputPos;
    if (backlog > kMaxBacklog)
        m_inputPos += backlog - kMaxBacklog;
    if (m_inputPos > kMaxBacklog) {
        m_input.remove(0, m_inputPos);
        m_inputPos = 0;
    }
}

bool Mp3Player::decodeMore()
{
    std::size_t done = 0;
    int rc = mpg123_decode(m_decoder, nullptr, 0, m_decodeBuffer.data(), m_decodeBuffer.size(), &done);
    while (rc == MPG123_NEED_MORE && done == 0) {
        const qsizetype available = m_input.size() - m_inputPos;
        if (available <= 0) {
            m_input.clear();
            m_inputPos = 0;
            return false;
        }
        const qsizetype chunk = std::min(available, kFeedChunk);
        rc = mpg123_decode(m_decoder, reinterpret_cast<const unsigned char *>(m_input.constData() + m_inputPos),
                           static_cast<std::size_t>(chunk), m_decodeBuffer.data(), m_decodeBuffer.size(), &done);
        m_inputPos += chunk;
        if (m_inputPos > kFeedChunk * 4) {
            m_input.remove(0, m_inputPos);
            m_inputPos = 0;
        }
    }
    if (rc == MPG123_NEW_FORMAT) {
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        mpg123_getformat(m_decoder, &rate, &channels, &encoding);
        if (!m_output->setFormat(static_cast<int>(rate), channels)) {
            fail(m_output->errorString(), true);
            return false;
        }
        m_channels = channels;
    } else if (rc != MPG123_OK && rc != MPG123_NEED_MORE) {
        // The decoder gave up on this data; start afresh at the next good frame.
        mpg123_delete(m_decoder);
        m_decoder = nullptr;
        const qint64 decoded = m_framesDecoded;
        if (!createDecoder()) {
            fail(m_error);
            return false;
        }
        m_framesDecoded = decoded;
        m_synced = false;
        m_scan = m_input.mid(m_inputPos);
        m_input.clear();
        m_inputPos = 0;
        return false;
    }
    if (done > 0 && m_channels > 0) {
        const auto *samples = reinterpret_cast<const qint16 *>(m_decodeBuffer.data());
        m_pcm.insert(m_pcm.end(), samples, samples + done / sizeof(qint16));
    }
    const off_t frame = mpg123_tellframe(m_decoder);
    if (frame > m_framesDecoded)
        m_framesDecoded = frame;
    return true;
}

void Mp3Player::pump()
{
    while (m_output && m_decoder) {
        if (m_pcmPos < m_pcm.size()) {
            const qint64 room = m_output->framesWritable();
            if (room < 0) {
                fail(m_output->errorString(), true);
                return;
            }
            if (room == 0)
                break;
            const auto queuedFrames = static_cast<qint64>((m_pcm.size() - m_pcmPos) / m_channels);
            const qint64 frames = std::min(room, queuedFrames);
            const auto count = static_cast<std::size_t>(frames * m_channels);
            m_scaled.resize(count);
            for (std::size_t i = 0; i < count; ++i) {
                const double gain = m_channels == 2 ? m_gain[i % 2] : std::max(m_gain[0], m_gain[1]);
                m_scaled[i] = static_cast<qint16>(std::lround(m_pcm[m_pcmPos + i] * gain));
            }
            const qint64 written = m_output->write(m_scaled.data(), frames);
            if (written < 0) {
                fail(m_output->errorString(), true);
                return;
            }
            if (written == 0)
                break;
            m_pcmPos += static_cast<std::size_t>(written * m_channels);
            if (m_pcmPos >= m_pcm.size()) {
                m_pcm.clear();
                m_pcmPos = 0;
            }
            continue;
        }
        if (!decodeMore())
            break;
    }
}
