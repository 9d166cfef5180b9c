// Recorder, recording engine: the recording files, their names and their ID3 tags.
#include "engine/recorder.h"

#include <QFile>
#include <QRandomGenerator>

#include "config/preset.h"
#include "engine/id3v1tag.h"
#include "engine/recordingnames.h"
#include "engine/streamtitle.h"
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

} // namespace

QString Recorder::recordingPath(const QByteArray &name) const
{
    return m_preset.saveFolder + QFile::decodeName(cleanFileName(name));
}

void Recorder::openSongFile(QByteArray fileName, bool fromTitle)
{
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
    const bool finishing = m_file.isOpen();
    m_file.close();
    if (finishing && !m_songName.isEmpty() && platform::fileExists(recordingPath(m_songName)))
        tagRecordingFile(m_songName, fromTitle);
    // Without a time limit the clock shows the time of the current file.
    if (fileName != m_songName && !m_preset.timeLimited)
        m_recordStart = platform::clock().tickCount();
    createRecordingFile(fileName);
    m_songName = fileName;
    if (fromTitle)
        Q_EMIT songStarted(fileName);
}

bool Recorder::createRecordingFile(QByteArray &fileName)
{
    bool created = openRecordingFile(recordingPath(fileName), m_preset.captureMode != 2);
    if (!created) {
        const int number = static_cast<int>(QRandomGenerator::global()->bounded(60000));
        fileName = engine::fallbackFileName(number, platform::clock().now().date());
        openRecordingFile(recordingPath(fileName), false);
    }
    holdIncomingData(kCreatePauseMs);
    return created;
}

bool Recorder::openRecordingFile(const QString &path, bool mayContinue)
{
    m_file.close();
    m_file.setFileName(path);
    // A change of server within one recording comes back to the same file in
    // single-file and archive mode: it goes on where it stopped, without the tag
    // this recording gave it when the connection closed.
    const bool continuing = mayContinue && m_recordingFiles.contains(path) && platform::fileExists(path);
    if (!continuing)
        QFile::remove(path);
    // Unbuffered: every packet reaches the file with its own write, so nothing
    // received is lost if the process ends abruptly.
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    if (continuing) {
        const auto tagged = m_taggedLengths.constFind(path);
        if (tagged != m_taggedLengths.constEnd() && m_file.size() == *tagged + kTagSize) {
            m_file.seek(*tagged);
            if (m_file.read(3) == "TAG")
                m_file.resize(*tagged);
        }
        m_file.seek(m_file.size());
    }
    // Only files that may be continued are remembered: a title-mode recording
    // that runs for weeks creates thousands of files and must not grow with them.
    if (mayContinue)
        m_recordingFiles.insert(path);
    return true;
}

void Recorder::writeAudio(const QByteArray &data)
{
    if (!m_paused && m_file.isOpen())
        m_file.write(data); // a recording never stops because a write failed
    if (m_relay->listening)
        m_relay->pushAudio(data);
}

void Recorder::closeRecording()
{
    m_file.close();
    if (!m_songName.isEmpty() && platform::fileExists(recordingPath(m_songName)))
        tagRecordingFile(m_songName, m_titleMode);
    m_connectionWait->cancel();
    m_connecting = false;
    dropHeldData();
    m_socket->close();
    m_awaitingHeader = true;
    m_header.clear();
}

void Recorder::tagRecordingFile(const QByteArray &fileName, bool fromTitle)
{
    if (m_streamType != engine::StreamType::Mp3)
        return; // an ID3v1 tag belongs to MP3 files only
    Id3v1Fields fields;
    if (fromTitle) {
        const QByteArray base = fileName.left(std::max<qsizetype>(fileName.size() - 4, 0));
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

    const QString path = recordingPath(fileName);
    // Remember where the audio ends, so that a file this recording continues
    // loses the tag again (and only the tag).
    qint64 audioLength = -1;
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            audioLength = file.size();
            if (audioLength >= kTagSize && file.seek(audioLength - kTagSize) && file.read(3) == "TAG")
                audioLength -= kTagSize;
        }
    }
    if (writeId3v1Tag(path, fields) && audioLength >= 0 && m_recordingFiles.contains(path))
        m_taggedLengths.insert(path, audioLength);
}
