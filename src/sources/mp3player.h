#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "platform/audiooutput.h"

class QTimer;

struct mpg123_handle_struct;

// The embedded MP3 player: it is fed the recorded stream in memory, finds the
// MPEG frames in it, decodes them and plays them through a sound output it
// makes with each play(), all on the user-interface thread. Whatever comes
// before the first frame (a station's header lines, a frame cut in half) is
// skipped until two consecutive frame headers agree.
class Mp3Player final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Mp3Player)

public:
    enum class State
    {
        Stopped, // no sound output held; fed bytes are ignored
        Playing  // fed bytes are decoded and played
    };

    explicit Mp3Player(platform::AudioOutputFactory makeOutput, QObject *parent = nullptr);
    ~Mp3Player() override;

    // Claims the sound output. False (see errorString and soundOutputFailed)
    // when none can be opened.
    bool play();
    // Hands stream bytes to a playing player. What the output does not take
    // waits up to about a minute of audio; beyond that the oldest is skipped.
    void feed(const QByteArray &data);
    // Drops what is queued and releases the sound output.
    void stop();
    // balance 0..100 (50 is the centre), the system's master volume in percent
    // (or -1), and the listening volume 0..100. The system mixer applies the
    // master volume after us, so only the balance and the listening volume
    // shape the samples; a negative listening volume means unknown and plays
    // at full level.
    void setVolume(qint16 balance, qint16 masterVolume, qint16 volume);

    State state() const { return m_state; }
    QString errorString() const { return m_error; }
    // The last play() failed, or playing stopped, because the sound output failed.
    bool soundOutputFailed() const { return m_outputFailed; }
    // Stream bytes fed since play().
    qint64 bytesReceived() const { return m_bytesReceived; }
    // MPEG frames decoded since play().
    qint64 framesDecoded() const { return m_framesDecoded; }
    // The gain applied to the left and right (or only) channel, 0..1.
    double leftGain() const { return m_gain[0]; }
    double rightGain() const { return m_gain[1]; }

Q_SIGNALS:
    void stateChanged(Mp3Player::State state);
    // Playing stopped on an error (errorString); soundOutputFailed() tells
    // whether the sound output gave out.
    void failed();

private:
    void setState(State state);
    void fail(const QString &message, bool soundOutput = false);
    void releaseStream();
    bool createDecoder();
    // Decodes more samples into m_pcm; false when the decoder needs input that has not arrived.
    bool decodeMore();
    void pump();

    State m_state = State::Stopped;
    QString m_error;
    bool m_outputFailed = false;

    const platform::AudioOutputFactory m_makeOutput;
    QTimer *m_pumpTimer = nullptr;
    std::unique_ptr<platform::AudioOutput> m_output;
    mpg123_handle_struct *m_decoder = nullptr;

    bool m_synced = false;
    QByteArray m_scan;  // stream bytes before the first frame is found
    QByteArray m_input; // undecoded stream bytes
    qsizetype m_inputPos = 0;
    std::vector<qint16> m_pcm; // decoded samples not yet written
    std::size_t m_pcmPos = 0;
    std::vector<qint16> m_scaled;
    std::vector<unsigned char> m_decodeBuffer;
    int m_channels = 0;

    double m_gain[2] = {1.0, 1.0};
    qint64 m_bytesReceived = 0;
    qint64 m_framesDecoded = 0;
};
