#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>

class Mp3P;
class QTimer;
class ctlSocket;

// The preview relay: buffers the audio the engine records and passes it to the
// embedded player over a local connection, so the user can listen while recording.
// Once more than 4000 bytes wait, it listens on 127.0.0.1:29174 and points the
// player at "http://127.0.0.1:29174/streamer.mp3"; after the player's request it
// sends what has arrived every 100 ms.
class ctlMP3Server final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ctlMP3Server)

public:
    explicit ctlMP3Server(QObject *parent = nullptr);
    ~ctlMP3Server() override;

    // Appends a block of stream audio to the pending audio.
    void PushData(const QByteArray &lInData);
    void StartPreviewing();
    void StopPreviewing();
    // Passes the listening volume (0..100) to the player and remembers it in lSetVolume.
    void SetVolume(qint32 lngVolume);

    // True between StartPreviewing and StopPreviewing; the engine pushes audio only then.
    bool blnEnablePreviewStream = false;
    // The last value given to SetVolume.
    qint32 lSetVolume = 0;

    // Bytes pushed and not yet sent to the player.
    qsizetype pendingBytes() const { return m_pendingBytes; }
    // The embedded player, for diagnostics and tests.
    Mp3P *player() const { return m_player; }

private:
    void tmrAudio_Timer();
    void startRelay();
    void wsServer_ConnectionRequest(qint32 requestID);
    void wsData_DataArrival();
    void wsData_PeerClosed();
    void showSocketError(const QString &description);

    ctlSocket *wsServer = nullptr;
    ctlSocket *wsData = nullptr;
    QTimer *tmrAudio = nullptr;
    Mp3P *m_player = nullptr;

    bool m_clientStreaming = false;
    bool m_playerStarted = false;
    // Pending audio as the blocks were pushed, so that the oldest can be dropped whole.
    QList<QByteArray> m_pending;
    qsizetype m_pendingBytes = 0;
};
