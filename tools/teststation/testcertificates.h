#pragma once

#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QString>
#include <QStringList>

#include <memory>

#include "teststation/stationconfig.h"

class QProcess;
class QTemporaryDir;

namespace teststation
{

// A throwaway certificate authority and a server certificate it signed for
// 127.0.0.1 and localhost, made with the openssl command line so that TLS
// tests need no files in the repository and nothing ages. The commands run one
// after another without blocking the event loop; finished() reports the end.
//
//   teststation::TestCertificates certificates;
//   certificates.make();
//   waitUntil([&] { return certificates.isDone(); });
//   config.tls = certificates.tls();
//   ... QSslConfiguration::setCaCertificates(certificates.caCertificates())
class TestCertificates final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TestCertificates)

public:
    explicit TestCertificates(QObject *parent = nullptr);
    ~TestCertificates() override;

    // Starts making the files in folder, or in a temporary folder removed with
    // this object when folder is empty. Valid for `days` days from now.
    void make(const QString &folder = QString(), int days = 2);

    bool isDone() const { return m_done; }
    bool isValid() const { return m_done && m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    QString folder() const { return m_folder; }
    QString caFile() const;          // ca.pem
    QString certificateFile() const; // server.pem
    QString keyFile() const;         // server.key
    Tls tls() const { return {certificateFile(), keyFile(), caFile()}; }
    QList<QSslCertificate> caCertificates() const;

    static QString opensslProgram() { return QStringLiteral("openssl"); }

Q_SIGNALS:
    void finished(bool ok);

private:
    void runNext();
    void finish(const QString &error);

    std::unique_ptr<QTemporaryDir> m_temporary;
    QString m_folder;
    QList<QStringList> m_commands;
    QProcess *m_process = nullptr;
    bool m_done = false;
    QString m_error;
};

} // namespace teststation
