#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QProcess;
class QTcpSocket;
class QTemporaryDir;
class QTimer;

// A mount section of the configuration.
struct IcecastMount
{
    QByteArray name;       // "/live"
    int maxListeners = -1; // <max-listeners>; -1 leaves it to <clients>
};

// What the test server is configured with.
struct IcecastOptions
{
    QList<IcecastMount> mounts; // mounts without a section here work too, without limits
    int clients = 20;           // <clients>: listeners, sources and admin requests together
    int sources = 4;
    QByteArray sourcePassword = "source-secret";
    QByteArray adminUser = "admin";
    QByteArray adminPassword = "admin-secret";
    int burstSize = 65536;  // bytes a new listener gets at once
    int sourceTimeout = 10; // seconds a silent source is kept
    QByteArray extraConfig; // more XML inside <icecast>
};

// A real Icecast 2 server (/usr/bin/icecast2) on 127.0.0.1 for tests: a free
// port, its own configuration, logs and pid file in a temporary folder, and
// no root rights needed. Run as root, it hands the process to the "nobody"
// user (Icecast refuses to run as root otherwise), so the folder is made over
// to that user too.
//
//   IcecastServer::Options options;
//   options.mounts = {{"/live", 1}}; // at most one listener
//   IcecastServer icecast(options);
//   ASSERT_TRUE(icecast.start()) << icecast.errorString();
//   ASSERT_TRUE(icecast.waitUntilReady()) << icecast.errorString();
//   ... icecast.port(), icecast.url("/live")
class IcecastServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IcecastServer)

public:
    using Mount = IcecastMount;
    using Options = IcecastOptions;

    static QString program() { return QStringLiteral("/usr/bin/icecast2"); }
    static bool isInstalled();

    explicit IcecastServer(const Options &options = Options(), QObject *parent = nullptr);
    ~IcecastServer() override;

    // Writes the configuration and launches the server on a free port; it
    // answers a little later (isReady(), ready(), waitUntilReady()). A server
    // that fails to take its port is started again on another one.
    bool start(QString *error = nullptr);
    // Runs the event loop until the server answers HTTP; false when it ended
    // or timed out (errorString() then tells why).
    bool waitUntilReady(int timeoutMs = 15000);
    bool isReady() const { return m_ready; }
    bool isRunning() const;
    // Ends the server (no grace period: its folder is thrown away anyway).
    void stop();
    // Ends the process and launches it again on the same port, as a server
    // restarted by its operator; false when it cannot be launched.
    bool restart();

    const Options &options() const { return m_options; }
    quint16 port() const { return m_port; }
    QByteArray hostPort() const;                  // "127.0.0.1:<port>"
    QByteArray url(const QByteArray &path) const; // "http://127.0.0.1:<port>" + path
    QString folder() const;
    QString configFile() const;
    QByteArray errorLog() const; // Icecast's error.log
    QByteArray output() const;   // what the process printed
    QString errorString() const; // why starting failed, with the end of the logs

Q_SIGNALS:
    void ready();
    void finished(); // the process ended (not through stop())

private:
    bool launch(QString *error);
    bool writeConfig(QString *error);
    void probe();
    void onFinished();

    Options m_options;
    std::unique_ptr<QTemporaryDir> m_folder;
    QProcess *m_process = nullptr;
    QTimer *m_probeTimer = nullptr;
    QTcpSocket *m_probe = nullptr;
    QByteArray m_output;
    quint16 m_port = 0;
    int m_launches = 0;
    quint16 m_keepPort = 0; // launch on this port rather than a free one
    bool m_ready = false;
    bool m_stopping = false;
    QString m_error;
};
