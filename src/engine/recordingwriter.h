#pragma once

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QString>

#include <memory>
#include <utility>

#include "config/inivalues.h"
#include "config/setupsettings.h"
#include "engine/streamtype.h"

class Preset;

namespace platform
{
class Clock;
}

namespace engine
{

class OggSplitter;
class TitleSplitter;

using CaptureMode = SetupSettings::CaptureMode;

// The capture mode a preset asks for (a preset holds 1, 2 or 3).
CaptureMode captureModeOf(const Preset &preset);

// What a closed file's ID3v1 tag is made of: artist and title from the song
// name of the file, or the station title alone.
enum class TagSource
{
    SongName,
    Station,
};

// Where the audio of one recording goes: one writer per capture mode, made
// when the recording starts and kept until the next one. The recorder decides
// when files begin and end; a writer knows how a name becomes a file (new,
// replaced or continued), writes the audio and tags what it closes.
//
// Every file is opened unbuffered, so that each write reaches the system and
// nothing received is lost if the process ends abruptly.
class RecordingWriter
{
public:
    struct Settings
    {
        QString folder;           // ends with the separator
        QString stationTitle;     // tags of files that are not named by titles
        QString presetFileName;   // the file name the user gave (single file, archive prefix)
        platform::Clock *clock{}; // the date of tags and made-up names
        QString stationAddress;   // the station's playlist, for the tags
        FileSplitSettings split;  // how title files are cut and tagged
    };

    explicit RecordingWriter(Settings settings);
    virtual ~RecordingWriter();
    RecordingWriter(const RecordingWriter &) = delete;
    RecordingWriter &operator=(const RecordingWriter &) = delete;

    // Opens the file for this name, or one under a made-up name when the file
    // system does not take it. False when neither opened: failedPath() and
    // failure() say why. The open file, if any, must be closed first.
    bool open(const QByteArray &name);
    // Appends audio to the open file (nothing without one). False when a write
    // failed; the file stays open and tagged as it is.
    virtual bool writeAudio(const QByteArray &data);
    // The station named a new song (file name with extension). Title files
    // close the open file, tagged from its name, and open the next; other modes
    // keep writing the file they have.
    virtual bool titleChanged(const QByteArray &name);
    // Closes the open file and tags the last file written, if it still exists.
    virtual void close(TagSource source);

    bool isOpen() const { return m_file.isOpen(); }
    // The file being written, or the last one; empty before the first.
    const QString &path() const { return m_path; }
    const QString &failedPath() const { return m_failedPath; }
    const QString &failure() const { return m_failure; }
    // A notice for the user from the last open (a kept file), taken once.
    QString takeNotice() { return std::exchange(m_notice, QString()); }
    // Only MP3 files get an ID3v1 tag.
    void setStreamType(StreamType type) { m_streamType = type; }
    // Closes and deletes the open file while it holds nothing, so that a name
    // chosen before the stream's type was known leaves no empty file. True when
    // it did.
    bool discardEmptyFile();

protected:
    // Opens the file for this name the way the mode does.
    virtual bool openFile(const QByteArray &name, QString &path, QString &reason) = 0;
    // A name never used before: a taken name gets a numbered copy.
    bool openFresh(const QByteArray &name, QString &path, QString &reason);
    // Positions the open file after its audio, taking off our own tag if it has one.
    void continueAfterAudio();
    // Writes to the open file, after its ID3v2 tag when the file is new.
    bool writeToFile(const QByteArray &data);
    // Cuts the last bytes written off the open file again.
    bool takeBack(qint64 bytes);
    StreamType streamType() const { return m_streamType; }
    const QByteArray &song() const { return m_song; }
    // The next file opened is named after a title (its ID3v2 tag says so).
    void setNextFromTitle(bool fromTitle) { m_nextFromTitle = fromTitle; }

    const Settings m_settings;
    QFile m_file;
    QString m_notice;

private:
    void tag(TagSource source);
    QByteArray startTag() const;

    QString m_path;
    QByteArray m_song; // the name the file at m_path was opened for
    QString m_failedPath;
    QString m_failure;
    StreamType m_streamType = StreamType::Mp3;
    bool m_startTagDue = false;   // the open file is new: an ID3v2 tag goes first
    bool m_nextFromTitle = false; // see setNextFromTitle
    bool m_fromTitle = false;     // the open file is named after a title
};

// One file per song title; titles never replace a file. MP3 and AAC files end
// at frame boundaries, at the pause between songs when one is found near the
// title change (the last seconds of audio wait for that decision); an Ogg
// stream gets a file per stream of its chain, named from its comments.
class TitleFileWriter : public RecordingWriter
{
public:
    explicit TitleFileWriter(Settings settings);
    ~TitleFileWriter() override;
    bool writeAudio(const QByteArray &data) override;
    bool titleChanged(const QByteArray &name) override;
    void close(TagSource source) override;

protected:
    bool openFile(const QByteArray &name, QString &path, QString &reason) override;

private:
    // Writes what the splitters decided: audio, and files ending and beginning.
    bool applySplits();
    bool startSong(const QByteArray &name, const QString &why);

    std::unique_ptr<TitleSplitter> m_splitter;
    std::unique_ptr<OggSplitter> m_ogg;
    QByteArray m_streamTitle; // the last in-band title of an Ogg stream
};

// One file under the name the user gave, replacing an earlier recording of
// that name; a change of server within the recording goes on in it.
class SingleFileWriter : public RecordingWriter
{
public:
    using RecordingWriter::RecordingWriter;

protected:
    bool openFile(const QByteArray &name, QString &path, QString &reason) override;

private:
    // Files this recording made, which a change of server continues.
    QSet<QString> m_ownFiles;
};

// A file per day: a recording started again on the same day goes on with it.
class ArchiveWriter : public RecordingWriter
{
public:
    using RecordingWriter::RecordingWriter;

protected:
    bool openFile(const QByteArray &name, QString &path, QString &reason) override;
};

// The writer for a recording in this mode.
std::unique_ptr<RecordingWriter> makeRecordingWriter(CaptureMode mode, RecordingWriter::Settings settings);

} // namespace engine
