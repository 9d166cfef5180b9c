#include "config/preset.h"

#include <QFile>

#include <optional>

#include "config/atomicwrite.h"
#include "config/inivalues.h"
#include "config/stationaddress.h"
#include "platform/bytetext.h"
#include "platform/paths.h"

namespace
{

const QByteArray kDefaultFolderToken = QByteArrayLiteral("%DEFDIR%");
const QByteArray kTitleModeSuffix = QByteArrayLiteral("SONGNAMEONLY");
const QByteArray kFileNamePrefix = QByteArrayLiteral("FILENAME");

// Reads a preset's lines one at a time, without their line ends.
class LineReader
{
public:
    explicit LineReader(QFile &file)
        : m_file(file)
    {}

    // The next line, or nothing at the end of the file.
    std::optional<QByteArray> next()
    {
        if (m_file.atEnd())
            return std::nullopt;
        QByteArray line = m_file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    }

private:
    QFile &m_file;
};

// A whole decimal number, blanks around it allowed. A sign is not accepted: a
// negative length or number of days has no meaning (and negative days would make
// the clean-up delete the recordings of today).
bool isNumeric(const QByteArray &text)
{
    return platform::isWholeNumber(platform::trimSpaces(text));
}

// The number of a numeric text; nothing when it does not fit 32 bits.
std::optional<qint32> toNumber(const QByteArray &text)
{
    if (!isNumeric(text))
        return std::nullopt;
    bool ok = false;
    const qint32 value = platform::trimSpaces(text).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

QString decodeText(const QByteArray &bytes)
{
    return QString::fromLocal8Bit(bytes);
}

// A field is written as one line; a line break in it would shift every later line.
QByteArray encodeLine(const QString &text)
{
    QByteArray bytes = text.toLocal8Bit();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\r' || bytes.at(i) == '\n') {
            bytes.truncate(i);
            break;
        }
    }
    return bytes;
}

QByteArray numberLine(qint32 value)
{
    return ' ' + QByteArray::number(value) + ' ';
}

} // namespace

Preset::Preset()
{
    reset();
    valid = false;
}

void Preset::reset()
{
    playlistAddress.clear();
    stationTitle.clear();
    saveFolder.clear();
    timeLimitMinutes = 60;
    timeLimited = true;
    exitAfterRecording = false;
    captureMode = 2;
    recordingFileName.clear();
    deleteOldArchives = true;
    daysToKeep = 30;
    startPaused = false;
    listenAtStart = true;
    presetFilePath.clear();
    m_comments.clear();
}

void Preset::fail(const QString &message)
{
    m_failureText = message;
}

bool Preset::load(const QString &fileToLoad)
{
    m_failureText.clear();
    if (!platform::fileExists(fileToLoad)) {
        fail(QStringLiteral("The preset file specified does not exist!"));
        valid = false;
        return false;
    }
    // Read into a copy, so that a preset that fails halfway leaves this record as it was.
    Preset loaded(*this);
    if (!loaded.loadLines(fileToLoad)) {
        m_failureText = loaded.m_failureText;
        valid = false;
        return false;
    }
    *this = loaded;
    valid = true;
    return true;
}

bool Preset::loadLines(const QString &fileToLoad)
{
    presetFilePath = fileToLoad;
    m_comments.clear();
    QFile file(fileToLoad);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    LineReader reader(file);

    // The comment block: lines beginning with "#" or a blank.
    std::optional<QByteArray> line = reader.next();
    while (line && (line->startsWith('#') || line->startsWith(' '))) {
        m_comments.append(*line);
        line = reader.next();
    }

    // 1: title, with an optional flag prefix.
    if (!line)
        return false;
    listenAtStart = false;
    startPaused = false;
    QByteArray title = *line;
    if (title.size() >= 4) {
        const QByteArray prefix = title.left(3);
        if (prefix == "!L-") {
            listenAtStart = true;
        } else if (prefix == "!P-") {
            startPaused = true;
        } else if (prefix == "!X-") {
            listenAtStart = true;
            startPaused = true;
        }
        if (listenAtStart || startPaused)
            title = title.mid(3);
    }
    stationTitle = decodeText(title);

    // 2: the playlist address.
    line = reader.next();
    if (!line)
        return false;
    // What the station list takes: a playlist (on the web, also with a query,
    // or a file) or the web address of the stream itself.
    if (line->trimmed().isEmpty()) {
        fail(fileToLoad + QLatin1Char('\r') +
             QStringLiteral("Line 2 of the preset is empty: it must hold the station's address."));
        return false;
    }
    if (playlistTypeOf(*line) == PlaylistType::None && !isStreamAddress(*line)) {
        fail(fileToLoad + QLatin1Char('\r') +
             QStringLiteral("Line 2 of the preset must be a playlist (.pls or .m3u) or a stream address (http:// "
                            "or https://): ") +
             decodeText(*line));
        return false;
    }
    playlistAddress = decodeText(*line);

    // 3: capture mode and file name.
    line = reader.next();
    if (!line)
        return false;
    recordingFileName = decodeText(*line);
    if (line->endsWith(kTitleModeSuffix)) {
        captureMode = 2;
    } else if (line->startsWith(kFileNamePrefix)) {
        // "FILENAME " + name; the word alone names no file.
        if (line->size() <= kFileNamePrefix.size())
            return false;
        recordingFileName = decodeText(line->mid(kFileNamePrefix.size() + 1));
        captureMode = 1;
    } else {
        captureMode = 3;
    }

    // 4: the save folder.
    line = reader.next();
    if (!line)
        return false;
    QString folder = *line == kDefaultFolderToken ? defaultRecordingFolder(true) : QFile::decodeName(*line);
    saveFolder = platform::withTrailingSeparator(folder);
    if (!platform::pathExists(saveFolder)) {
        fail(QStringLiteral("The path specified does not exist!"));
        return false;
    }

    // 5: minutes to record, "S" in front when the program stays open afterwards.
    line = reader.next();
    if (!line)
        return false;
    if (!isNumeric(*line) && !isNumeric(line->mid(1))) {
        fail(QStringLiteral("A number of minutes (or 0 for continuous) must be specified for the recording length!"));
        return false;
    }
    const bool stayOpen = line->startsWith('S');
    const std::optional<qint32> minutes = toNumber(stayOpen ? line->mid(1) : *line);
    if (!minutes)
        return false;
    timeLimitMinutes = *minutes;
    exitAfterRecording = !stayOpen;
    timeLimited = timeLimitMinutes != 0;

    // 6: days to keep recordings.
    line = reader.next();
    if (!line)
        return false;
    if (!isNumeric(*line)) {
        fail(QStringLiteral(
            "A number of minutes must be specified for the days to keep the recording! (Even for title streams)"));
        return false;
    }
    const std::optional<qint32> days = toNumber(*line);
    if (!days)
        return false;
    daysToKeep = *days;
    deleteOldArchives = daysToKeep != 0;
    return true;
}

bool Preset::save(const QString &fileToSave)
{
    QByteArray bytes;
    const auto addLine = [&bytes](const QByteArray &line) {
        bytes += line;
        bytes += "\r\n";
    };

    for (const QByteArray &comment : std::as_const(m_comments))
        addLine(comment);

    QByteArray title = encodeLine(stationTitle);
    if (startPaused && listenAtStart)
        title.prepend("!X-");
    else if (startPaused)
        title.prepend("!P-");
    else if (listenAtStart)
        title.prepend("!L-");
    addLine(title);

    addLine(encodeLine(playlistAddress));

    if (captureMode == 2)
        addLine(kTitleModeSuffix);
    else if (captureMode == 1)
        addLine(kFileNamePrefix + ' ' + encodeLine(recordingFileName));
    else
        addLine(encodeLine(recordingFileName));

    // The folder is not stored: a preset records into the default folder of the
    // machine that loads it.
    addLine(kDefaultFolderToken);

    const qint32 minutes = timeLimited ? timeLimitMinutes : 0;
    addLine(exitAfterRecording ? numberLine(minutes) : 'S' + QByteArray::number(minutes));
    addLine(numberLine(deleteOldArchives ? daysToKeep : 0));

    if (!writeFileAtomically(fileToSave, bytes))
        return false;
    presetFilePath = fileToSave;
    return true;
}
