#include "teststation/sourceclient.h"

#include <QTcpSocket>
#include <QTimer>

#include "teststation/audiosource.h"
#include "teststation/framegenerator.h"
#include "teststation/mp3frame.h"

namespace teststation
{

namespace
{

constexpr int kPaceIntervalMs = 20;
constexpr qint64 kHighWater = 256 * 1024;
constexpr qint64 kFastChunk = 64 * 1024;
constexpr qsizetype kMaxAnswer = 64 * 1024;
constexpr char kUserAgent[] = "vorlane-teststation";

// The status code of an HTTP status line ("HTTP/1.0 200 OK" gives 200); 0 when there is none.
int statusCode(const QByteArray &reply)
{
    const QList<QByteArray> words = reply.left(reply.indexOf('\n')).trimmed().split(' ');
    return words.size() >= 2 ? words.at(1).toInt() : 0;
}

// Where the header ends (just after its blank line), or -1.
qsizetype headerEnd(const QByteArray &bytes)
{
    const qsizetype crlf = bytes.indexOf("\r\n\r\n");
    const qsizetype lf = bytes.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

} // namespace

SourceClient::SourceClient(const SourceConfig &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
{}

SourceClient::~SourceClient()
{
    // The sockets are our children; they must not call back while we go.
    const QList<QTcpSocket *> sockets = findChildren<QTcpSocket *>();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
    }
}

QByteArray SourceClient::hostPort() const
{
    return m_config.host + ':' + QByteArray::number(m_config.port);
}

QByteArray SourceClient::mountUrl() const
{
    return "http://" + hostPort() + m_config.mount;
}

QByteArray SourceClient::authorization(const QByteArray &user, const QByteArray &password) const
{
    const QByteArray credentials = user + ':' + password;
    return "Basic " + credentials.toBase64();
}

void SourceClient::start()
{
    stop();
    m_error.clear();
    m_sessions.append(SourceSession());
    m_answer.clear();
    m_titleIndex = -1;
    m_state = State::Connecting;
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &SourceClient::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &SourceClient::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &SourceClient::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &SourceClient::onError);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        if (m_config.stream.pace == Stream::Pace::Fast)
            pump();
    });
    m_socket->connectToHost(QString::fromLatin1(m_config.host), m_config.port);
}

void SourceClient::stop()
{
    if (m_state != State::Idle)
        end(false, QString());
}

void SourceClient::onConnected()
{
    const Stream &stream = m_config.stream;
    QByteArray header = m_config.method == SourceConfig::Method::Put ? QByteArray("PUT ") : QByteArray("SOURCE ");
    header += m_config.mount;
    header += m_config.method == SourceConfig::Method::Put ? " HTTP/1.1\r\n" : " HTTP/1.0\r\n";
    header += "Host: " + hostPort() + "\r\n";
    header += "Authorization: " + authorization(m_config.user, m_config.password) + "\r\n";
    header += "User-Agent: " + QByteArray(kUserAgent) + "\r\n";
    header += "Content-Type: audio/mpeg\r\n";
    header += "Ice-Public: " + QByteArray(m_config.isPublic ? "1" : "0") + "\r\n";
    if (!stream.name.isEmpty())
        header += "Ice-Name: " + stream.name + "\r\n";
    if (!stream.genre.isEmpty())
        header += "Ice-Genre: " + stream.genre + "\r\n";
    if (!m_config.description.isEmpty())
        header += "Ice-Description: " + m_config.description + "\r\n";
    if (!m_config.url.isEmpty())
        header += "Ice-Url: " + m_config.url + "\r\n";
    if (stream.bitRateKbps > 0) {
        header += "Ice-Bitrate: " + QByteArray::number(stream.bitRateKbps) + "\r\n";
        header += "Ice-Audio-Info: bitrate=" + QByteArray::number(stream.bitRateKbps) + "\r\n";
    }
    header += "\r\n";
    current().request = header;
    m_socket->write(header);
}

void SourceClient::onReadyRead()
{
    const QByteArray bytes = m_socket->readAll();
    if (m_state != State::Connecting)
        return; // the server says nothing more that matters to a source
    m_answer += bytes;
    const qsizetype end = headerEnd(m_answer);
    if (end < 0) {
        if (m_answer.size() > kMaxAnswer)
            this->end(true, QStringLiteral("the server's answer has no end"));
        return;
    }
    SourceSession &session = current();
    session.response = m_answer.left(end);
    session.status = statusCode(session.response);
    if (session.status == 200) {
        accept();
    } else {
        this->end(true, QStringLiteral("refused: ") +
                            QString::fromLatin1(session.response.left(session.response.indexOf('\r'))));
    }
}

void SourceClient::accept()
{
    const Stream &stream = m_config.stream;
    current().accepted = true;
    int audioKbps = FrameGenerator::isValidBitRate(stream.bitRateKbps) ? stream.bitRateKbps : 128;
    QString failure;
    const std::optional<Mp3Audio> file =
        stream.mp3File.isEmpty() ? std::nullopt : loadMp3File(stream.mp3File, &failure);
    if (!stream.mp3File.isEmpty() && !file) {
        end(false, failure);
        return;
    }
    if (file) {
        m_source = std::make_unique<AudioSource>(file->frames);
        audioKbps = file->bitRateKbps;
    } else {
        m_source =
            std::make_unique<AudioSource>(audioKbps, stream.tone, stream.seed, stream.toneFrames, stream.silentFrames);
    }
    m_bytesPerSecond = static_cast<qint64>(audioKbps) * 1000 / 8;
    m_state = State::Streaming;
    m_startMs = pacingClock().monotonicMs();
    if (stream.pace == Stream::Pace::RealTime) {
        m_paceTimer = new QTimer(this);
        m_paceTimer->setInterval(kPaceIntervalMs);
        connect(m_paceTimer, &QTimer::timeout, this, &SourceClient::pump);
        m_paceTimer->start();
    }
    Q_EMIT streaming();
    if (m_state != State::Streaming)
        return; // stopped from the signal
    followTitles();
    pump();
}

void SourceClient::pump()
{
    if (m_state != State::Streaming)
        return;
    if (m_config.stream.pace == Stream::Pace::Fast) {
        while (m_state == State::Streaming && m_socket->bytesToWrite() < kHighWater)
            writeAudio(kFastChunk);
        return;
    }
    const qint64 elapsed = pacingClock().monotonicMs() - m_startMs;
    const qint64 due = m_config.stream.burstBytes + elapsed * m_bytesPerSecond / 1000 - current().audioBytes;
    if (due > 0)
        writeAudio(due);
}

void SourceClient::writeAudio(qint64 n)
{
    QByteArray audio(n, Qt::Uninitialized);
    m_source->read(audio.data(), n);
    SourceSession &session = current();
    if (m_config.recordAudio)
        session.audio += audio;
    session.audioBytes += n;
    m_socket->write(audio);
    followTitles();
}

void SourceClient::followTitles()
{
    const QList<QByteArray> &titles = m_config.stream.titles;
    if (titles.isEmpty())
        return;
    const qint64 every = m_config.stream.titleEvery;
    const qsizetype due = dueTitle(current().audioBytes, every, m_config.stream.titleShift, titles.size());
    if (due == m_titleIndex)
        return;
    m_titleIndex = due;
    setTitle(titles.at(due));
}

void SourceClient::setTitle(const QByteArray &title)
{
    m_title = title;
    TitleUpdate update;
    if (m_state == State::Streaming) {
        update.session = sessionCount() - 1;
        update.audioOffset = current().audioBytes;
    }
    update.title = title;
    // Without a charset parameter the server keeps the title's bytes as they are.
    update.requestLine = "GET /admin/metadata?mount=" + QByteArray(m_config.mount).toPercentEncoding("/") +
                         "&mode=updinfo&song=" + title.toPercentEncoding() + " HTTP/1.0";
    const QByteArray request = update.requestLine + "\r\nHost: " + hostPort() +
                               "\r\nAuthorization: " + authorization(m_config.adminUser, m_config.adminPassword) +
                               "\r\nUser-Agent: " + kUserAgent + "\r\n\r\n";
    const int index = static_cast<int>(m_updates.size());
    m_updates.append(update);

    auto *socket = new QTcpSocket(this);
    const auto finish = [this, socket, index] {
        if (socket->property("vorlaneDone").toBool())
            return;
        socket->setProperty("vorlaneDone", true);
        TitleUpdate &done = m_updates[index];
        done.reply += socket->readAll();
        done.status = done.reply.isEmpty() ? -1 : statusCode(done.reply);
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
        Q_EMIT titleAnswered(index);
    };
    connect(socket, &QTcpSocket::connected, this, [socket, request] { socket->write(request); });
    connect(socket, &QTcpSocket::readyRead, this,
            [this, socket, index] { m_updates[index].reply += socket->readAll(); });
    connect(socket, &QTcpSocket::disconnected, this, finish);
    connect(socket, &QTcpSocket::errorOccurred, this, finish);
    socket->connectToHost(QString::fromLatin1(m_config.host), m_config.port);
}

void SourceClient::onDisconnected()
{
    if (m_state != State::Idle)
        end(true, QStringLiteral("the server closed the connection"));
}

void SourceClient::onError()
{
    if (m_state != State::Idle && m_socket->error() != QAbstractSocket::RemoteHostClosedError)
        end(true, m_socket->errorString());
}

void SourceClient::end(bool byServer, const QString &error)
{
    if (m_paceTimer) {
        m_paceTimer->stop();
        m_paceTimer->deleteLater();
        m_paceTimer = nullptr;
    }
    m_state = State::Idle;
    m_error = error;
    SourceSession &session = current();
    session.open = false;
    session.closedByServer = byServer;
    m_source.reset();

    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    if (byServer || socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
    } else {
        // What was already written still goes out before the connection closes.
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->disconnectFromHost();
    }
    Q_EMIT ended();
}

} // namespace teststation
