#include "teststation/testcertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace teststation
{

namespace
{

// Our own configuration, so that the machine's openssl.cnf adds no extensions
// of its own (a second basicConstraints makes openssl fail).
constexpr char kOpensslConfig[] = "[req]\n"
                                  "distinguished_name = dn\n"
                                  "prompt = no\n"
                                  "[dn]\n"
                                  "CN = unused\n"
                                  "[ca_ext]\n"
                                  "basicConstraints = critical, CA:TRUE\n"
                                  "keyUsage = critical, keyCertSign, cRLSign\n"
                                  "subjectKeyIdentifier = hash\n"
                                  "[server_ext]\n"
                                  "basicConstraints = critical, CA:FALSE\n"
                                  "keyUsage = critical, digitalSignature, keyEncipherment\n"
                                  "extendedKeyUsage = serverAuth\n"
                                  "subjectAltName = IP:127.0.0.1, DNS:localhost\n"
                                  "subjectKeyIdentifier = hash\n"
                                  "authorityKeyIdentifier = keyid\n";

} // namespace

TestCertificates::TestCertificates(QObject *parent)
    : QObject(parent)
{}

TestCertificates::~TestCertificates()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
    }
}

QString TestCertificates::caFile() const
{
    return m_folder + QStringLiteral("/ca.pem");
}

QString TestCertificates::certificateFile() const
{
    return m_folder + QStringLiteral("/server.pem");
}

QString TestCertificates::keyFile() const
{
    return m_folder + QStringLiteral("/server.key");
}

QList<QSslCertificate> TestCertificates::caCertificates() const
{
    return isValid() ? QSslCertificate::fromPath(caFile()) : QList<QSslCertificate>();
}

void TestCertificates::make(const QString &folder, int days)
{
    m_done = false;
    m_error.clear();
    if (folder.isEmpty()) {
        m_temporary = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vorlane-tls-XXXXXX"));
        if (!m_temporary->isValid()) {
            finish(QStringLiteral("cannot make a temporary folder"));
            return;
        }
        m_folder = m_temporary->path();
    } else {
        m_folder = folder;
        if (!QDir().mkpath(m_folder)) {
            finish(QStringLiteral("cannot make ") + m_folder);
            return;
        }
    }
    QFile config(m_folder + QStringLiteral("/openssl.cnf"));
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate) || config.write(kOpensslConfig) < 0) {
        finish(QStringLiteral("cannot write ") + config.fileName());
        return;
    }
    config.close();

    const QString cnf = config.fileName();
    const QString validity = QString::number(days);
    const QStringList ecKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                               QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    // Every test CA has the same name, and serials must not repeat under one issuer name.
    const QString serial = QStringLiteral("0x") + QString::number(QRandomGenerator::global()->generate64() >> 1, 16);
    m_commands = {
        QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-config"), cnf,
                    QStringLiteral("-extensions"), QStringLiteral("ca_ext"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=Vorlane Test CA"), QStringLiteral("-days"), validity, QStringLiteral("-keyout"),
                    QStringLiteral("ca.key"), QStringLiteral("-out"), QStringLiteral("ca.pem")} +
            ecKey,
        QStringList{QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-config"), cnf,
                    QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-keyout"),
                    QStringLiteral("server.key"), QStringLiteral("-out"), QStringLiteral("server.csr")} +
            ecKey,
        QStringList{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
                    QStringLiteral("-CA"), QStringLiteral("ca.pem"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                    QStringLiteral("-set_serial"), serial, QStringLiteral("-days"), validity,
                    QStringLiteral("-extfile"), cnf, QStringLiteral("-extensions"), QStringLiteral("server_ext"),
                    QStringLiteral("-out"), QStringLiteral("server.pem")},
    };
    runNext();
}

void TestCertificates::runNext()
{
    if (m_commands.isEmpty()) {
        finish(QString());
        return;
    }
    const QStringList arguments = m_commands.takeFirst();
    m_process = new QProcess(this);
    m_process->setWorkingDirectory(m_folder);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::finished, this, [this, arguments](int code, QProcess::ExitStatus status) {
        const QByteArray output = m_process->readAll();
        m_process->deleteLater();
        m_process = nullptr;
        if (status != QProcess::NormalExit || code != 0) {
            finish(QStringLiteral("openssl ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed: ") +
                   QString::fromLocal8Bit(output));
            return;
        }
        runNext();
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return; // a crash also ends in finished()
        m_process->deleteLater();
        m_process = nullptr;
        finish(QStringLiteral("cannot run ") + opensslProgram() + QStringLiteral(" (is it installed?)"));
    });
    m_process->start(opensslProgram(), arguments);
}

void TestCertificates::finish(const QString &error)
{
    m_commands.clear();
    m_error = error;
    m_done = true;
    Q_EMIT finished(error.isEmpty());
}

} // namespace teststation
