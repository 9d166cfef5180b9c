// frmMP3, recording engine: the recording files, their names and their ID3 tags.
#include "engine/frmmp3.h"

#include <QFile>
#include <QRandomGenerator>

#include "config/clsconfiguration.h"
#include "engine/mdlid3.h"
#include "engine/programcontext.h"
#include "engine/recordingnames.h"
#include "engine/streamtitle.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sources/ctlmp3server.h"
#include "sources/ctlsocket.h"

namespace
{

// Creating a file blocks the handler this long.
constexpr int kCreatePauseMs = 500;
constexpr qint64 kTagSize = 128;

} // namespace

QString frmMP3::recordingPath(const QByteArray &name) const
{
    return program().configuration().sMP3Path + QFile::decodeName(CleanFileName(name));
}

void frmMP3::OpenMP3File(QByteArray strFileName, bool blnICYName)
{
    clsConfiguration &cr = program().configuration();
    if (cr.bPreviewModeOnly) {
        // A paused start: the first file opens when the pause ends.
        TogglePause();
        cr.bPreviewModeOnly = false;
        sPendingFileName = strFileName;
        strSongName = strFileName;
        if (cr.bStartInListenMode) {
            ctlMP3Server->StartPreviewing();
            blnPreviewToggle = true;
        }
        return;
    }
    if (blnPaused) {
        if (strFileName != strSongName) {
            if (!sPendingFileName.isEmpty())
                sPendingFileName = strFileName;
            strSongName = strFileName;
        }
        return;
    }

    // Only a file still open is finished here: one that CloseRecording closed
    // (a change of server) already has its tag, which must not be replaced.
    const bool finishing = m_file.isOpen();
    m_file.close();
    FF = -1;
    if (finishing && !strSongName.isEmpty() && platform::fileExists(recordingPath(strSongName)))
        TagMP3File(strSongName, blnICYName);
    // Without a time limit the clock shows the time of the current file.
    if (strFileName != strSongName && !cr.bEnabledTimedRecording)
        lRecordStart = platform::clock().tickCount();
    CreateMP3File(strFileName);
    strSongName = strFileName;
}

bool frmMP3::CreateMP3File(QByteArray &strFileName)
{
    const clsConfiguration &cr = program().configuration();
    bool created = openRecordingFile(recordingPath(strFileName), cr.lRecordingMode != 2);
    if (!created) {
        const int number = static_cast<int>(QRandomGenerator::global()->bounded(60000));
        strFileName = engine::fallbackFileName(number, platform::clock().now().date());
        openRecordingFile(recordingPath(strFileName), false);
    }
    platform::clock().sleep(kCreatePauseMs);
    return created;
}

bool frmMP3::openRecordingFile(const QString &path, bool mayContinue)
{
    m_file.close();
    FF = -1;
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
    FF = 1;
    return true;
}

void frmMP3::WriteAudio(const QByteArray &data)
{
    if (!blnPaused && m_file.isOpen())
        m_file.write(data); // a recording never stops because a write failed
    if (ctlMP3Server->blnEnablePreviewStream)
        ctlMP3Server->PushData(data);
}

void frmMP3::CloseRecording()
{
    m_file.close();
    if (!strSongName.isEmpty() && platform::fileExists(recordingPath(strSongName)))
        TagMP3File(strSongName, blnIcyReal);
    FF = -1;
    WS->close();
    bIcy = true;
    m_header.clear();
}

void frmMP3::TagMP3File(const QByteArray &strFileName, bool blnICYName)
{
    ID3TagFields fields;
    if (blnICYName) {
        const QByteArray base = strFileName.left(std::max<qsizetype>(strFileName.size() - 4, 0));
        const qsizetype dash = base.indexOf(" - ");
        if (dash >= 0) {
            fields.artist = base.left(dash);
            fields.title = base.mid(dash + 3);
        } else {
            fields.title = base;
        }
    } else {
        fields.title = program().configuration().sRecordingTitle.toLocal8Bit();
    }

    const QString path = recordingPath(strFileName);
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
    if (WriteID3Tag(path, fields) && audioLength >= 0 && m_recordingFiles.contains(path))
        m_taggedLengths.insert(path, audioLength);
}
