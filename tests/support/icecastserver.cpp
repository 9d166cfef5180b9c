#include "icecastserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QXmlStreamWriter>

#include <optional>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include "eventwait.h"

namespace
{

constexpr int kLaunchAttempts = 3;
constexpr int kProbeIntervalMs = 100;

// A port nobody listens on now. Icecast binds it a moment later, so another
// process may take it in between; start() then tries another one.
quint16 freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

struct Owner
{
    QByteArray user;
    QByteArray group;
    uid_t uid = 0;
    gid_t gid = 0;
};

// Icecast will not run as root; it must change to an ordinary user itself.
std::optional<Owner> unprivilegedOwner()
{
    const passwd *user = ::getpwnam("nobody");
    if (!user)
        return std::nullopt;
    Owner owner{"nobody", QByteArray(), user->pw_uid, user->pw_gid};
    const group *primary = ::getgrgid(user->pw_gid);
    owner.group = primary ? QByteArray(primary->gr_name) : QByteArray("nogroup");
    return owner;
}

QByteArray tail(const QByteArray &text, qsizetype lines)
{
    QList<QByteArray> all = text.trimmed().split('\n');
    if (all.size() > lines)
        all = all.mid(all.size() - lines);
    return all.join('\n');
}

} // namespace

bool IcecastServer::isInstalled()
{
    return QFileInfo(program()).isExecutable();
}

IcecastServer::IcecastServer(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{}

IcecastServer::~IcecastServer()
{
    stop();
}

QByteArray IcecastServer::hostPort() const
{
    return "127.0.0.1:" + QByteArray::number(m_port);
}

QByteArray IcecastServer::url(const QByteArray &path) const
{
    return "http://" + hostPort() + path;
}

QString IcecastServer::folder() const
{
    return m_folder ? m_folder->path() : QString();
}

QString IcecastServer::configFile() const
{
    return folder() + QStringLiteral("/icecast.xml");
}

QByteArray IcecastServer::errorLog() const
{
    QFile file(folder() + QStringLiteral("/error.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray IcecastServer::output() const
{
    return m_output + (m_process ? m_process->readAll() : QByteArray());
}

QString IcecastServer::errorString() const
{
    if (m_error.isEmpty())
        return QString();
    return m_error + QStringLiteral("\n--- output:\n") + QString::fromLocal8Bit(tail(m_output, 10)) +
           QStringLiteral("\n--- error.log:\n") + QString::fromLocal8Bit(tail(errorLog(), 10));
}

bool IcecastServer::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

bool IcecastServer::start(QString *error)
{
    stop();
    m_error.clear();
    m_output.clear();
    m_launches = 0;
    if (!isInstalled()) {
        m_error = program() + QStringLiteral(" is not installed");
    } else {
        // In the shared temporary folder rather than the test's home, which
        // the unprivileged user may not be allowed to enter.
        m_folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vorlane-icecast-XXXXXX"));
        if (!m_folder->isValid()) {
            m_error = QStringLiteral("cannot make a temporary folder");
        } else if (::geteuid() == 0) {
            const std::optional<Owner> owner = unprivilegedOwner();
            if (!owner)
                m_error = QStringLiteral("running as root, but there is no user \"nobody\" to hand Icecast to");
            else if (::chown(QFile::encodeName(folder()).constData(), owner->uid, owner->gid) != 0)
                m_error = QStringLiteral("cannot hand ") + folder() + QStringLiteral(" to nobody");
        }
    }
    if (m_error.isEmpty())
        launch(&m_error);
    if (error)
        *error = m_error;
    return m_error.isEmpty();
}

bool IcecastServer::launch(QString *error)
{
    ++m_launches;
    m_ready = false;
    m_port = m_keepPort != 0 ? m_keepPort : freePort();
    if (m_port == 0) {
        *error = QStringLiteral("no free port");
        return false;
    }
    if (!writeConfig(error))
        return false;

    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setWorkingDirectory(folder());
    connect(m_process, &QProcess::readyRead, this, [this] { m_output += m_process->readAll(); });
    connect(m_process, &QProcess::finished, this, &IcecastServer::onFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError processError) {
        if (processError == QProcess::FailedToStart)
            onFinished();
    });
    m_process->start(program(), {QStringLiteral("-c"), configFile()});

    m_probeTimer = new QTimer(this);
    m_probeTimer->setInterval(kProbeIntervalMs);
    connect(m_probeTimer, &QTimer::timeout, this, &IcecastServer::probe);
    m_probeTimer->start();
    return true;
}

bool IcecastServer::writeConfig(QString *error)
{
    QFile file(configFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot write ") + configFile();
        return false;
    }
    const auto number = [](int value) { return QString::number(value); };
    const auto text = [](const QByteArray &value) { return QString::fromUtf8(value); };
    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("icecast"));
    xml.writeTextElement(QStringLiteral("location"), QStringLiteral("Vorlane tests"));
    xml.writeTextElement(QStringLiteral("admin"), QStringLiteral("tests@localhost"));
    xml.writeTextElement(QStringLiteral("hostname"), QStringLiteral("127.0.0.1"));

    xml.writeStartElement(QStringLiteral("limits"));
    xml.writeTextElement(QStringLiteral("clients"), number(m_options.clients));
    xml.writeTextElement(QStringLiteral("sources"), number(m_options.sources));
    xml.writeTextElement(QStringLiteral("queue-size"), number(512 * 1024));
    xml.writeTextElement(QStringLiteral("client-timeout"), number(30));
    xml.writeTextElement(QStringLiteral("header-timeout"), number(15));
    xml.writeTextElement(QStringLiteral("source-timeout"), number(m_options.sourceTimeout));
    xml.writeTextElement(QStringLiteral("burst-on-connect"), number(m_options.burstSize > 0 ? 1 : 0));
    xml.writeTextElement(QStringLiteral("burst-size"), number(m_options.burstSize));
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("authentication"));
    xml.writeTextElement(QStringLiteral("source-password"), text(m_options.sourcePassword));
    xml.writeTextElement(QStringLiteral("relay-password"),
                         QString::number(QRandomGenerator::global()->generate64(), 36)); // no relays here
    xml.writeTextElement(QStringLiteral("admin-user"), text(m_options.adminUser));
    xml.writeTextElement(QStringLiteral("admin-password"), text(m_options.adminPassword));
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("listen-socket"));
    xml.writeTextElement(QStringLiteral("port"), number(m_port));
    xml.writeTextElement(QStringLiteral("bind-address"), QStringLiteral("127.0.0.1"));
    xml.writeEndElement();

    for (const Mount &mount : std::as_const(m_options.mounts)) {
        xml.writeStartElement(QStringLiteral("mount"));
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("normal"));
        xml.writeTextElement(QStringLiteral("mount-name"), text(mount.name));
        if (mount.maxListeners >= 0)
            xml.writeTextElement(QStringLiteral("max-listeners"), number(mount.maxListeners));
        xml.writeEndElement();
    }

    xml.writeTextElement(QStringLiteral("fileserve"), number(1));
    xml.writeStartElement(QStringLiteral("paths"));
    xml.writeTextElement(QStringLiteral("basedir"), folder());
    xml.writeTextElement(QStringLiteral("logdir"), folder());
    xml.writeTextElement(QStringLiteral("pidfile"), folder() + QStringLiteral("/icecast.pid"));
    xml.writeTextElement(QStringLiteral("webroot"), QStringLiteral("/usr/share/icecast2/web"));
    xml.writeTextElement(QStringLiteral("adminroot"), QStringLiteral("/usr/share/icecast2/admin"));
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("logging"));
    xml.writeTextElement(QStringLiteral("accesslog"), QStringLiteral("access.log"));
    xml.writeTextElement(QStringLiteral("errorlog"), QStringLiteral("error.log"));
    xml.writeTextElement(QStringLiteral("loglevel"), number(3));
    xml.writeEndElement();

    xml.writeStartElement(QStringLiteral("security"));
    xml.writeTextElement(QStringLiteral("chroot"), number(0));
    if (::geteuid() == 0) {
        if (const std::optional<Owner> owner = unprivilegedOwner()) {
            xml.writeStartElement(QStringLiteral("changeowner"));
            xml.writeTextElement(QStringLiteral("user"), text(owner->user));
            xml.writeTextElement(QStringLiteral("group"), text(owner->group));
            xml.writeEndElement();
        }
    }
    xml.writeEndElement();

    if (!m_options.extraConfig.isEmpty())
        xml.device()->write(m_options.extraConfig);
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.flush()) {
        *error = QStringLiteral("cannot write ") + configFile();
        return false;
    }
    return true;
}

void IcecastServer::probe()
{
    if (m_probe || m_ready)
        return;
    // One status page request at a time; the answer, not just the accept, shows the server is up.
    m_probe = new QTcpSocket(this);
    QTcpSocket *probe = m_probe;
    const auto done = [this, probe] {
        if (m_probe != probe)
            return;
        m_probe = nullptr;
        probe->disconnect(this);
        probe->abort();
        probe->deleteLater();
    };
    connect(probe, &QTcpSocket::connected, this,
            [probe] { probe->write("GET /status-json.xsl HTTP/1.0\r\nUser-Agent: vorlane-tests\r\n\r\n"); });
    connect(probe, &QTcpSocket::readyRead, this, [this, probe, done] {
        if (!probe->peek(64).startsWith("HTTP/1.0 200"))
            return;
        done();
        if (m_ready || !isRunning())
            return;
        m_ready = true;
        m_probeTimer->stop();
        Q_EMIT ready();
    });
    connect(probe, &QTcpSocket::errorOccurred, this, done);
    connect(probe, &QTcpSocket::disconnected, this, done);
    probe->connectToHost(QHostAddress::LocalHost, m_port);
}

void IcecastServer::onFinished()
{
    if (!m_process || m_stopping)
        return;
    m_output += m_process->readAll();
    const bool wasReady = m_ready;
    m_ready = false;
    if (m_probeTimer)
        m_probeTimer->stop();
    m_process->deleteLater();
    m_process = nullptr;
    if (!wasReady && m_launches < kLaunchAttempts &&
        (errorLog().contains("Could not create listener socket") || m_output.contains("Could not create listener"))) {
        // Someone took the port between our look and Icecast's bind.
        if (m_probeTimer)
            m_probeTimer->deleteLater();
        m_probeTimer = nullptr;
        if (launch(&m_error))
            return;
    }
    if (m_error.isEmpty())
        m_error = wasReady ? QStringLiteral("icecast2 ended") : QStringLiteral("icecast2 ended before it answered");
    Q_EMIT finished();
}

bool IcecastServer::waitUntilReady(int timeoutMs)
{
    const bool answered = waitUntil([this] { return m_ready || (!isRunning() && !m_error.isEmpty()); }, timeoutMs);
    if (!m_ready && m_error.isEmpty())
        m_error =
            answered ? QStringLiteral("icecast2 did not start") : QStringLiteral("icecast2 did not answer in time");
    return m_ready;
}

bool IcecastServer::restart()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        QProcess *process = m_process;
        waitUntil([process] { return process->state() == QProcess::NotRunning; }, 5000);
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_keepPort = m_port;
    const bool launched = launch(&m_error);
    m_keepPort = 0;
    return launched;
}

void IcecastServer::stop()
{
    m_stopping = true;
    if (m_probeTimer) {
        m_probeTimer->stop();
        m_probeTimer->deleteLater();
        m_probeTimer = nullptr;
    }
    if (m_probe) {
        m_probe->disconnect(this);
        m_probe->abort();
        m_probe->deleteLater();
        m_probe = nullptr;
    }
    if (m_process) {
        m_output += m_process->readAll();
        m_process->disconnect(this);
        if (m_process->state() != QProcess::NotRunning) {
            QProcess *process = m_process;
            process->kill();
            waitUntil([process] { return process->state() == QProcess::NotRunning; }, 5000);
        }
        m_process->deleteLater();
        m_process = nullptr;
    }
    m_ready = false;
    m_stopping = false;
}
