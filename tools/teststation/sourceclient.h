#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

#include "platform/clock.h"
#include "teststation/stationconfig.h"

class QTcpSocket;
class QTimer;

namespace teststation
{

class AudioSource;

// Where a source client sends its stream: a mount of an Icecast 2.4 server,
// and how it changes the mount's title there.
struct SourceConfig
{
    enum class Method
    {
        Put,   // "PUT /mount HTTP/1.1", the current source protocol
        Source // "SOURCE /mount HTTP/1.0", the legacy one
    };

    QByteArray host = "127.0.0.1";
    quint16 port = 8000;
    QByteArray mount = "/stream";
    Method method = Method::Put;
    QByteArray user = "source"; // Basic auth of the source request
    QByteArray password;
    // Basic auth of the title updates (GET /admin/metadata?mode=updinfo).
    QByteArray adminUser = "admin";
    QByteArray adminPassword;
    QByteArray description; // "Ice-Description:"; empty leaves it out
    QByteArray url;         // "Ice-Url:"; empty leaves it out
    bool isPublic = false;  // "Ice-Public:"

    // The audio and titles as for a served stream: mp3File or generated frames
    // (bitRateKbps, tone, seed), name and genre ("Ice-Name", "Ice-Genre"),
    // titles and titleEvery (each change goes to the admin interface), pace
    // and burstBytes. Header, metadata and misbehaviour fields are not used.
    Stream stream;
    // What real-time pacing measures (a test's fake clock); none: the system's.
    platform::Clock *clock = nullptr;
    // Keep the audio bytes each session sent (SourceSession::audio).
    bool recordAudio = true;
};

// One connection of the source to the server, from start() to its end.
struct SourceSession
{
    QByteArray request;  // the source request header as sent
    QByteArray response; // the server's answer, status line to blank line
    int status = 0;      // its status code (200 when accepted); 0 before it came
    bool accepted = false;
    qint64 audioBytes = 0;
    QByteArray audio;            // the audio sent (when SourceConfig::recordAudio)
    bool closedByServer = false; // the server ended it (or it could not connect)
    bool open = true;
};

// One title change sent to the admin interface.
struct TitleUpdate
{
    int session = -1;       // the source session streaming when it was sent, else -1
    qint64 audioOffset = 0; // audio bytes of that session sent before it
    QByteArray title;
    QByteArray requestLine; // "GET /admin/metadata?mount=...&mode=updinfo&song=... HTTP/1.0"
    int status = 0;         // the reply's status code; 0 while waiting, -1 when none came
    QByteArray reply;       // the whole reply
};

// The test station as an Icecast source client: instead of serving listeners
// it sends its MP3 stream to a mount of an Icecast server, paced in real time,
// and changes the mount's title through the server's admin interface. Like
// Station it runs in the caller's thread and event loop.
//
//   teststation::SourceConfig config;
//   config.port = icecast.port();
//   config.mount = "/live";
//   config.password = "secret";
//   config.adminPassword = "admin-secret";
//   teststation::SourceClient source(config);
//   source.start();
//   waitUntil([&] { return source.isStreaming(); });
//   source.setTitle("Artist - Title");
//   source.stop();  // the mount disappears; start() brings it back
class SourceClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceClient)

public:
    enum class State
    {
        Idle,       // never started, stopped, refused or cut off
        Connecting, // connecting, or waiting for the server's answer
        Streaming   // accepted; audio flows
    };

    explicit SourceClient(const SourceConfig &config = SourceConfig(), QObject *parent = nullptr);
    ~SourceClient() override;

    // The configuration; changes apply from the next start().
    SourceConfig &config() { return m_config; }
    const SourceConfig &config() const { return m_config; }

    // Opens a new session (ending a running one first). Audio and titles start
    // again from the beginning.
    void start();
    // Ends the session: the connection closes and the server drops the mount.
    void stop();

    State state() const { return m_state; }
    bool isStreaming() const { return m_state == State::Streaming; }
    // Why the last session ended or was refused; empty after stop().
    QString errorString() const { return m_error; }

    // Sends a title to the admin interface now, whatever the configured titles say.
    void setTitle(const QByteArray &title);
    QByteArray title() const { return m_title; }

    int sessionCount() const { return static_cast<int>(m_sessions.size()); }
    const SourceSession &session(int index) const { return m_sessions.at(index); }
    const QList<TitleUpdate> &titleUpdates() const { return m_updates; }

    QByteArray hostPort() const; // "127.0.0.1:<port>"
    QByteArray mountUrl() const; // "http://127.0.0.1:<port>/mount"
    QByteArray authorization(const QByteArray &user, const QByteArray &password) const;

Q_SIGNALS:
    // The server accepted the source; audio flows.
    void streaming();
    // The session ended: stopped, refused, cut off by the server, or no connection.
    void ended();
    // The server answered the title update updates[index] (or gave no answer).
    void titleAnswered(int index);

private:
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError();
    void accept();
    void end(bool byServer, const QString &error);
    void pump();
    void writeAudio(qint64 n);
    void followTitles();
    SourceSession &current() { return m_sessions.last(); }
    platform::Clock &pacingClock() { return m_config.clock ? *m_config.clock : m_systemClock; }

    SourceConfig m_config;
    State m_state = State::Idle;
    QString m_error;
    QList<SourceSession> m_sessions;
    QList<TitleUpdate> m_updates;
    QByteArray m_title;

    QTcpSocket *m_socket = nullptr;
    QTimer *m_paceTimer = nullptr;
    std::unique_ptr<AudioSource> m_source;
    QByteArray m_answer;
    qint64 m_bytesPerSecond = 16000;
    qint64 m_startMs = 0;
    platform::SystemClock m_systemClock;
    qsizetype m_titleIndex = -1;
};

} // namespace teststation
