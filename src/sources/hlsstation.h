#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

#include "platform/clock.h"
#include "sources/hlsfollower.h"
#include "sources/hlsplaylist.h"
#include "sources/hlssegment.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace sources
{

// Records an HTTP Live Streaming station: reads the master playlist, follows
// the live media playlist of the preferred audio variant (the others are
// fallbacks), fetches each new segment once and in order, and hands out its
// audio as it was encoded, with the titles it carries. Segments that left
// the playlist before they could be fetched are reported as lost. All web
// requests go through the network access manager given and are timed on the
// clock given; nothing blocks.
//
//   HlsStation hls(network, clock, {userAgent, hls::Preference::HighestBandwidth});
//   connect(&hls, &HlsStation::audio, ...);
//   hls.start(QUrl("https://radio.example/live/master.m3u8"));
class HlsStation final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HlsStation)

public:
    struct Settings
    {
        QByteArray userAgent;
        hls::Preference preference = hls::Preference::HighestBandwidth;
    };

    HlsStation(QNetworkAccessManager &network, platform::Clock &clock, const Settings &settings,
               QObject *parent = nullptr);
    ~HlsStation() override;

    // Starts with the playlist at url. text, when given, is the playlist as
    // already read from there (a playlist reader recognised it), so it is not
    // fetched again.
    void start(const QUrl &url, const QByteArray &text = QByteArray());
    // Ends every request; nothing more is reported.
    void stop();
    bool isRunning() const { return m_running; }

    // Since start: segments the playlists listed, segments whose audio was
    // handed out, and what was lost (segments and their seconds).
    qint64 segmentsListed() const { return m_listed; }
    qint64 segmentsFetched() const { return m_fetched; }
    int lostSegments() const { return m_lostSegments; }
    double lostSeconds() const { return m_lostSeconds; }
    // The media playlist being followed, and its variant's bandwidth (bit/s, 0 unknown).
    const QUrl &mediaUrl() const { return m_mediaUrl; }
    qint64 bandwidth() const { return m_variant >= 0 ? m_variants.at(m_variant).bandwidth : 0; }

Q_SIGNALS:
    // Audio of one segment, or of the part of it before or after a title change.
    void audio(const QByteArray &data, sources::hls::AudioFormat format);
    // The title changed; the audio that follows belongs to it.
    void titleChanged(const QString &artist, const QString &title);
    // Audio was lost before the audio that follows: segments that left the
    // playlist unfetched, or could not be read (why says what went wrong).
    void segmentsLost(int segments, double seconds, const QString &why);
    // The station answered; it says more within about withinMs (a segment's
    // or the playlist's duration), so silence counts from then.
    void answered(qint64 withinMs);
    // The audio that follows does not continue what came before.
    void discontinuity();
    // The station cannot be recorded: no variant answered with a playlist,
    // or (unrecordable) its segments are encrypted. Nothing more is reported.
    void failed(const QString &text, bool unrecordable);
    // The playlist ended and every segment was handed out.
    void finished();

private:
    struct Fetched
    {
        QByteArray body;
        QUrl url; // after redirects
        QString error;
    };
    using Done = std::function<void(const Fetched &)>;
    struct Request
    {
        QPointer<QNetworkReply> reply;
        platform::Clock::CallId limit = 0;
        QElapsedTimer realStart;
        qsizetype maxBytes = 0;
        bool tooLarge = false;
    };

    void fetch(Request &request, const QUrl &url, qsizetype maxBytes, int limitMs, Done done);
    void drop(Request &request);

    void tryVariant(int index);
    void takePlaylist(const Fetched &result);
    void takeReload(const Fetched &result);
    void variantFailed(const QString &why);
    void follow(const hls::MediaPlaylist &playlist);
    void reload();
    void scheduleReload();
    void fetchNextSegment();
    void takeSegment(const hls::Segment &segment, const QByteArray &data);
    void handOut(const hls::Segment &segment, const hls::SegmentAudio &audio);
    void announceTitle(const QString &artist, const QString &title);
    void lose(int segments, double seconds, const QString &why);
    void fail(const QString &text, bool unrecordable = false);

    QNetworkAccessManager &m_network;
    platform::Clock &m_clock;
    Settings m_settings;
    bool m_running = false;
    quint32 m_generation = 0;

    QList<hls::Variant> m_variants; // in the order to try
    int m_variant = -1;             // index into m_variants; -1 for a media playlist given directly
    QUrl m_mediaUrl;
    std::optional<hls::LiveFollower> m_follower;
    bool m_followed = false;  // a media playlist of this run was accepted
    int m_reloadFailures = 0; // in a row
    QString m_lastFailure;
    double m_targetSeconds = 0;

    Request m_playlist;
    Request m_segment;
    Request m_init;
    platform::Clock::CallId m_reloadCall = 0;
    bool m_segmentBusy = false;
    bool m_retryAfterReload = false; // the next segment failed; try again once reloaded
    bool m_ended = false;
    std::optional<hls::MediaPlaylist> m_deferred; // reloaded while a segment was on its way
    QUrl m_initUrl;                               // EXT-X-MAP already fetched
    QByteArray m_initData;

    std::optional<std::pair<QString, QString>> m_title; // artist, title last announced
    qint64 m_listed = 0;
    qint64 m_fetched = 0;
    int m_lostSegments = 0;
    double m_lostSeconds = 0;
};

} // namespace sources
