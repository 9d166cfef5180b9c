// Recorder, recording engine: the recording files, their names and their ID3 tags.
#include "engine/recorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include "config/preset.h"
#include "engine/audiocontent.h"
#include "engine/id3v1tag.h"
#include "engine/recordingnames.h"
#include "engine/startup.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sources/connectionwait.h"
#include "sources/previewrelay.h"
#include "sources/socket.h"

namespace
{

// Data that follows the creation of a file waits this long.
constexpr int kCreatePauseMs = 500;
constexpr qint64 kTagSize = 128;
// Numbered copies tried before a name counts as taken for good.
constexpr int kMaxCopies = 100000;

} // namespace

void Recorder::openSongFile(QByteArray fileName, bool fromTitle)
{
    // A failure stopped the recording while the rest of a packet was being handled.
    if (!m_recording)
        return;
    if (m_pausedStart) {
        // A paused start: the first file opens when the pause ends.
        togglePause();
        m_pausedStart = false;
        m_pendingFileName = fileName;
        m_songName = fileName;
        if (m_preset.listenAtStart) {
            m_relay->startListening();
            m_listening = true;
        }
        return;
    }
    if (m_paused) {
        if (fileName != m_songName) {
            if (!m_pendingFileName.isEmpty())
                m_pendingFileName = fileName;
            m_songName = fileName;
        }
        return;
    }

    // Only a file still open is finished here: one that closeRecording closed
    // (a change of server) already has its tag, which must not be replaced.
    if (m_file.isOpen())
        finishFile(fromTitle);
    // Without a time limit the clock shows the time of the current file.
    if (fileName != m_songName && !m_preset.timeLimited)
        m_recordStart = platform::clock().tickCount();
    if (!createRecordingFile(fileName))
        return;
    m_songName = fileName;
    if (fromTitle)
        Q_EMIT songStarted(fileName);
}

void Recorder::finishFile(bool fromTitle)
{
    m_file.close();
    if (!m_filePath.isEmpty() && platform::fileExists(m_filePath))
        tagRecordingFile(m_filePath, m_fileSong, fromTitle);
}

bool Recorder::createRecordingFile(const QByteArray &songName)
{
    QString path;
    QString reason;
    // Titles never replace a file: a song that airs again, or another title that
    // cleans to the same name, gets a numbered copy. Single-file and archive mode
    // write the file the user named (a single file only over a recording).
    bool opened = m_preset.captureMode == 2   ? openNewFile(songName, path, reason)
                  : m_preset.captureMode == 1 ? openSingleFile(songName, path, reason)
                                              : openNamedFile(songName, path, reason);
    if (!opened) {
        // A name the file system does not take (or none left after cleaning):
        // the audio goes to a made-up name, and the song name stays the title, so
        // that the next block with the same title continues this file.
        const int number = static_cast<int>(QRandomGenerator::global()->bounded(60000));
        QString fallbackPath;
        QString fallbackReason;
        opened =
            openNewFile(engine::fallbackFileName(number, platform::clock().now().date()), fallbackPath, fallbackReason);
        if (opened) {
            path = fallbackPath;
        } else if (path.isEmpty()) {
            path = fallbackPath;
            reason = fallbackReason;
        }
    }
    if (!opened) {
        m_filePath.clear();
        recordingFailed(path, reason);
        return false;
    }
    m_filePath = path;
    m_fileSong = songName;
    holdIncomingData(kCreatePauseMs);
    return true;
}

bool Recorder::openNewFile(const QByteArray &name, QString &path, QString &reason)
{
    m_file.close();
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const QString fileName = engine::recordingFileName(name, copy);
        if (fileName.isEmpty()) {
            path.clear();
            return false;
        }
        path = m_preset.saveFolder + fileName;
        if (platform::pathExists(path))
            continue;
        m_file.setFileName(path);
        // NewOnly: a file that appeared meanwhile is never truncated.
        // Unbuffered: every packet reaches the file with its own write, so
        // nothing received is lost if the process ends abruptly.
        if (m_file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (!platform::pathExists(path)) {
            reason = m_file.errorString();
            return false;
        }
    }
    reason = QStringLiteral("No free file name");
    return false;
}

bool Recorder::openNamedFile(const QByteArray &name, QString &path, QString &reason)
{
    m_file.close();
    const QString fileName = engine::recordingFileName(name);
    path.clear();
    if (fileName.isEmpty())
        return false;
    path = m_preset.saveFolder + fileName;
    m_file.setFileName(path);
    // An archive started again on the same day goes on with that day's file; a
    // single file goes on only after a change of server within one recording.
    const bool continuing =
        platform::fileExists(path) && (m_preset.captureMode == 3 || m_recordingFiles.contains(path));
    if (!continuing)
        QFile::remove(path);
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        reason = m_file.errorString();
        return false;
    }
    if (continuing)
        continueAfterAudio();
    // Title-mode files are never remembered: a recording that runs for weeks
    // creates thousands of them and must not grow with them.
    m_recordingFiles.insert(path);
    return true;
}

void Recorder::continueAfterAudio()
{
    // Our own tag comes off again; the audio goes on after the audio.
    const qint64 size = m_file.size();
    if (size >= kTagSize && m_file.seek(size - kTagSize) && isOwnId3v1Tag(m_file.read(kTagSize)))
        m_file.resize(size - kTagSize);
    m_file.seek(m_file.size());
}

bool Recorder::openSingleFile(const QByteArray &name, QString &path, QString &reason)
{
    m_file.close();
    // Only a name with an audio extension of its own (or none at all) names a
    // file the user meant to be replaced by the recording.
    const QString presetName = m_preset.recordingFileName;
    const bool mayReplace =
        engine::hasAudioExtension(presetName.toLocal8Bit()) || QFileInfo(presetName).suffix().isEmpty();
    QString keptPath;
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const QString fileName = engine::recordingFileName(name, copy);
        if (fileName.isEmpty()) {
            path.clear();
            return false;
        }
        path = m_preset.saveFolder + fileName;
        m_file.setFileName(path);
        const bool exists = platform::pathExists(path);
        if (exists && m_recordingFiles.contains(path) && platform::fileExists(path)) {
            // A change of server within this recording: the audio goes on after the audio.
            if (!m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
                reason = m_file.errorString();
                return false;
            }
            continueAfterAudio();
            return true;
        }
        if (exists) {
            if (copy > 1 || !mayReplace || !engine::isReplaceableRecording(path)) {
                if (keptPath.isEmpty())
                    keptPath = path;
                continue;
            }
            QFile::remove(path);
        }
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            if (platform::pathExists(path))
                continue; // appeared meanwhile: never truncated
            reason = m_file.errorString();
            return false;
        }
        m_recordingFiles.insert(path);
        if (!keptPath.isEmpty())
            Q_EMIT messageRequested(QStringLiteral("The file ") + QDir::toNativeSeparators(keptPath) +
                                    QStringLiteral(" already exists and is kept. Recording into ") +
                                    QDir::toNativeSeparators(path) + QStringLiteral(" instead."));
        return true;
    }
    reason = QStringLiteral("No free file name");
    return false;
}

void Recorder::writeAudio(const QByteArray &data)
{
    if (!m_paused && m_file.isOpen()) {
        // A short write is followed by another, which then reports why it failed.
        qint64 written = 0;
        while (written < data.size()) {
            const qint64 n = m_file.write(data.constData() + written, data.size() - written);
            if (n <= 0) {
                recordingFailed(m_filePath, m_file.errorString());
                return;
            }
            written += n;
        }
    }
    if (m_relay->listening)
        m_relay->pushAudio(data);
}

void Recorder::checkRecordingFile()
{
    // Writes to a file whose folder was removed succeed, and vanish with it.
    if (m_recording && m_file.isOpen() && !platform::fileExists(m_filePath))
        recordingFailed(m_filePath, QString::fromLocal8Bit(std::strerror(ENOENT)));
}

void Recorder::recordingFailed(const QString &path, const QString &reason)
{
    Q_EMIT messageRequested(QStringLiteral("Cannot write the recording file: ") + QDir::toNativeSeparators(path) +
                            QStringLiteral(" (") + reason + QStringLiteral(")"));
    // What is on disk is closed and tagged; the caption no longer claims a recording.
    stopRecording();
    setCaption(QStringLiteral("[ERR] Cannot write the recording file"));
    if (m_exitOnWriteFailure)
        requestExit(kExitWriteFailed);
}

void Recorder::closeRecording()
{
    finishFile(m_titleMode);
    dropConnection();
}

void Recorder::dropConnection()
{
    m_connectionWait->cancel();
    m_connecting = false;
    dropHeldData();
    m_socket->close();
    m_awaitingHeader = true;
    m_header.clear();
}

void Recorder::tagRecordingFile(const QString &path, const QByteArray &songName, bool fromTitle)
{
    if (m_streamType != engine::StreamType::Mp3)
        return; // an ID3v1 tag belongs to MP3 files only
    Id3v1Fields fields;
    if (fromTitle) {
        const QByteArray base = songName.left(std::max<qsizetype>(songName.size() - 4, 0));
        const qsizetype dash = base.indexOf(" - ");
        if (dash >= 0) {
            fields.artist = base.left(dash);
            fields.title = base.mid(dash + 3);
        } else {
            fields.title = base;
        }
    } else {
        fields.title = m_preset.stationTitle.toLocal8Bit();
    }
    writeId3v1Tag(path, fields); // a tag that cannot be written is skipped
}
