#include "config/capturetarget.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "config/preset.h"
#include "platform/paths.h"

namespace
{

qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(platform::pathSeparator()));
}

} // namespace

void CaptureTarget::setMode(SetupSettings::CaptureMode mode)
{
    const bool wasFolder = isFolderMode();
    m_mode = mode;
    if (wasFolder == isFolderMode())
        return;
    (wasFolder ? m_lastFolder : m_lastFile) = m_path;
    m_path = isFolderMode() ? m_lastFolder : m_lastFile;
}

void CaptureTarget::rememberPath()
{
    lastOfThisKind() = m_path;
}

CaptureTarget::Refusal CaptureTarget::accept()
{
    if (m_path.isEmpty()) {
        m_accepted = false;
        return Refusal::None;
    }
    Refusal refusal = Refusal::None;
    if (isFolderMode()) {
        m_path = platform::withTrailingSeparator(m_path);
        m_accepted = platform::folderExists(m_path);
        refusal = m_accepted ? Refusal::None : Refusal::MissingFolder;
    } else {
        m_accepted = canWriteFile(m_path);
        refusal = m_accepted ? Refusal::None : Refusal::UnwritableFile;
    }
    if (m_accepted)
        lastOfThisKind() = m_path;
    else
        m_path = lastOfThisKind();
    return refusal;
}

void CaptureTarget::takeChosenFolder(const QString &folder)
{
    m_path = platform::withTrailingSeparator(folder);
    m_accepted = true;
    m_lastFolder = m_path;
}

CaptureTarget::Refusal CaptureTarget::takeChosenFile(const QString &file)
{
    if (!canWriteFile(file))
        return Refusal::UnwritableFile;
    m_path = file;
    m_lastFile = file;
    return Refusal::None;
}

bool CaptureTarget::fitsMode(const QString &path) const
{
    return isFolderMode() ? platform::folderExists(path) : platform::fileExists(path);
}

CaptureTarget::Problem CaptureTarget::problem() const
{
    if (!m_accepted || m_path.isEmpty())
        return Problem::NoPath;
    if (m_mode == SetupSettings::CaptureDatedArchive && m_archiveHeader.isEmpty())
        return Problem::NoArchiveHeader;
    return Problem::None;
}

void CaptureTarget::putIn(Preset &preset) const
{
    switch (m_mode) {
    case SetupSettings::CaptureSingleFile:
        preset.captureMode = 1;
        preset.saveFolder = folderPart(m_path);
        preset.recordingFileName = namePart(m_path);
        break;
    case SetupSettings::CaptureDatedArchive:
        preset.captureMode = 3;
        preset.saveFolder = m_path;
        preset.recordingFileName = m_archiveHeader;
        break;
    default:
        preset.captureMode = 2;
        preset.saveFolder = m_path;
        break;
    }
}

void CaptureTarget::takeFrom(const Preset &preset)
{
    const QString folder = platform::withTrailingSeparator(preset.saveFolder);
    switch (preset.captureMode) {
    case 1:
        setMode(SetupSettings::CaptureSingleFile);
        m_path = folder + preset.recordingFileName;
        break;
    case 3:
        setMode(SetupSettings::CaptureDatedArchive);
        m_path = folder;
        m_archiveHeader = preset.recordingFileName;
        break;
    default:
        setMode(SetupSettings::CaptureStreamTitles);
        m_path = folder;
        break;
    }
    m_accepted = !m_path.isEmpty();
}

bool CaptureTarget::canWriteFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    // A folder, or a file we may not write, is no place for a recording.
    if (info.exists())
        return info.isFile() && info.isWritable();
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const bool written = probe.write("test\r\n") == 6;
    probe.close();
    return probe.remove() && written;
}

QString CaptureTarget::folderPart(const QString &path)
{
    return path.left(lastSeparator(path) + 1);
}

QString CaptureTarget::namePart(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}
