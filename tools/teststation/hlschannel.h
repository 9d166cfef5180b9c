#pragma once

#include <QByteArray>
#include <QList>

#include "teststation/framegenerator.h"
#include "teststation/stationconfig.h"

namespace platform
{
class Clock;
}
class QObject;

namespace teststation
{

// An HLS channel served as pages of a Station: a master playlist with two
// variants that both name the one live media playlist, a sliding window of
// segments, and on demand a sequence gap (segments that come and go unseen),
// a discontinuity and the end. Segment bytes come from the caller (ADTS with
// an ID3 tag from id3Tag(), MPEG-TS made with ffmpeg, ...). Segments that
// leave the window are no longer served.
//
//   HlsChannel hls(station.config());
//   hls.append({id3 + adts, 2.0, "segment.aac"});
//   follower reloads station.url(hls.mediaPath()) ...
class HlsChannel
{
public:
    struct Segment
    {
        QByteArray data;
        double seconds = 2;
        QByteArray fileName = "segment.aac"; // its extension is kept
        QByteArray title;                    // EXTINF title="…", empty for none
        QByteArray artist;
        bool discontinuity = false;
    };

    // codecs goes into the master playlist: "mp4a.40.2" AAC, "mp4a.40.34" MP3.
    explicit HlsChannel(Config &config, const QByteArray &prefix = "/hls", int windowSize = 3, int targetDuration = 2,
                        const QByteArray &codecs = "mp4a.40.2");

    QByteArray masterPath() const { return m_prefix + "/master.m3u8"; }
    QByteArray mediaPath() const { return m_prefix + "/live.m3u8"; }

    // Lists a new segment, sliding the oldest out of a full window.
    void append(const Segment &segment);
    // count segments are produced and withdrawn before any reload sees them.
    void skip(int count);
    void end();

    qint64 nextSequence() const { return m_firstSequence + m_window.size(); }

    // An ID3v2.4 tag as packed audio opens with: TIT2, TPE1 and the 90 kHz
    // timestamp of the audio after it.
    static QByteArray id3Tag(const QByteArray &title, const QByteArray &artist, qint64 timestamp90k);

private:
    struct Listed
    {
        qint64 sequence;
        Segment segment;
        QByteArray path;
    };
    void publish();

    Config &m_config;
    QByteArray m_prefix;
    int m_windowSize;
    int m_targetDuration;
    qint64 m_firstSequence = 0;
    QList<Listed> m_window;
    bool m_ended = false;
};

// Keeps a channel live for the program: every two seconds a packed MP3
// segment of generated frames with an ID3 title, the title changing every
// third segment.
class LiveMp3Feed
{
public:
    LiveMp3Feed(HlsChannel &channel, platform::Clock &clock, QObject *context, const QList<QByteArray> &titles);

private:
    void next();

    HlsChannel &m_channel;
    platform::Clock &m_clock;
    QObject *m_context;
    QList<QByteArray> m_titles;
    FrameGenerator m_frames;
    qint64 m_count = 0;
};

} // namespace teststation
