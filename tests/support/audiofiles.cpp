#include "audiofiles.h"

#include <QProcess>
#include <QTemporaryDir>

#include "engine/framescanner.h"
#include "engine/id3v1tag.h"
#include "engine/id3v2tag.h"

namespace audiofiles
{

namespace
{

// mpg123 reports a frame cut short before a tag, which ffmpeg passes over.
QString mpg123Errors(const QString &path)
{
    QProcess mpg123;
    mpg123.setProcessChannelMode(QProcess::MergedChannels);
    mpg123.start(QStringLiteral("mpg123"), {QStringLiteral("-t"), path});
    if (!mpg123.waitForFinished(60000))
        return QStringLiteral("mpg123 did not run: ") + mpg123.errorString();
    QStringList errors;
    for (const QString &line : QString::fromLocal8Bit(mpg123.readAll()).split(QLatin1Char('\n'))) {
        if (line.contains(QLatin1String("error"), Qt::CaseInsensitive) ||
            line.contains(QLatin1String("illegal"), Qt::CaseInsensitive) ||
            line.contains(QLatin1String("resync"), Qt::CaseInsensitive))
            errors.append(line.trimmed());
    }
    return errors.join(QLatin1Char('\n'));
}

} // namespace

QString decodeErrors(const QString &path)
{
    if (path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive)) {
        const QString errors = mpg123Errors(path);
        if (!errors.isEmpty())
            return errors;
    }
    return ffmpegErrors(path);
}

QString ffmpegErrors(const QString &path)
{
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::MergedChannels);
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                  QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(120000))
        return QStringLiteral("ffmpeg did not run: ") + ffmpeg.errorString();
    const QString output = QString::fromLocal8Bit(ffmpeg.readAll()).trimmed();
    if (ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return QStringLiteral("ffmpeg failed: ") + output;
    return output;
}

QByteArray encodeOgg(const QString &codec, const QString &title, const QString &artist, double seconds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("stream.ogg"));
    QStringList arguments{QStringLiteral("-nostdin"),
                          QStringLiteral("-v"),
                          QStringLiteral("error"),
                          QStringLiteral("-f"),
                          QStringLiteral("lavfi"),
                          QStringLiteral("-i"),
                          QStringLiteral("sine=f=440:d=") + QString::number(seconds),
                          QStringLiteral("-c:a"),
                          codec};
    if (!title.isEmpty())
        arguments << QStringLiteral("-metadata") << QStringLiteral("title=") + title;
    if (!artist.isEmpty())
        arguments << QStringLiteral("-metadata") << QStringLiteral("artist=") + artist;
    arguments << path;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray encodeAdtsSongs(double songSeconds, double gapSeconds, int songs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("songs.aac"));
    const QString period = QString::number(songSeconds + gapSeconds);
    const QString tone = QStringLiteral("aevalsrc=if(lt(mod(t\\,%1)\\,%2)\\,0.5*sin(2*PI*440*t)\\,0):s=44100:d=%3")
                             .arg(period)
                             .arg(songSeconds)
                             .arg((songSeconds + gapSeconds) * songs);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"), tone, QStringLiteral("-c:a"), QStringLiteral("aac"),
                  QStringLiteral("-b:a"), QStringLiteral("128k"), QStringLiteral("-f"), QStringLiteral("adts"), path});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qint64 frameSplit(const QByteArray &audio, qint64 at)
{
    engine::FrameScanner scanner;
    std::vector<engine::FrameScanner::Frame> frames;
    scanner.scan(audio, 0, true, frames);
    for (const engine::FrameScanner::Frame &frame : frames) {
        const qint64 end = frame.offset + frame.header.length;
        if (frame.offset <= at && at < end)
            return at == frame.offset ? at : end;
    }
    return at;
}

QByteArray withoutTags(const QByteArray &file)
{
    QByteArray audio = file.mid(id3v2TagLength(file));
    if (audio.size() >= 128 && isOwnId3v1Tag(audio.right(128)))
        audio.chop(128);
    return audio;
}

} // namespace audiofiles
