// Recorder, recording engine: when recording files begin and end, pause, and
// what happens when one cannot be written.
#include "engine/recorder.h"

#include <QDir>

#include <cerrno>
#include <cstring>

#include "config/preset.h"
#include "engine/recordingwriter.h"
#include "engine/startup.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sources/hlsstation.h"
#include "sources/previewrelay.h"

namespace
{

// Data that follows the creation of a file waits this long.
constexpr int kCreatePauseMs = 500;

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

    // Without a time limit the clock shows the time of the current file.
    if (fileName != m_songName && !m_preset.timeLimited)
        m_supervisor->restartClock();
    // Only a file still open is finished here: one that closeRecording closed
    // (a change of server) already has its tag, which must not be replaced.
    if (!createRecordingFile(fileName, fromTitle))
        return;
    m_songName = fileName;
    if (fromTitle)
        Q_EMIT songStarted(fileName);
}

bool Recorder::isFileOpen() const
{
    return m_writer && m_writer->isOpen();
}

QString Recorder::recordingFilePath() const
{
    return m_writer ? m_writer->path() : QString();
}

void Recorder::setStreamType(engine::StreamType type)
{
    m_streamType = type;
    if (m_writer)
        m_writer->setStreamType(type);
}

void Recorder::finishFile(bool fromTitle)
{
    if (m_writer)
        m_writer->close(fromTitle ? engine::TagSource::SongName : engine::TagSource::Station);
}

bool Recorder::createRecordingFile(const QByteArray &songName, bool fromTitle)
{
    // A title ends the song being written (the title writer tags and closes
    // it); anything else opens the name as the mode does.
    bool opened = false;
    if (fromTitle && m_writer->isOpen()) {
        opened = m_writer->titleChanged(songName);
    } else {
        if (m_writer->isOpen())
            finishFile(fromTitle);
        opened = m_writer->open(songName);
    }
    if (!opened) {
        recordingFailed(m_writer->failedPath(), m_writer->failure());
        return false;
    }
    if (const QString notice = m_writer->takeNotice(); !notice.isEmpty())
        Q_EMIT messageRequested(notice);
    m_stream->hold(kCreatePauseMs);
    return true;
}

void Recorder::writeAudio(const QByteArray &data)
{
    if (!m_paused && m_writer && !m_writer->writeAudio(data)) {
        recordingFailed(m_writer->failedPath(), m_writer->failure());
        return;
    }
    if (m_relay->listening)
        m_relay->pushAudio(data);
}

void Recorder::checkRecordingFile()
{
    // Writes to a file whose folder was removed succeed, and vanish with it.
    if (m_recording && isFileOpen() && !platform::fileExists(m_writer->path()))
        recordingFailed(m_writer->path(), QString::fromLocal8Bit(std::strerror(ENOENT)));
}

void Recorder::recordingFailed(const QString &path, const QString &reason)
{
    Q_EMIT messageRequested(QStringLiteral("Cannot write the recording file: ") + QDir::toNativeSeparators(path) +
                            QStringLiteral(" (") + reason + QStringLiteral(")"));
    // What is on disk is closed and tagged; the caption no longer claims a recording.
    stopRecording();
    setCaption(QStringLiteral("[ERR] Cannot write the recording file"));
    if (m_options.exitOnWriteFailure)
        requestExit(kExitWriteFailed);
}

void Recorder::closeRecording()
{
    finishFile(m_titleMode);
    dropConnection();
}

void Recorder::dropConnection()
{
    if (m_hls)
        m_hls->stop();
    m_connecting = false;
    m_stream->close();
}
