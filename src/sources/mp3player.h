#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QTimer;
class Socket;

namespace platform
{
class AudioOutput;
}

struct mpg123_handle_struct;

// The embedded MP3 player the relay points at its local address. It fetches an
// HTTP (or ICY) stream, finds the MPEG frames in it, decodes them and plays
// them through the platform's sound output, all on the user-interface thread.
// The status line of the reply is checked; whatever follows it (station header
// lines, a frame cut in half) is skipped until two consecutive frame headers agree.
class Mp3Player final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Mp3Player)

public:
    enum class State
    {
        Closed,     // no address
        Stopped,    // an address, not playing
        Connecting, // connecting or waiting for the reply's status
        Playing     // the server answered; frames are decoded as they arrive
    };

    explicit Mp3Player(QObject *parent = nullptr);
    ~Mp3Player() override;

    // Takes the address to play ("http://host[:port]/path"); stops what was
    // playing. False, and Closed, when the address is not an HTTP address.
    bool open(const QString &address);
    // Claims the sound output and starts fetching the address. False (see
    // errorString) when no address is open or no sound output can be opened.
    bool play();
    // Drops the connection and what is queued, and releases the sound output.
    void stop();
    // Stops and forgets the address.
    void close();
    // balance 0..100 (50 is the centre), the system's master volume in percent
    // (or -1), and the listening volume 0..100. The system mixer applies the
    // master volume after us, so only the balance and the listening volume
    // shape the samples; a negative listening volume means unknown and plays
    // at full level.
    void setVolume(qint16 balance, qint16 masterVolume, qint16 volume);

    State state() const { return m_state; }
    QString address() const { return m_address; }
    QString errorString() const { return m_error; }
    // The last play() failed, or playing stopped, because the sound output failed.
    bool soundOutputFailed() const { return m_outputFailed; }
    // Stream bytes received after the reply's status, since play().
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
    void onTimer();
    void sendRequest();
    void onDataArrival();
    void onPeerClosed();
    void takeReplyHead(const QByteArray &data);
    void takeStreamData(const QByteArray &data);
    bool createDecoder();
    // Decodes more samples into m_pcm; false when the decoder needs input that has not arrived.
    bool decodeMore();
    void pump();

    State m_state = State::Closed;
    QString m_address;
    QString m_host;
    quint16 m_port = 0;
    QByteArray m_resource;
    QString m_error;
    bool m_outputFailed = false;

    Socket *m_socket = nullptr;
    QTimer *m_pumpTimer = nullptr;
    std::unique_ptr<platform::AudioOutput> m_output;
    mpg123_handle_struct *m_decoder = nullptr;

    bool m_requestSent = false;
    bool m_statusSeen = false;
    bool m_synced = false;
    bool m_streamEnded = false;
    QByteArray m_head;  // reply bytes before its status is known
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
