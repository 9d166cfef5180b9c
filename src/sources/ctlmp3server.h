#pragma once

#include <QByteArray>
#include <QObject>

// The preview relay: buffers the audio the engine records and passes it to the
// embedded player over a local connection, so the user can listen while recording.
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
    qsizetype pendingBytes() const { return m_pending.size(); }

private:
    QByteArray m_pending;
};
