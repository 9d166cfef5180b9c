// Recorder, recording engine: HTTP Live Streaming stations. The playlist the
// playlist reader found is the recording's one server; a server of a
// playlist that answers with an HLS playlist is followed the same way, the
// other servers staying its fallbacks. Connecting to such a server
// starts an HlsStation, whose audio and titles go the way a stream's do, so
// files, modes, pause, listening, time limit and outages work as for any
// station. Silence counts from when the station's next segment is due.
#include <QLoggingCategory>

#include "config/inivalues.h"
#include "engine/recorder.h"
#include "engine/recordingnames.h"
#include "engine/streamrequest.h"
#include "sources/hlsstation.h"

namespace
{

Q_LOGGING_CATEGORY(lcHls, "vorlane.hls", QtInfoMsg)

// An in-band title block holds at most 4080 bytes.
constexpr qsizetype kMaxTitleChars = 1000;

} // namespace

void Recorder::beginHlsRecording(const QUrl &url, const QByteArray &playlist)
{
    createHlsStation(url, 1);
    m_hlsPlaylist = playlist;
    const bool secure = url.scheme() == QLatin1String("https");
    m_servers = {{url.host().toUtf8(), QByteArray::number(url.port(secure ? 443 : 80)),
                  url.path(QUrl::FullyEncoded).toUtf8(), url.query(QUrl::FullyEncoded).toUtf8(), secure, true}};
    beginTakenRecording();
}

void Recorder::createHlsStation(const QUrl &url, qint32 server)
{
    // A running recording works from settings of its own, taken now.
    dropHls();
    m_hlsUrl = url;
    m_hlsServer = server;
    m_hls = new sources::HlsStation(
        m_network, m_time,
        {streamUserAgent(browserAgentEnabled()),
         hlsLowestBandwidth() ? sources::hls::Preference::LowestBandwidth : sources::hls::Preference::HighestBandwidth},
        this);
    m_hlsPlaylist.clear();
    m_hlsTitle.clear();
    connect(m_hls, &sources::HlsStation::audio, this, &Recorder::takeHlsAudio);
    connect(m_hls, &sources::HlsStation::titleChanged, this, &Recorder::takeHlsTitle);
    connect(m_hls, &sources::HlsStation::answered, this,
            [this](qint64 withinMs) { m_supervisor->dataPromisedWithin(withinMs); });
    connect(m_hls, &sources::HlsStation::segmentsLost, this, [this](int segments, double seconds, const QString &why) {
        m_hlsLostSeconds += seconds;
        superviseSoon(); // the caption says so
        qCInfo(lcHls).noquote()
            << QStringLiteral("%1 s of audio lost (%2 segments): %3").arg(seconds).arg(segments).arg(why);
    });
    connect(m_hls, &sources::HlsStation::discontinuity, this,
            [] { qCInfo(lcHls) << "The station's audio starts anew (discontinuity)"; });
    connect(m_hls, &sources::HlsStation::failed, this, [this](const QString &text, bool unrecordable) {
        // A station lost after it delivered audio is called again for a while,
        // as a stream is; before that, the playlist's next server is tried.
        if (!unrecordable && survivesOutage()) {
            streamFailed();
        } else if (m_serverNumber >= 1 && m_serverNumber < static_cast<qint32>(m_servers.size())) {
            const QString n = QString::number(m_serverNumber + 1);
            setTrayTip(m_preset.stationTitle + QStringLiteral(" -- ") + text + QStringLiteral(" Trying server ") + n);
            setCaption(QStringLiteral("[ERR]: ") + text + QStringLiteral(" Trying server ") + n +
                       QStringLiteral("..."));
            requestServerChange();
        } else {
            failRecording(text);
        }
        publishStatus();
    });
    connect(m_hls, &sources::HlsStation::finished, this, [this] {
        Q_EMIT messageRequested(tr("The station ended its broadcast."));
        stopRecording();
        applyExitRule();
    });
}

// A server of the playlist answered with an HLS playlist: it is followed as
// an HLS station from now on, this connection's playlist first.
void Recorder::followHlsServer(const QByteArray &playlist)
{
    if (!m_recording || m_unloaded || m_serverNumber < 1 || m_serverNumber > static_cast<qint32>(m_servers.size()))
        return;
    StreamServer &server = m_servers[m_serverNumber - 1];
    server.hls = true;
    m_stream->close();
    createHlsStation(hlsServerUrl(server), m_serverNumber);
    qCInfo(lcHls).noquote() << "Server" << m_serverNumber << "is an HLS station:" << m_hlsUrl.toDisplayString();
    m_hls->start(m_hlsUrl, playlist);
    m_hlsBytes = 0;
    m_supervisor->silenceFromNow();
    publishStatus();
}

QUrl Recorder::hlsServerUrl(const StreamServer &server)
{
    const QByteArray host =
        server.host.contains(':') && !server.host.startsWith('[') ? '[' + server.host + ']' : server.host;
    return QUrl::fromEncoded((server.secure ? "https://" : "http://") + host + ':' + server.port + server.path +
                                 (server.query.isEmpty() ? QByteArray() : '?' + server.query),
                             QUrl::TolerantMode);
}

// Instead of the stream request, once "connected".
void Recorder::startHlsStation()
{
    // The playlist found is used once; a reconnect asks the station again, and
    // what it sends again is recognised as audio already written.
    m_hls->start(m_hlsUrl, m_connectionIsReconnect ? QByteArray() : m_hlsPlaylist);
    m_hlsPlaylist.clear();
    m_hlsBytes = 0;
}

void Recorder::takeHlsAudio(const QByteArray &data, sources::hls::AudioFormat format)
{
    if (!m_recording)
        return;
    const engine::StreamType type =
        format == sources::hls::AudioFormat::Aac ? engine::StreamType::Aac : engine::StreamType::Mp3;
    m_bitRate = static_cast<qint32>(m_hls->bandwidth() / 1000);
    m_hlsBytes = static_cast<qint32>(std::min<qint64>(qint64(m_hlsBytes) + data.size(), INT_MAX));
    if (!m_connectionAudio && !m_connectionIsReconnect) {
        setStreamType(type);
        if (!m_titleMode)
            retypePlainFile();
    }
    if (m_titleMode) {
        // A title waits for the audio it names; the first file without one is the station's.
        QByteArray title = std::exchange(m_hlsTitle, QByteArray());
        if (!m_songName.isEmpty()) {
            if (!title.isEmpty() && titleStartsSong(title))
                takeTitle(title);
        } else {
            if (title.isEmpty())
                title = m_preset.stationTitle.isEmpty()
                            ? engine::unknownFileName(m_time.now().date())
                            : engine::datedFileName(m_preset.stationTitle.toLocal8Bit(), m_time.now().date());
            settleFreshAudio(true);
            openSongFile(engine::withStreamExtension(title, m_streamType), false);
        }
        if (!m_recording)
            return;
    }
    takeAudio(data);
    publishStatus();
}

void Recorder::takeHlsTitle(const QString &artist, const QString &title)
{
    // Like an in-band title: "Artist - Title", its file opening with the audio that follows.
    if (!m_titleMode || (artist.isEmpty() && title.isEmpty()))
        return;
    const QString text = artist.isEmpty() ? title : title.isEmpty() ? artist : artist + QStringLiteral(" - ") + title;
    // No longer than an in-band title can be.
    m_hlsTitle = text.left(kMaxTitleChars).toUtf8() + QByteArrayLiteral(".mp3");
}

void Recorder::dropHls()
{
    if (!m_hls)
        return;
    // It may be reporting right now: it goes once control is back in the event loop.
    m_hls->stop();
    m_hls->deleteLater();
    m_hls = nullptr;
}

QString Recorder::hlsLostText() const
{
    if (m_hlsLostSeconds <= 0)
        return {};
    return QStringLiteral(" [%1 s lost]").arg(qRound(m_hlsLostSeconds));
}
