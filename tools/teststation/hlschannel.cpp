#include "teststation/hlschannel.h"

#include "platform/clock.h"
#include "teststation/mp3frame.h"

namespace teststation
{
namespace
{

QByteArray syncSafe(quint32 n)
{
    QByteArray out;
    for (int shift : {21, 14, 7, 0})
        out.append(char((n >> shift) & 0x7F));
    return out;
}

QByteArray frame(const char *id, const QByteArray &body)
{
    return QByteArray(id) + syncSafe(quint32(body.size())) + QByteArray(2, '\0') + body;
}

} // namespace

HlsChannel::HlsChannel(Config &config, const QByteArray &prefix, int windowSize, int targetDuration,
                       const QByteArray &codecs)
    : m_config(config)
    , m_prefix(prefix)
    , m_windowSize(windowSize)
    , m_targetDuration(targetDuration)
{
    Page master;
    master.headers = {"Content-Type: application/vnd.apple.mpegurl"};
    master.body = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=48000,CODECS=\"" + codecs +
                  "\"\nlive.m3u8?variant=low\n#EXT-X-STREAM-INF:BANDWIDTH=128000,CODECS=\"" + codecs + "\"\n" +
                  m_prefix + "/live.m3u8\n";
    m_config.pages[masterPath()] = master;
    publish();
}

void HlsChannel::append(const Segment &segment)
{
    const qint64 sequence = nextSequence();
    const QByteArray path = m_prefix + "/" + QByteArray::number(sequence) + "-" + segment.fileName;
    m_window.append({sequence, segment, path});
    Page page;
    page.body = segment.data;
    m_config.pages[path] = page;
    while (m_window.size() > m_windowSize) {
        m_config.pages.remove(m_window.first().path);
        m_window.removeFirst();
        ++m_firstSequence;
    }
    publish();
}

void HlsChannel::skip(int count)
{
    for (const Listed &listed : m_window)
        m_config.pages.remove(listed.path);
    m_firstSequence += m_window.size() + count;
    m_window.clear();
    publish();
}

void HlsChannel::end()
{
    m_ended = true;
    publish();
}

void HlsChannel::publish()
{
    QByteArray text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" + QByteArray::number(m_targetDuration) +
                      "\n#EXT-X-MEDIA-SEQUENCE:" + QByteArray::number(m_firstSequence) + "\n";
    for (const Listed &listed : m_window) {
        if (listed.segment.discontinuity)
            text += "#EXT-X-DISCONTINUITY\n";
        text += "#EXTINF:" + QByteArray::number(listed.segment.seconds, 'f', 3);
        if (!listed.segment.title.isEmpty())
            text += " title=\"" + listed.segment.title + "\",artist=\"" + listed.segment.artist + "\"";
        text += ",\n" + listed.path.mid(m_prefix.size() + 1) + "\n";
    }
    if (m_ended)
        text += "#EXT-X-ENDLIST\n";
    Page media;
    media.headers = {"Content-Type: application/vnd.apple.mpegurl"};
    media.body = text;
    m_config.pages[mediaPath()] = media;
}

QByteArray HlsChannel::id3Tag(const QByteArray &title, const QByteArray &artist, qint64 timestamp90k)
{
    QByteArray stamp = "com.apple.streaming.transportStreamTimestamp";
    stamp.append('\0');
    for (int shift = 56; shift >= 0; shift -= 8)
        stamp.append(char((timestamp90k >> shift) & 0xFF));
    const QByteArray frames = frame("TIT2", "\x03" + title) + frame("TPE1", "\x03" + artist) + frame("PRIV", stamp);
    return "ID3" + QByteArray("\x04\0\0", 3) + syncSafe(quint32(frames.size())) + frames;
}

LiveMp3Feed::LiveMp3Feed(HlsChannel &channel, platform::Clock &clock, QObject *context, const QList<QByteArray> &titles)
    : m_channel(channel)
    , m_clock(clock)
    , m_context(context)
    , m_titles(titles.isEmpty() ? QList<QByteArray>{"Test Tone"} : titles)
{
    next();
}

void LiveMp3Feed::next()
{
    // Whole frames only, so that every segment plays on its own: 2 s at 44.1 kHz.
    constexpr int FramesPerSegment = 77;
    QByteArray audio;
    for (int i = 0; i < FramesPerSegment; ++i) {
        QByteArray frame = m_frames.read(4);
        const std::optional<Mp3FrameHeader> header = parseMp3FrameHeader(frame.constData());
        if (!header)
            break;
        audio += frame + m_frames.read(header->frameLength - 4);
    }
    const QByteArray title = m_titles.at(static_cast<int>((m_count / 3) % m_titles.size()));
    m_channel.append({HlsChannel::id3Tag(title, "Vorlane Test Station", m_count * 2 * 90000) + audio, 2, "segment.mp3",
                      title, "Vorlane Test Station", false});
    ++m_count;
    m_clock.callAfter(2000, m_context, [this] { next(); });
}

} // namespace teststation
