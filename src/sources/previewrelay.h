#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include "platform/audiodevices.h"

class Mp3Player;
class QTimer;
class Socket;

// Listening while recording. The engine pushes every block of audio it
// records. With no external player configured the blocks go straight to the
// embedded player in memory; nothing listens on the network. With an external
// player, once more than 4000 bytes wait, the relay listens on 127.0.0.1 on a
// port the system picks and starts that player once with
// "http://127.0.0.1:<port>/<token>/streamer.mp3", the token being random for
// each relay, so that only that player gets the stream; after its request it
// sends what has arrived every 100 ms. Other local clients are closed and
// never stop the relay; audio a client does not read is bounded, the oldest
// going first.
class PreviewRelay final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewRelay)

public:
    // The embedded player plays through outputs made by audio; the master
    // volume is read from its mixer.
    explicit PreviewRelay(const platform::AudioDevices &audio, QObject *parent = nullptr);
    ~PreviewRelay() override;

    // The external player's program, or "" for the embedded player. It applies
    // from the next startListening on.
    void setExternalPlayer(const QString &program);
    // Appends a block of stream audio to what the player gets.
    void pushAudio(const QByteArray &data);
    void startListening();
    void stopListening();
    // Passes the listening volume (0..100) to the embedded player and remembers it in appliedVolume.
    void setVolume(qint32 volume);

    // True between startListening and stopListening; the engine pushes audio only then.
    bool listening = false;
    // The last value given to setVolume.
    qint32 appliedVolume = 0;

    // Bytes pushed and not yet sent to the external player.
    qsizetype pendingBytes() const { return m_pendingBytes; }
    // The embedded player, for diagnostics and tests.
    Mp3Player *player() const { return m_player; }
    // The address the external player is given; "" while nothing listens.
    QString address() const;
    // Bytes handed to the client's connection and not yet taken by the system.
    qint64 bytesInTransit() const;

Q_SIGNALS:
    // Listening ended by itself (no sound output, the external player not
    // started, a socket error): whoever shows listening as on must show it off.
    void listeningFailed();
    // What went wrong, for the user; raised just before listeningFailed.
    void messageRequested(const QString &text);

private:
    void playEmbedded(const QByteArray &data);
    void sendPending();
    void startRelay();
    void onConnectionRequested(qint32 requestId);
    void onClientData();
    void onClientClosed();
    void failListening(const QString &message);

    platform::Mixer &m_mixer;
    Socket *m_listener = nullptr;
    Socket *m_client = nullptr;
    QTimer *m_sendTimer = nullptr;
    Mp3Player *m_player = nullptr;

    QString m_externalPlayer;
    // The program of the listening now going on ("" for the embedded player).
    QString m_activePlayer;
    const QByteArray m_path; // "/<token>/streamer.mp3"
    QByteArray m_request;    // the client's request line as far as it came
    bool m_clientStreaming = false;
    bool m_playerStarted = false;
    // Pending audio as the blocks were pushed, so that the oldest can be dropped whole.
    QList<QByteArray> m_pending;
    qsizetype m_pendingBytes = 0;
};
