#include "teststation/station.h"

#include <QFile>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include "teststation/stationconnection.h"

namespace teststation
{

Station::Station(const Config &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
{}

Station::~Station()
{
    stop();
}

bool Station::start(QString *error)
{
    QString failure;
    if (!loadFiles(&failure)) {
        if (error)
            *error = failure;
        return false;
    }
    stop();
    if (!makeServer(error))
        return false;
    // Not newConnection: a TLS server queues a connection only once its handshake is done.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &Station::onNewConnection);
    if (!m_server->listen(QHostAddress::LocalHost, m_config.port)) {
        if (error)
            *error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    return true;
}

bool Station::makeServer(QString *error)
{
    if (!m_config.tls) {
        m_server = new QTcpServer(this);
        return true;
    }
    const auto fail = [error](const QString &text) {
        if (error)
            *error = text;
        return false;
    };
    if (!QSslSocket::supportsSsl())
        return fail(QStringLiteral("no TLS backend available"));
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(m_config.tls->certificateFile);
    if (chain.isEmpty())
        return fail(QStringLiteral("cannot read a certificate from ") + m_config.tls->certificateFile);
    QFile keyFile(m_config.tls->keyFile);
    if (!keyFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read ") + m_config.tls->keyFile);
    const QByteArray pem = keyFile.readAll();
    QSslKey key(pem, QSsl::Ec);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Rsa);
    if (key.isNull())
        return fail(QStringLiteral("no EC or RSA private key in ") + m_config.tls->keyFile);

    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    auto *server = new QSslServer(this);
    server->setSslConfiguration(tls);
    connect(server, &QSslServer::errorOccurred, this, [this](QSslSocket *socket, QAbstractSocket::SocketError) {
        // A failing handshake can report more than one error; count the socket once.
        if (socket->property("vorlaneHandshakeFailed").toBool())
            return;
        socket->setProperty("vorlaneHandshakeFailed", true);
        ++m_failedHandshakes;
    });
    m_server = server;
    return true;
}

QString Station::caFile() const
{
    return m_config.tls ? m_config.tls->caFile : QString();
}

QList<QSslCertificate> Station::caCertificates() const
{
    return m_config.tls && !m_config.tls->caFile.isEmpty() ? QSslCertificate::fromPath(m_config.tls->caFile)
                                                           : QList<QSslCertificate>();
}

QList<QByteArray> Station::requestLines() const
{
    QList<QByteArray> lines;
    for (const RequestRecord &request : m_requests)
        lines.append(request.line);
    return lines;
}

void Station::stop()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    const QList<StationConnection *> connections = m_connections;
    for (StationConnection *connection : connections)
        connection->abort();
}

bool Station::isListening() const
{
    return m_server && m_server->isListening();
}

quint16 Station::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QByteArray Station::hostPort() const
{
    return "127.0.0.1:" + QByteArray::number(port());
}

QByteArray Station::url(const QByteArray &path) const
{
    return (m_config.tls ? "https://" : "http://") + hostPort() + path;
}

int Station::openConnectionCount() const
{
    return static_cast<int>(m_connections.size());
}

void Station::dropConnection(int index)
{
    for (StationConnection *connection : std::as_const(m_connections)) {
        if (connection->index() == index)
            connection->drop();
    }
}

void Station::onNewConnection()
{
    while (m_server && m_server->hasPendingConnections()) {
        QTcpSocket *socket = m_server->nextPendingConnection();
        const int index = connectionCount();
        ConnectionRecord rec;
        rec.index = index;
        m_records.push_back(rec);
        auto *connection = new StationConnection(*this, socket, index);
        m_connections.append(connection);
        connect(connection, &StationConnection::requestRead, this, &Station::requestReceived);
        connect(connection, &StationConnection::finished, this, [this, connection](int finishedIndex) {
            m_connections.removeOne(connection);
            connection->deleteLater();
            Q_EMIT connectionClosed(finishedIndex);
        });
    }
}

const Mp3Audio *Station::mp3(const QString &path)
{
    if (!m_files.contains(path)) {
        // A stream configured after start(): load it now.
        QString ignored;
        const std::optional<Mp3Audio> audio = loadMp3File(path, &ignored);
        if (!audio)
            return nullptr;
        m_files.insert(path, *audio);
    }
    return &m_files.find(path).value();
}

bool Station::loadFiles(QString *error)
{
    for (const Stream &stream : std::as_const(m_config.streams)) {
        if (stream.mp3File.isEmpty() || m_files.contains(stream.mp3File))
            continue;
        const std::optional<Mp3Audio> audio = loadMp3File(stream.mp3File, error);
        if (!audio)
            return false;
        m_files.insert(stream.mp3File, *audio);
    }
    return true;
}

} // namespace teststation
