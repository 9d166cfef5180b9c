#include "liquidsoapsource.h"

#include <QFile>
#include <QFileInfo>

bool LiquidsoapSource::isInstalled()
{
    return QFileInfo(program()).isExecutable();
}

LiquidsoapSource::LiquidsoapSource(QList<Output> outputs, int songs, double songSeconds, double pauseSeconds)
    : m_outputs(std::move(outputs))
    , m_songs(songs)
    , m_songSeconds(songSeconds)
    , m_pauseSeconds(pauseSeconds)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

LiquidsoapSource::~LiquidsoapSource()
{
    stop();
}

bool LiquidsoapSource::start(quint16 port, const QByteArray &password)
{
    QByteArray playlist;
    for (int song = 0; song < m_songs; ++song) {
        const QString letter(QChar(u'A' + song));
        const QString path = m_folder.filePath(QStringLiteral("song%1.flac").arg(letter));
        // A tone of its own per song, then the pause before the next.
        const QString tone = QStringLiteral("sine=f=%1:d=%2").arg(330 + 110 * song).arg(m_songSeconds);
        const QString filter =
            m_pauseSeconds > 0 ? QStringLiteral("apad=pad_dur=%1").arg(m_pauseSeconds) : QStringLiteral("anull");
        QProcess ffmpeg;
        ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                      QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), tone, QStringLiteral("-af"),
                      filter, QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-ar"),
                      QStringLiteral("44100"), QStringLiteral("-metadata"), QStringLiteral("title=Song ") + letter,
                      QStringLiteral("-metadata"), QStringLiteral("artist=Band"), path});
        if (!ffmpeg.waitForFinished(30000) || ffmpeg.exitCode() != 0) {
            m_error = QStringLiteral("ffmpeg could not make a song: ") + QString::fromLocal8Bit(ffmpeg.readAll());
            return false;
        }
        playlist += QFile::encodeName(path) + '\n';
    }
    QByteArray script = "settings.init.allow_root.set(true)\n"
                        "settings.log.stdout.set(true)\n"
                        "settings.log.file.set(false)\n"
                        "s = mksafe(playlist(mode=\"normal\", reload_mode=\"never\", \"" +
                        QFile::encodeName(m_folder.filePath(QStringLiteral("songs.m3u"))) + "\"))\n";
    for (const Output &output : std::as_const(m_outputs)) {
        script += "output.icecast(" + output.encoder + ", host=\"127.0.0.1\", port=" + QByteArray::number(port) +
                  ", password=\"" + password + "\", mount=\"" + output.mount + "\", name=\"Encoder FM\"";
        if (!output.format.isEmpty())
            script += ", format=\"" + output.format + "\"";
        script += ", s)\n";
    }
    QFile list(m_folder.filePath(QStringLiteral("songs.m3u")));
    QFile file(m_folder.filePath(QStringLiteral("source.liq")));
    if (!list.open(QIODevice::WriteOnly) || list.write(playlist) != playlist.size() ||
        !file.open(QIODevice::WriteOnly) || file.write(script) != script.size()) {
        m_error = QStringLiteral("cannot write the script in ") + m_folder.path();
        return false;
    }
    list.close();
    file.close();
    m_process.start(program(), {file.fileName()});
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    return true;
}

void LiquidsoapSource::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString LiquidsoapSource::errorString()
{
    return m_error.isEmpty() ? QString::fromLocal8Bit(m_process.readAll().right(2000)) : m_error;
}
