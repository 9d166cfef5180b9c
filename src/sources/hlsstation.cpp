#include "sources/hlsstation.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>

#include "sources/parsedurl.h"
#include "sources/requestvalue.h"
#include "sources/webrequest.h"

namespace sources
{
namespace
{

// A playlist that has not arrived this long after it was asked for has failed.
constexpr int kPlaylistLimitMs = 10000;
// Reloads of the variant being followed that fail in a row before the next
// variant is tried.
constexpr int kFailuresBeforeFallback = 3;

bool isWebUrl(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

} // namespace

HlsStation::HlsStation(QNetworkAccessManager &network, platform::Clock &clock, const Settings &settings,
                       QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_clock(clock)
    , m_settings(settings)
{}

HlsStation::~HlsStation()
{
    stop();
}

void HlsStation::start(const QUrl &url, const QByteArray &text)
{
    stop();
    m_running = true;
    m_variants.clear();
    m_variant = -1;
    m_mediaUrl = url;
    m_follower.emplace(m_clock);
    m_followed = false;
    m_reloadFailures = 0;
    m_lastFailure.clear();
    m_targetSeconds = 0;
    m_retryAfterReload = false;
    m_ended = false;
    m_deferred.reset();
    m_initUrl.clear();
    m_initData.clear();
    m_title.reset();
    m_listed = 0;
    m_fetched = 0;
    m_lostSegments = 0;
    m_lostSeconds = 0;

    const quint32 generation = m_generation;
    if (!text.isEmpty()) {
        // Reported later, as a fetched playlist is: the caller finishes its own start first.
        QTimer::singleShot(0, this, [this, generation, url, text] {
            if (generation == m_generation)
                takePlaylist({text, url, {}});
        });
        return;
    }
    fetch(m_playlist, url, hls::MaxPlaylistBytes, kPlaylistLimitMs,
          [this](const Fetched &result) { takePlaylist(result); });
}

void HlsStation::stop()
{
    ++m_generation;
    m_running = false;
    drop(m_playlist);
    drop(m_segment);
    drop(m_init);
    m_segmentBusy = false;
    m_clock.cancelCall(m_reloadCall);
    m_reloadCall = 0;
}

void HlsStation::fetch(Request &request, const QUrl &url, qsizetype maxBytes, int limitMs, Done done)
{
    drop(request);
    const quint32 generation = m_generation;
    const QUrl target = url.adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    ParsedUrl parsed;
    const QByteArray address = target.toEncoded();
    // Playlists are network data: what they name is fetched only from the web,
    // and nothing they say reaches a request line unscreened.
    if (!isWebUrl(target) || !isRequestSafe(address) || !parsed.setUri(address)) {
        QTimer::singleShot(0, this, [this, generation, url, done] {
            if (generation == m_generation)
                done({{}, url, tr("%1 is not a web address").arg(url.toDisplayString())});
        });
        return;
    }
    QNetworkRequest get = webRequest(parsed, m_settings.userAgent);
    // Segments come every few seconds from the same server: the connection is kept.
    get.setRawHeader(QByteArrayLiteral("Connection"), QByteArray());
    get.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    get.setMaximumRedirectsAllowed(kMaxRedirects);
    request.maxBytes = maxBytes;
    request.tooLarge = false;
    request.realStart.start();
    QNetworkReply *reply = m_network.get(get);
    request.reply = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [&request, reply](qint64 received, qint64 total) {
        if (request.reply == reply && (received > request.maxBytes || total > request.maxBytes)) {
            request.tooLarge = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, &request, reply, done] {
        if (request.reply != reply)
            return;
        m_clock.cancelCall(request.limit);
        request.limit = 0;
        request.reply = nullptr;
        reply->deleteLater();
        Fetched result;
        result.url = reply->url();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (request.tooLarge) {
            result.error = tr("the reply is too large");
        } else if (status >= 400 || (reply->error() == QNetworkReply::NoError && (status < 200 || status > 299))) {
            result.error = tr("the server answered %1 %2")
                               .arg(status)
                               .arg(QString::fromLatin1(cutAtControl(
                                   reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray())));
        } else if (reply->error() == QNetworkReply::SslHandshakeFailedError) {
            result.error = tlsFailureText(reply->url().host().toUtf8(), reply->errorString());
        } else if (reply->error() != QNetworkReply::NoError) {
            // A body cut short is no segment either.
            result.error = reply->errorString();
        } else {
            result.body = reply->read(request.maxBytes + 1);
            if (result.body.size() > request.maxBytes) {
                result.body.clear();
                result.error = tr("the reply is too large");
            }
        }
        done(result);
    });
    request.limit = m_clock.callAfter(limitMs, this, [this, &request, reply, generation, done] {
        request.limit = 0;
        afterMinimumRealTime(request.realStart, this, [this, &request, reply, generation, done] {
            if (generation != m_generation || request.reply != reply)
                return;
            drop(request);
            done({{}, reply->url(), tr("no answer in time")});
        });
    });
}

void HlsStation::drop(Request &request)
{
    m_clock.cancelCall(request.limit);
    request.limit = 0;
    if (QNetworkReply *reply = request.reply) {
        request.reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void HlsStation::takePlaylist(const Fetched &result)
{
    if (!result.error.isEmpty()) {
        fail(tr("The station's HLS playlist could not be loaded: %1.").arg(result.error));
        return;
    }
    const std::optional<hls::Playlist> playlist = hls::parsePlaylist(result.body, result.url);
    if (!playlist) {
        fail(tr("The station's HLS playlist cannot be read."));
        return;
    }
    if (playlist->isMaster) {
        m_variants = hls::variantsToTry(playlist->variants, m_settings.preference);
        if (m_variants.isEmpty()) {
            fail(tr("The station's HLS playlist names no stream."));
            return;
        }
        tryVariant(0);
        return;
    }
    m_mediaUrl = result.url;
    follow(playlist->media);
}

void HlsStation::tryVariant(int index)
{
    m_variant = index;
    m_mediaUrl = m_variants.at(index).uri;
    m_follower->reloadStarted();
    fetch(m_playlist, m_mediaUrl, hls::MaxPlaylistBytes, kPlaylistLimitMs,
          [this](const Fetched &result) { takeReload(result); });
}

void HlsStation::reload()
{
    m_reloadCall = 0;
    if (!m_running || m_playlist.reply)
        return;
    m_follower->reloadStarted();
    fetch(m_playlist, m_mediaUrl, hls::MaxPlaylistBytes, kPlaylistLimitMs,
          [this](const Fetched &result) { takeReload(result); });
}

void HlsStation::takeReload(const Fetched &result)
{
    std::optional<hls::Playlist> playlist;
    if (result.error.isEmpty())
        playlist = hls::parsePlaylist(result.body, result.url);
    if (!result.error.isEmpty() || !playlist || playlist->isMaster) {
        variantFailed(result.error.isEmpty() ? tr("%1 is not a media playlist").arg(result.url.toDisplayString())
                                             : result.error);
        return;
    }
    m_mediaUrl = result.url;
    // A segment being fetched is still pending: the window is taken in once
    // it arrived, so that it is not counted lost if it left the window meanwhile.
    if (m_segmentBusy)
        m_deferred = playlist->media;
    else
        follow(playlist->media);
}

void HlsStation::variantFailed(const QString &why)
{
    m_lastFailure = why;
    const int variants = static_cast<int>(m_variants.size());
    if (!m_followed) {
        if (m_variant >= 0 && m_variant + 1 < variants) {
            tryVariant(m_variant + 1);
            return;
        }
        fail(variants > 1 ? tr("None of the station's HLS streams could be loaded: %1.").arg(why)
                          : tr("The station's HLS playlist could not be loaded: %1.").arg(why));
        return;
    }
    // While recording, a station that stops answering is the recorder's to
    // judge from the silence; the playlist is asked again meanwhile, from the
    // next variant once this one failed repeatedly.
    if (++m_reloadFailures >= kFailuresBeforeFallback && variants > 1) {
        m_reloadFailures = 0;
        m_variant = (m_variant + 1) % variants;
        m_mediaUrl = m_variants.at(m_variant).uri;
    }
    m_clock.cancelCall(m_reloadCall);
    const int wait = std::max(500, static_cast<int>(m_targetSeconds * 500));
    m_reloadCall = m_clock.callAfter(wait, this, [this] { reload(); });
}

void HlsStation::follow(const hls::MediaPlaylist &playlist)
{
    m_followed = true;
    m_reloadFailures = 0;
    m_targetSeconds = playlist.targetDuration;
    const hls::LiveFollower::Update update = m_follower->accept(playlist);
    if (!update.refusal.isEmpty()) {
        fail(update.refusal, true);
        return;
    }
    m_listed += update.fresh.size();
    m_ended = update.ended;
    const quint32 generation = m_generation;
    Q_EMIT answered(static_cast<qint64>(playlist.targetDuration * 1000));
    if (generation != m_generation)
        return;
    m_retryAfterReload = false;
    if (update.lostSegments > 0) {
        lose(update.lostSegments, update.lostSeconds, tr("the segments left the playlist before they were fetched"));
        if (generation != m_generation)
            return;
    }
    scheduleReload();
    fetchNextSegment();
}

void HlsStation::scheduleReload()
{
    m_clock.cancelCall(m_reloadCall);
    m_reloadCall = 0;
    if (const std::optional<qint64> wait = m_follower->msUntilReload())
        m_reloadCall =
            m_clock.callAfter(static_cast<int>(std::min<qint64>(*wait, 3600000)), this, [this] { reload(); });
}

void HlsStation::fetchNextSegment()
{
    if (!m_running || m_segmentBusy || m_retryAfterReload)
        return;
    const std::optional<hls::Segment> next = m_follower->nextSegment();
    if (!next) {
        if (m_ended) {
            stop();
            Q_EMIT finished();
        }
        return;
    }
    m_segmentBusy = true;
    const hls::Segment segment = *next;
    const auto afterwards = [this] {
        m_segmentBusy = false;
        if (m_deferred) {
            const hls::MediaPlaylist playlist = *m_deferred;
            m_deferred.reset();
            follow(playlist);
        } else {
            fetchNextSegment();
        }
    };
    const auto fetchSegment = [this, segment, afterwards] {
        const int limit = std::max(kPlaylistLimitMs, static_cast<int>(m_targetSeconds * 2000));
        fetch(m_segment, segment.uri, hls::MaxSegmentBytes, limit, [this, segment, afterwards](const Fetched &result) {
            if (!result.error.isEmpty()) {
                // Tried again after the next reload, while the playlist still lists it.
                m_lastFailure = result.error;
                m_retryAfterReload = true;
                afterwards();
                return;
            }
            ++m_fetched;
            m_follower->fetched(segment.sequence);
            const quint32 generation = m_generation;
            takeSegment(segment, result.body);
            if (generation == m_generation)
                afterwards();
        });
    };
    if (segment.initSection.isEmpty() || segment.initSection == m_initUrl) {
        fetchSegment();
        return;
    }
    fetch(m_init, segment.initSection, hls::MaxSegmentBytes, kPlaylistLimitMs,
          [this, segment, fetchSegment, afterwards](const Fetched &result) {
              if (!result.error.isEmpty()) {
                  m_lastFailure = result.error;
                  m_retryAfterReload = true;
                  afterwards();
                  return;
              }
              m_initUrl = segment.initSection;
              m_initData = result.body;
              fetchSegment();
          });
}

void HlsStation::takeSegment(const hls::Segment &segment, const QByteArray &data)
{
    const hls::SegmentAudio audio = hls::segmentAudio(data, segment.initSection.isEmpty() ? QByteArray() : m_initData);
    const quint32 generation = m_generation;
    if (segment.discontinuity) {
        Q_EMIT discontinuity();
        if (generation != m_generation)
            return;
    }
    if (!audio.error.isEmpty()) {
        lose(1, segment.duration, audio.error);
        return;
    }
    // Titles the audio carries come at their place in it; else the playlist's.
    qsizetype from = 0;
    if (audio.titles.isEmpty() && (!segment.title.isEmpty() || !segment.artist.isEmpty()))
        announceTitle(segment.artist, segment.title);
    for (const hls::SegmentTitle &title : audio.titles) {
        if (generation != m_generation)
            return;
        const qsizetype at = std::clamp(title.audioOffset, from, audio.audio.size());
        if (at > from) {
            Q_EMIT this->audio(audio.audio.mid(from, at - from), audio.format);
            if (generation != m_generation)
                return;
            from = at;
        }
        announceTitle(title.artist, title.title);
    }
    if (generation == m_generation && from < audio.audio.size())
        Q_EMIT this->audio(from == 0 ? audio.audio : audio.audio.mid(from), audio.format);
    if (generation == m_generation)
        Q_EMIT answered(static_cast<qint64>(segment.duration * 1000));
}

void HlsStation::announceTitle(const QString &artist, const QString &title)
{
    if (m_title && m_title->first == artist && m_title->second == title)
        return;
    m_title = std::make_pair(artist, title);
    Q_EMIT titleChanged(artist, title);
}

void HlsStation::lose(int segments, double seconds, const QString &why)
{
    m_lostSegments += segments;
    m_lostSeconds += seconds;
    Q_EMIT segmentsLost(segments, seconds, why);
}

void HlsStation::fail(const QString &text, bool unrecordable)
{
    stop();
    Q_EMIT failed(text, unrecordable);
}

} // namespace sources
