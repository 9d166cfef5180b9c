#include "teststation/stationconnection.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

#include "teststation/audiosource.h"
#include "teststation/station.h"

namespace teststation
{

namespace
{

constexpr qsizetype kMaxRequest = 64 * 1024;
// Unthrottled streams keep this much queued in the socket and add this much at a time.
constexpr qint64 kHighWater = 256 * 1024;
constexpr qint64 kFastChunk = 64 * 1024;
constexpr int kPaceIntervalMs = 20;

// Splits bytes into `count` pieces of about equal size (no empty pieces).
QList<QByteArray> split(const QByteArray &bytes, int count)
{
    QList<QByteArray> pieces;
    if (bytes.isEmpty())
        return pieces;
    count = qBound(1, count, static_cast<int>(bytes.size()));
    const qsizetype size = bytes.size() / count;
    for (int i = 0; i < count; ++i) {
        const qsizetype from = i * size;
        pieces.append(i == count - 1 ? bytes.mid(from) : bytes.mid(from, size));
    }
    return pieces;
}

// The value of a header field (name in lower case) in a request, trimmed; empty when absent.
QByteArray headerValue(const QByteArray &request, const QByteArray &name)
{
    const QList<QByteArray> lines = request.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QByteArray chunked(const QByteArray &body, int chunkSize)
{
    QByteArray out;
    const qsizetype step = chunkSize > 0 ? chunkSize : qMax<qsizetype>(1, body.size());
    for (qsizetype from = 0; from < body.size(); from += step) {
        const QByteArray chunk = body.mid(from, step);
        out += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
    }
    out += "0\r\n\r\n";
    return out;
}

// A file of a served folder: only a plain name right under the prefix.
std::optional<Page> folderPage(const Config &config, const QByteArray &path)
{
    for (auto it = config.folders.cbegin(); it != config.folders.cend(); ++it) {
        if (!path.startsWith(QByteArray(it.key() + '/')))
            continue;
        const QByteArray name = path.mid(it.key().size() + 1);
        if (name.isEmpty() || name.contains('/') || name.startsWith('.'))
            return std::nullopt;
        QFile file(it.value() + QLatin1Char('/') + QString::fromUtf8(name));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        Page page;
        if (name.endsWith(".m3u8"))
            page.headers = {"Content-Type: application/vnd.apple.mpegurl"};
        page.body = file.readAll();
        return page;
    }
    return std::nullopt;
}

} // namespace

StationConnection::StationConnection(Station &station, QTcpSocket *socket, int index)
    : QObject(&station)
    , m_station(station)
    , m_socket(socket)
    , m_index(index)
{
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &StationConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &StationConnection::onDisconnected);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_stream.pace == Stream::Pace::Fast)
            pump();
    });
}

StationConnection::~StationConnection() = default;

ConnectionRecord &StationConnection::record()
{
    return m_station.record(m_index);
}

void StationConnection::drop()
{
    if (m_closed)
        return;
    m_finished = true;
    record().dropped = true;
    m_socket->disconnectFromHost();
}

void StationConnection::abort()
{
    if (m_closed)
        return;
    m_finished = true;
    m_socket->abort();
    onDisconnected();
}

void StationConnection::onReadyRead()
{
    const QByteArray bytes = m_socket->readAll();
    if (m_ignoreInput)
        return; // whatever a client sends after its last request is not read
    m_request += bytes;
    if (!m_busy)
        takeRequest();
}

void StationConnection::takeRequest()
{
    qsizetype end = m_request.indexOf("\r\n\r\n");
    qsizetype endLength = 4;
    const qsizetype bare = m_request.indexOf("\n\n");
    if (bare >= 0 && (end < 0 || bare < end)) {
        end = bare;
        endLength = 2;
    }
    if (end < 0) {
        if (m_request.size() > kMaxRequest)
            abort();
        return;
    }
    const QByteArray header = m_request.left(end + endLength);
    const qint64 bodyLength = headerValue(header, "content-length").toLongLong();
    if (bodyLength < 0 || bodyLength > kMaxRequest) {
        abort();
        return;
    }
    if (m_request.size() < header.size() + bodyLength)
        return; // the body is still on its way
    const QByteArray body = m_request.mid(header.size(), bodyLength);
    m_request.remove(0, header.size() + bodyLength);
    m_busy = true;
    answer(header, body);
}

void StationConnection::onDisconnected()
{
    if (m_closed)
        return;
    m_closed = true;
    m_finished = true;
    if (m_paceTimer)
        m_paceTimer->stop();
    record().open = false;
    Q_EMIT finished(m_index);
}

void StationConnection::answer(const QByteArray &request, const QByteArray &body)
{
    ConnectionRecord &rec = record();
    rec.request = request;
    const QByteArray requestLine = request.left(request.indexOf('\n')).trimmed();
    const QList<QByteArray> words = requestLine.split(' ');
    rec.target = words.size() >= 2 ? words.at(1) : QByteArray();
    rec.askedForMetadata = headerValue(request, "icy-metadata") == "1";
    m_station.m_requests.append({m_index, requestLine, words.value(0), rec.target, request, body});
    Q_EMIT requestRead(m_index);
    if (m_closed)
        return;

    const Config &config = m_station.config();
    const qsizetype query = rec.target.indexOf('?');
    const QByteArray path = query < 0 ? rec.target : rec.target.left(query);
    if (config.everyRequest) {
        servePage(*config.everyRequest);
    } else if (config.pages.contains(rec.target)) {
        servePage(config.pages.value(rec.target));
    } else if (config.pages.contains(path)) {
        servePage(config.pages.value(path));
    } else if (config.streams.contains(rec.target) || config.streams.contains(path)) {
        const Stream stream = config.streams.value(config.streams.contains(rec.target) ? rec.target : path);
        if (stream.answerBrowser && request.contains("MSIE"))
            servePage(Page::browserPage());
        else
            serveStream(stream);
    } else {
        servePage(folderPage(config, path).value_or(config.notFound));
    }
}

void StationConnection::servePage(Page page)
{
    QByteArray wire;
    QList<QByteArray> pieces;
    if (!page.raw.isEmpty()) {
        wire = substituted(page.raw);
        pieces = split(wire, page.pieces);
    } else {
        const QByteArray body = substituted(page.body);
        QByteArray head = substituted(page.status) + "\r\n";
        for (const QByteArray &line : std::as_const(page.headers))
            head += substituted(line) + "\r\n";
        QByteArray encodedBody = body;
        if (page.framing == Page::Framing::ContentLength) {
            head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
        } else if (page.framing == Page::Framing::Chunked) {
            head += "Transfer-Encoding: chunked\r\n";
            encodedBody = chunked(body, page.chunkSize);
        }
        head += "\r\n";
        wire = head + encodedBody;
        if (page.headerSeparately) {
            pieces = {head};
            pieces += split(encodedBody, page.pieces);
        } else {
            pieces = split(wire, page.pieces);
        }
    }
    record().header = wire;
    const bool keepOpen = page.keepOpen;
    m_ignoreInput = !keepOpen;
    sendPieces(pieces, page.pieceDelayMs, [this, keepOpen] {
        if (!keepOpen) {
            m_socket->disconnectFromHost();
            return;
        }
        // The next request may already be waiting.
        m_busy = false;
        takeRequest();
    });
}

void StationConnection::serveStream(const Stream &stream)
{
    m_stream = stream;
    m_ignoreInput = true;
    ConnectionRecord &rec = record();
    rec.isStream = true;
    m_metadata = rec.askedForMetadata && stream.metaInt > 0 && !stream.icecastStyle;
    rec.metadata = m_metadata;
    rec.metaInt = m_metadata ? stream.metaInt : 0;

    int audioKbps = FrameGenerator::isValidBitRate(stream.bitRateKbps) ? stream.bitRateKbps : 128;
    if (const Mp3Audio *file = stream.mp3File.isEmpty() ? nullptr : m_station.mp3(stream.mp3File)) {
        m_source = std::make_unique<AudioSource>(file->frames);
        audioKbps = file->bitRateKbps;
    } else {
        m_source =
            std::make_unique<AudioSource>(audioKbps, stream.tone, stream.seed, stream.toneFrames, stream.silentFrames);
    }
    m_source->setPrefix(stream.burst);
    m_bytesPerSecond = static_cast<qint64>(audioKbps) * 1000 / 8;

    const QByteArray bitRateLine = "icy-br:" + QByteArray::number(stream.bitRateKbps) + "\r\n";
    QByteArray header = substituted(stream.status) + "\r\n";
    if (stream.icecastStyle) {
        if (!stream.contentType.isEmpty())
            header += "Content-Type: " + stream.contentType + "\r\n";
        if (stream.bitRateKbps > 0 && !stream.bitRateLast)
            header += bitRateLine;
        if (!stream.name.isEmpty())
            header += "icy-name:" + substituted(stream.name) + "\r\n";
        header += "icy-pub:0\r\nServer: Icecast 2.4.4\r\n";
    } else {
        header += "icy-notice1:<BR>This stream requires <a href=\"http://www.winamp.com/\">Winamp</a><BR>\r\n"
                  "icy-notice2:Vorlane Test Station<BR>\r\n";
        if (!stream.name.isEmpty())
            header += "icy-name:" + substituted(stream.name) + "\r\n";
        if (!stream.genre.isEmpty())
            header += "icy-genre:" + substituted(stream.genre) + "\r\n";
        if (stream.bitRateKbps > 0 && !stream.bitRateLast)
            header += bitRateLine;
        header += "icy-url:http://" + m_station.hostPort() + "\r\n";
        if (!stream.contentType.isEmpty())
            header += "content-type:" + stream.contentType + "\r\n";
        header += "icy-pub:0\r\n";
        if (m_metadata)
            header += "icy-metaint:" + QByteArray::number(stream.metaInt) + "\r\n";
    }
    for (const QByteArray &line : stream.extraHeaders)
        header += substituted(line) + "\r\n";
    if (stream.bitRateKbps > 0 && stream.bitRateLast)
        header += bitRateLine;
    header += "\r\n";
    rec.header = header;

    sendPieces(split(header, stream.headerPieces), stream.pieceDelayMs, [this] {
        m_streaming = true;
        m_startMs = m_station.pacingClock().monotonicMs();
        if (m_stream.pace == Stream::Pace::RealTime) {
            m_paceTimer = new QTimer(this);
            m_paceTimer->setInterval(kPaceIntervalMs);
            connect(m_paceTimer, &QTimer::timeout, this, &StationConnection::pump);
            m_paceTimer->start();
        }
        pump();
    });
}

void StationConnection::sendPieces(QList<QByteArray> pieces, int delayMs, std::function<void()> then)
{
    if (m_closed)
        return;
    if (pieces.isEmpty()) {
        then();
        return;
    }
    write(pieces.takeFirst());
    if (pieces.isEmpty()) {
        then();
        return;
    }
    m_socket->flush();
    QTimer::singleShot(delayMs, this, [this, pieces, delayMs, then] { sendPieces(pieces, delayMs, then); });
}

void StationConnection::write(const QByteArray &bytes)
{
    if (m_closed || bytes.isEmpty())
        return;
    record().wireBytes += bytes.size();
    m_socket->write(bytes);
}

void StationConnection::pump()
{
    if (!m_streaming || m_finished || m_closed)
        return;
    if (m_stream.pace == Stream::Pace::Fast) {
        while (!m_finished && m_socket->bytesToWrite() < kHighWater)
            write(nextChunk(kFastChunk));
    } else {
        const qint64 elapsed = m_station.pacingClock().monotonicMs() - m_startMs;
        const qint64 due = m_stream.burstBytes + elapsed * m_bytesPerSecond / 1000 - m_audioSent;
        if (due > 0)
            write(nextChunk(due));
    }
}

QByteArray StationConnection::nextChunk(qint64 maxAudio)
{
    ConnectionRecord &rec = record();
    qint64 limit = maxAudio;
    if (m_stream.stallAfter >= 0)
        limit = qMin(limit, m_stream.stallAfter - m_audioSent);
    if (m_stream.dropAfter >= 0)
        limit = qMin(limit, m_stream.dropAfter - m_audioSent);

    QByteArray out;
    if (limit > 0) {
        out.reserve(limit + (m_metadata ? (limit / m_stream.metaInt + 1) * 4081 : 0));
        qint64 remaining = limit;
        while (remaining > 0) {
            if (m_metadata && m_sinceMeta == m_stream.metaInt) {
                out += metadataBlock();
                m_sinceMeta = 0;
            }
            qint64 n = remaining;
            if (m_metadata)
                n = qMin(n, m_stream.metaInt - m_sinceMeta);
            const qsizetype at = out.size();
            out.resize(at + n);
            m_source->read(out.data() + at, n);
            if (m_station.config().recordAudio)
                rec.audio.append(out.constData() + at, n);
            m_audioSent += n;
            m_sinceMeta += n;
            remaining -= n;
        }
        rec.audioBytes = m_audioSent;
    }

    if (m_stream.dropAfter >= 0 && m_audioSent >= m_stream.dropAfter) {
        m_finished = true;
        rec.dropped = true;
        // Closed once this last chunk is written.
        QTimer::singleShot(0, this, [this] {
            if (!m_closed)
                m_socket->disconnectFromHost();
        });
    } else if (m_stream.stallAfter >= 0 && m_audioSent >= m_stream.stallAfter) {
        m_finished = true;
        rec.stalled = true;
    }
    return out;
}

QByteArray StationConnection::metadataBlock()
{
    if (m_stream.titles.isEmpty())
        return QByteArray(1, '\0');
    const qsizetype count = m_stream.titles.size();
    const qsizetype due = dueTitle(m_audioSent, m_stream.titleEvery, m_stream.titleShift, count);
    const QByteArray &title = m_stream.titles.at(due);
    const bool changed = !m_announcedTitle || title != m_lastTitle;
    if (!changed && !m_stream.repeatTitle)
        return QByteArray(1, '\0');
    if (changed) {
        record().titles.append({m_audioSent, title});
        m_lastTitle = title;
        m_announcedTitle = true;
    }
    QByteArray text = "StreamTitle='" + title + "';StreamUrl='';";
    const qsizetype blocks = qMin<qsizetype>(255, (text.size() + 15) / 16);
    text.truncate(blocks * 16);
    text.append(blocks * 16 - text.size(), '\0');
    return static_cast<char>(blocks) + text;
}

QByteArray StationConnection::substituted(const QByteArray &text) const
{
    if (!text.contains(kStationToken))
        return text;
    QByteArray out = text;
    return out.replace(kStationToken, m_station.hostPort());
}

} // namespace teststation
