#include "engine/recordingwriter.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <algorithm>

#include "config/preset.h"
#include "engine/audiocontent.h"
#include "engine/id3v1tag.h"
#include "engine/id3v2tag.h"
#include "engine/oggsplitter.h"
#include "engine/recordingnames.h"
#include "engine/titlesplitter.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace engine
{

namespace
{

constexpr qint64 kTagSize = 128;
// Numbered copies tried before a name counts as taken for good.
constexpr int kMaxCopies = 100000;

constexpr QIODevice::OpenMode kWriteMode = QIODevice::ReadWrite | QIODevice::Unbuffered;

Q_LOGGING_CATEGORY(lcFiles, "vorlane.files", QtInfoMsg)

QByteArray withoutExtension(const QByteArray &name)
{
    return name.left(std::max<qsizetype>(name.size() - 4, 0));
}

} // namespace

CaptureMode captureModeOf(const Preset &preset)
{
    switch (preset.captureMode) {
    case 1:
        return SetupSettings::CaptureSingleFile;
    case 2:
        return SetupSettings::CaptureStreamTitles;
    default:
        return SetupSettings::CaptureDatedArchive;
    }
}

RecordingWriter::RecordingWriter(Settings settings)
    : m_settings(std::move(settings))
{}

RecordingWriter::~RecordingWriter() = default;

bool RecordingWriter::open(const QByteArray &name)
{
    QString path;
    QString reason;
    bool opened = openFile(name, path, reason);
    if (!opened) {
        // A name the file system does not take (or none left after cleaning):
        // the audio goes to a made-up name, and the song stays the one asked
        // for, so that the next block with the same title continues this file.
        const int number = static_cast<int>(QRandomGenerator::global()->bounded(60000));
        QString fallbackPath;
        QString fallbackReason;
        opened = openFresh(fallbackFileName(number, m_settings.clock->now().date()), fallbackPath, fallbackReason);
        if (opened) {
            path = fallbackPath;
        } else if (path.isEmpty()) {
            path = fallbackPath;
            reason = fallbackReason;
        }
    }
    if (!opened) {
        m_path.clear();
        m_failedPath = path;
        m_failure = reason;
        return false;
    }
    m_path = path;
    m_song = name;
    m_fromTitle = std::exchange(m_nextFromTitle, false);
    // A file continued (archive, change of server) has its tag already.
    m_startTagDue = m_file.size() == 0;
    return true;
}

bool RecordingWriter::writeAudio(const QByteArray &data)
{
    return writeToFile(data);
}

QByteArray RecordingWriter::startTag() const
{
    if (!m_settings.split.id3v2Tags || (m_streamType != StreamType::Mp3 && m_streamType != StreamType::Aac))
        return QByteArray();
    Id3v2Fields fields = m_fromTitle ? titleTagFields(stationText(withoutExtension(m_song))) : Id3v2Fields();
    if (!m_fromTitle)
        fields.title = m_settings.stationTitle;
    fields.stationName = m_settings.stationTitle;
    fields.stationAddress = m_settings.stationAddress.toUtf8();
    fields.recorded = m_settings.clock->now().date();
    fields.comment = QString::fromLatin1(recordingComment(fields.recorded));
    return buildId3v2Tag(fields);
}

bool RecordingWriter::writeToFile(const QByteArray &data)
{
    if (!m_file.isOpen())
        return true;
    // The tag goes in with the first audio, so that a file still empty can go
    // again when the stream's type turns out to need another name.
    if (m_startTagDue && !data.isEmpty()) {
        m_startTagDue = false;
        const QByteArray tag = startTag();
        if (!tag.isEmpty() && !writeToFile(tag))
            return false;
    }
    // A short write is followed by another, which then reports why it failed.
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 n = m_file.write(data.constData() + written, data.size() - written);
        if (n <= 0) {
            m_failedPath = m_path;
            m_failure = m_file.errorString();
            return false;
        }
        written += n;
    }
    return true;
}

bool RecordingWriter::takeBack(qint64 bytes)
{
    if (bytes <= 0 || !m_file.isOpen() || bytes > m_file.size())
        return true;
    if (!m_file.resize(m_file.size() - bytes) || !m_file.seek(m_file.size())) {
        m_failedPath = m_path;
        m_failure = m_file.errorString();
        return false;
    }
    return true;
}

bool RecordingWriter::titleChanged(const QByteArray &)
{
    return true;
}

void RecordingWriter::close(TagSource source)
{
    m_file.close();
    if (!m_path.isEmpty() && platform::fileExists(m_path))
        tag(source);
}

bool RecordingWriter::discardEmptyFile()
{
    if (!m_file.isOpen() || m_file.size() != 0)
        return false;
    m_file.close();
    QFile::remove(m_file.fileName());
    return true;
}

void RecordingWriter::tag(TagSource source)
{
    if (m_streamType != StreamType::Mp3)
        return; // an ID3v1 tag belongs to MP3 files only
    Id3v1Fields fields;
    if (source == TagSource::SongName) {
        const QByteArray base = m_song.left(std::max<qsizetype>(m_song.size() - 4, 0));
        const qsizetype dash = base.indexOf(" - ");
        if (dash >= 0) {
            fields.artist = base.left(dash);
            fields.title = base.mid(dash + 3);
        } else {
            fields.title = base;
        }
    } else {
        fields.title = m_settings.stationTitle.toLocal8Bit();
    }
    writeId3v1Tag(m_path, fields, m_settings.clock->now().date()); // a tag that cannot be written is skipped
}

bool RecordingWriter::openFresh(const QByteArray &name, QString &path, QString &reason)
{
    m_file.close();
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const QString fileName = recordingFileName(name, copy);
        if (fileName.isEmpty()) {
            path.clear();
            return false;
        }
        path = m_settings.folder + fileName;
        if (platform::pathExists(path))
            continue;
        m_file.setFileName(path);
        // NewOnly: a file that appeared meanwhile is never truncated.
        if (m_file.open(kWriteMode | QIODevice::NewOnly))
            return true;
        if (!platform::pathExists(path)) {
            reason = m_file.errorString();
            return false;
        }
    }
    reason = QStringLiteral("No free file name");
    return false;
}

void RecordingWriter::continueAfterAudio()
{
    // Our own tag comes off again; the audio goes on after the audio.
    const qint64 size = m_file.size();
    if (size >= kTagSize && m_file.seek(size - kTagSize) && isOwnId3v1Tag(m_file.read(kTagSize)))
        m_file.resize(size - kTagSize);
    m_file.seek(m_file.size());
}

TitleFileWriter::TitleFileWriter(Settings settings)
    : RecordingWriter(std::move(settings))
{}

TitleFileWriter::~TitleFileWriter() = default;

bool TitleFileWriter::writeAudio(const QByteArray &data)
{
    switch (streamType()) {
    case StreamType::Mp3:
    case StreamType::Aac:
        if (!m_splitter)
            m_splitter = std::make_unique<TitleSplitter>(
                TitleSplitter::Options{m_settings.split.splitAtPauses, m_settings.split.pauseSearchSeconds * 1000});
        m_splitter->addAudio(data);
        return applySplits();
    case StreamType::Ogg:
        if (!m_ogg)
            m_ogg = std::make_unique<OggSplitter>();
        m_ogg->addAudio(data);
        return applySplits();
    case StreamType::Other:
        break;
    }
    return writeToFile(data);
}

bool TitleFileWriter::titleChanged(const QByteArray &name)
{
    switch (streamType()) {
    case StreamType::Mp3:
    case StreamType::Aac:
        if (!m_splitter)
            return writeAudio(QByteArray()) && titleChanged(name);
        m_splitter->changeTitle(name);
        return applySplits();
    case StreamType::Ogg:
        // The streams of the chain begin the files; a title in-band only names
        // them when their comments do not.
        m_streamTitle = name;
        return true;
    case StreamType::Other:
        break;
    }
    return startSong(name, QString());
}

void TitleFileWriter::close(TagSource source)
{
    if (m_splitter)
        m_splitter->flush();
    if (m_ogg)
        m_ogg->flush();
    applySplits(); // a file that cannot be opened now is reported by the next recording
    RecordingWriter::close(source);
}

bool TitleFileWriter::applySplits()
{
    if (m_splitter) {
        for (TitleSplitter::Piece &piece : m_splitter->take()) {
            if (piece.leftOut) {
                if (!takeBack(piece.takeBack))
                    return false;
                qCInfo(lcFiles).noquote()
                    << QStringLiteral("The stream began inside a frame: its first %1 bytes are in no file")
                           .arg(piece.audio.size());
                continue;
            }
            if (piece.newFile && !startSong(piece.title, piece.split.describe()))
                return false;
            if (!writeToFile(piece.audio))
                return false;
        }
    }
    if (m_ogg) {
        for (OggSplitter::Piece &piece : m_ogg->take()) {
            if (piece.newFile) {
                const QByteArray title = !piece.title.isEmpty() ? piece.title : m_streamTitle;
                const QByteArray name = title.isEmpty() ? song() : withStreamExtension(title, StreamType::Ogg);
                m_streamTitle.clear();
                if (!startSong(name, QStringLiteral("a new stream of the chain")))
                    return false;
            }
            if (!writeToFile(piece.audio))
                return false;
        }
    }
    return true;
}

bool TitleFileWriter::startSong(const QByteArray &name, const QString &why)
{
    if (isOpen())
        RecordingWriter::close(TagSource::SongName);
    setNextFromTitle(true);
    if (!open(name))
        return false;
    if (!why.isEmpty())
        qCInfo(lcFiles).noquote() << QDir::toNativeSeparators(path()) + QStringLiteral(": ") + why;
    return true;
}

bool TitleFileWriter::openFile(const QByteArray &name, QString &path, QString &reason)
{
    return openFresh(name, path, reason);
}

bool SingleFileWriter::openFile(const QByteArray &name, QString &path, QString &reason)
{
    m_file.close();
    // Only a name with an audio extension of its own (or none at all) names a
    // file the user meant to be replaced by the recording.
    const QString presetName = m_settings.presetFileName;
    const bool mayReplace = hasAudioExtension(presetName.toLocal8Bit()) || QFileInfo(presetName).suffix().isEmpty();
    QString keptPath;
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const QString fileName = recordingFileName(name, copy);
        if (fileName.isEmpty()) {
            path.clear();
            return false;
        }
        path = m_settings.folder + fileName;
        m_file.setFileName(path);
        const bool exists = platform::pathExists(path);
        if (exists && m_ownFiles.contains(path) && platform::fileExists(path)) {
            // A change of server within this recording: the audio goes on after the audio.
            if (!m_file.open(kWriteMode)) {
                reason = m_file.errorString();
                return false;
            }
            continueAfterAudio();
            return true;
        }
        if (exists) {
            if (copy > 1 || !mayReplace || !isReplaceableRecording(path)) {
                if (keptPath.isEmpty())
                    keptPath = path;
                continue;
            }
            QFile::remove(path);
        }
        if (!m_file.open(kWriteMode | QIODevice::NewOnly)) {
            if (platform::pathExists(path))
                continue; // appeared meanwhile: never truncated
            reason = m_file.errorString();
            return false;
        }
        m_ownFiles.insert(path);
        if (!keptPath.isEmpty())
            m_notice = QStringLiteral("The file ") + QDir::toNativeSeparators(keptPath) +
                       QStringLiteral(" already exists and is kept. Recording into ") + QDir::toNativeSeparators(path) +
                       QStringLiteral(" instead.");
        return true;
    }
    reason = QStringLiteral("No free file name");
    return false;
}

bool ArchiveWriter::openFile(const QByteArray &name, QString &path, QString &reason)
{
    m_file.close();
    const QString fileName = recordingFileName(name);
    path.clear();
    if (fileName.isEmpty())
        return false;
    path = m_settings.folder + fileName;
    m_file.setFileName(path);
    // An archive started again on the same day goes on with that day's file.
    const bool continuing = platform::fileExists(path);
    if (!continuing)
        QFile::remove(path);
    if (!m_file.open(kWriteMode)) {
        reason = m_file.errorString();
        return false;
    }
    if (continuing)
        continueAfterAudio();
    return true;
}

std::unique_ptr<RecordingWriter> makeRecordingWriter(CaptureMode mode, RecordingWriter::Settings settings)
{
    switch (mode) {
    case SetupSettings::CaptureSingleFile:
        return std::make_unique<SingleFileWriter>(std::move(settings));
    case SetupSettings::CaptureStreamTitles:
        return std::make_unique<TitleFileWriter>(std::move(settings));
    default:
        return std::make_unique<ArchiveWriter>(std::move(settings));
    }
}

} // namespace engine
