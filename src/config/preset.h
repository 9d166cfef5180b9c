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
class Preset final
{
public:
    // A new record holds the defaults and is not a complete configuration.
    Preset();

    // Station address: an HTTP address of a .pls or .m3u playlist, or the local
    // path of a playlist file opened from disk.
    QString playlistAddress;
    // Station title shown in the station list and the setup window.
    QString stationTitle;
    // Folder that receives the recordings; after a load it ends with the separator.
    QString saveFolder;
    // Recording length in minutes, and whether the recording stops after it.
    qint32 timeLimitMinutes = 60;
    bool timeLimited = true;
    // The program exits when a timed recording ends.
    bool exitAfterRecording = false;
    // 1 = one single file, 2 = one file per stream title, 3 = dated archive.
    qint32 captureMode = 2;
    // Mode 1: the single file's name. Mode 3: the prefix of every archive file name.
    QString recordingFileName;
    // Recordings older than daysToKeep days are deleted.
    bool deleteOldArchives = true;
    qint32 daysToKeep = 30;
    // The recording starts paused (the "!P-" and "!X-" title prefixes).
    bool startPaused = false;
    // The stream is relayed to the local player while recording.
    bool listenAtStart = true;
    // The record holds a complete configuration (not stored).
    bool valid = false;
    // The preset file most recently loaded or saved (not stored).
    QString presetFilePath;

    // Sets every field except valid to its default and forgets the comments.
    void reset();
    // Reads the preset at that path into the record. A preset that fails
    // leaves every field but valid as it was; failureText then says why.
    bool load(const QString &fileToLoad);
    // Writes the record to that path, replacing any existing file atomically: a
    // failed save returns false and leaves the previous file as it was.
    bool save(const QString &fileToSave);

    // What is wrong with the preset of the last failed load (a missing file, a
    // bad line), for the caller to show; empty when the load succeeded or the
    // file simply ran out of lines.
    const QString &failureText() const { return m_failureText; }

    // The comment lines found at the top of the last loaded preset, as read.
    const QList<QByteArray> &comments() const { return m_comments; }

private:
    bool loadLines(const QString &fileToLoad);
    void fail(const QString &message);

    QList<QByteArray> m_comments;
    QString m_failureText;
};
