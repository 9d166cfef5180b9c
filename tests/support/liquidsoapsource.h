#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real encoder feeding Icecast: liquidsoap (/usr/bin/liquidsoap) plays a
// playlist of songs (a tone each, tagged "Band - Song A", "Band - Song B", ...)
// round and round and sends it to mounts of a server, each through its own
// encoder. An Ogg encoder starts a new stream of the chain with every song; for
// MP3 and AAC liquidsoap sets the mount's title through the server.
//
//   LiquidsoapSource source({{"/vorbis.ogg", "%vorbis"}}, 3, 1.5);
//   ASSERT_TRUE(source.start(icecast.port(), "source-secret")) << source.errorString();
class LiquidsoapSource final
{
public:
    struct Output
    {
        QByteArray mount;
        QByteArray encoder; // liquidsoap's: "%vorbis", "%opus", "%mp3(bitrate=128)", ...
        QByteArray format;  // the mount's content type; empty: the encoder's
    };

    static QString program() { return QStringLiteral("/usr/bin/liquidsoap"); }
    static bool isInstalled();

    LiquidsoapSource(QList<Output> outputs, int songs, double songSeconds, double pauseSeconds = 0);
    ~LiquidsoapSource();
    LiquidsoapSource(const LiquidsoapSource &) = delete;
    LiquidsoapSource &operator=(const LiquidsoapSource &) = delete;

    // Makes the songs (with ffmpeg) and launches liquidsoap; false when either failed.
    bool start(quint16 port, const QByteArray &password);
    void stop();
    // Why start() failed, or what liquidsoap said last.
    QString errorString();

private:
    QList<Output> m_outputs;
    int m_songs;
    double m_songSeconds;
    double m_pauseSeconds;
    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_error;
};
