#pragma once

// ffmpeg run from the HLS tests: to make segments, and as the reference for
// what a segment's audio is.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <initializer_list>

namespace
{

QStringList words(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *w : list)
        out.append(QString::fromUtf8(w));
    return out;
}

// Runs ffmpeg quietly in dir; the test fails when it does.
bool ffmpeg(const QString &dir, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("ffmpeg"), words({"-hide_banner", "-loglevel", "error", "-y"}) + args);
    const bool ok = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    EXPECT_TRUE(ok) << p.readAllStandardError().toStdString();
    return ok;
}

QByteArray file(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What ffmpeg itself takes out of a segment without decoding: the reference.
QByteArray copiedAudio(const QString &dir, const QString &input, const char *format)
{
    ffmpeg(dir, QStringList{QStringLiteral("-i"), input} + words({"-map", "0:a", "-c", "copy", "-id3v2_version", "0",
                                                                  "-write_xing", "0", "-f", format, "reference.out"}));
    return file(dir + QStringLiteral("/reference.out"));
}

} // namespace
