#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class Mp3Player;
class QTimer;
class Socket;

// The preview relay: buffers the audio the engine records and passes it to the
// embedded player over a local connection, so the user can listen while recording.
// Once more than 4000 bytes wait, it listens on 127.0.0.1:29174 and points the
// player at "http://127.0.0.1:29174/<token>/streamer.mp3", the token being
// random for each relay, so that only our player gets the stream; after the
// player's request it sends what has arrived every 100 ms. Other local clients
// are closed and never stop the relay; audio a client does not read is bounded,
// the oldest going first.
class PreviewRelay final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewRelay)

public:
    explicit PreviewRelay(QObject *parent = nullptr);
    ~PreviewRelay() override;

    // Appends a block of stream audio to the pending audio.
    void pushAudio(const QByteArray &data);
    void startListening();
    void stopListening();
    // Passes the listening volume (0..100) to the player and remembers it in appliedVolume.
    void setVolume(qint32 m_volume);

    // True between startListening and stopListening; the engine pushes audio only then.
    bool listening = false;
    // The last value given to setVolume.
    qint32 appliedVolume = 0;

    // Bytes pushed and not yet sent to the player.
    qsizetype pendingBytes() const { return m_pendingBytes; }
    // The embedded player, for diagnostics and tests.
    Mp3Player *player() const { return m_player; }
    // The address the player is pointed at.
    QString address() const;
    // Bytes handed to the client's connection and not yet taken by the system.
    qint64 bytesInTransit() const;

Q_SIGNALS:
    // Listening ended by itself (no sound output, the relay's port taken, a
    // socket error): whoever shows listening as on must show it off.
    void listeningFailed();
    // What went wrong, for the user; raised just before listeningFailed.
    void messageRequested(const QString &text);

private:
    void sendPending();
    void startRelay();
    void onConnectionRequested(qint32 requestId);
    void onClientData();
    void onClientClosed();
    void showSocketError(const QString &description);
    void failListening(const QString &message);

    Socket *m_listener = nullptr;
    Socket *m_client = nullptr;
    QTimer *m_sendTimer = nullptr;
    Mp3Player *m_player = nullptr;

    const QByteArray m_path; // "/<token>/streamer.mp3"
    QByteArray m_request;    // the client's request line as far as it came
    bool m_clientStreaming = false;
    bool m_playerStarted = false;
    // Pending audio as the blocks were pushed, so that the oldest can be dropped whole.
    QList<QByteArray> m_pending;
    qsizetype m_pendingBytes = 0;
};
