#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// The recording configuration record: one station and the options of one
// recording, and the in-memory form of a preset file (.mvr). The setup window
// fills it, the engine and the recording display read it.
//
// Preset files are 8-bit text. Their lines are read as bytes (CR LF or LF line
// ends) and written with CR LF. The text fields are held as QString decoded with
// the local 8-bit encoding (UTF-8 on Linux, the same as QFile::decodeName), since
// they are titles, addresses and paths that are shown and used as file names. The
// comment block is kept as the bytes read, so that it is written back unchanged.
class clsConfiguration final
{
public:
    // A new record holds the defaults and is not a complete configuration.
    clsConfiguration();

    // Station address: an HTTP address of a .pls or .m3u playlist, or the local
    // path of a playlist file opened from disk.
    QString sShoutCastFile;
    // Station title shown in the station list and the setup window.
    QString sRecordingTitle;
    // Folder that receives the recordings; after a load it ends with the separator.
    QString sMP3Path;
    // Recording length in minutes, and whether the recording stops after it.
    qint32 lTimedRecording = 60;
    bool bEnabledTimedRecording = true;
    // The program exits when a timed recording ends.
    bool bExitTimedRecording = false;
    // 1 = one single file, 2 = one file per stream title, 3 = dated archive.
    qint32 lRecordingMode = 2;
    // Mode 1: the single file's name. Mode 3: the prefix of every archive file name.
    QString sStreamFileName;
    // Recordings older than lDaysToKeepRecording days are deleted.
    bool bDeleteArchivesAfterTime = true;
    qint32 lDaysToKeepRecording = 30;
    // Set by the setup window when it starts a recording or a preview (not stored).
    bool bCalledFromGUI = false;
    // Listen-only start: the engine pauses as soon as the first file opens (not stored).
    bool bPreviewModeOnly = false;
    bool bStartPaused = false;
    // The stream is relayed to the local player while recording.
    bool bStartInListenMode = true;
    // The record holds a complete configuration (not stored).
    bool bConfigOK = false;
    // The preset file most recently loaded or saved (not stored).
    QString sConfigFileName;

    // Sets every field except bConfigOK to its default and forgets the comments.
    void NewConfiguration();
    // Reads the preset at that path into the record; shows a message for each
    // invalid line. Fields set before a failing line keep their new values.
    bool LoadConfigurationFile(const QString &strFileToLoad);
    // Writes the record to that path, replacing any existing file atomically: a
    // failed save returns false and leaves the previous file as it was.
    bool SaveConfigurationFile(const QString &strFileToSave);

    // The comment lines found at the top of the last loaded preset, as read.
    const QList<QByteArray> &comments() const { return sComments; }

private:
    bool loadBody(const QString &strFileToLoad);

    QList<QByteArray> sComments;
};

// The program's one configuration record, created on first use (defaults, not a
// complete configuration) and kept for the whole run. Every part reads and writes
// this same instance.
clsConfiguration &configurationRecord();
// Forgets the record so that the next use creates a fresh one. For tests.
void resetConfigurationRecord();
