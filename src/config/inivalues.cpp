#include "config/inivalues.h"

#include "config/inifile.h"
#include "platform/folders.h"
#include "platform/paths.h"

QString kestraneIniPath()
{
    return platform::programFile(QString::fromLatin1(kKestraneIniName));
}

QString ombrexIniPath()
{
    return platform::programFile(QString::fromLatin1(kOmbrexIniName));
}

QString readIniValue(const QString &section, const QString &key, const QString &file)
{
    const QByteArray value = IniFile(file).value(section.toLocal8Bit(), key.toLower().toLocal8Bit());
    return QString::fromLocal8Bit(value);
}

void writeIniValue(const QString &section, const QString &key, const QString &value, const QString &file)
{
    IniFile(file).setValue(section.toLocal8Bit(), key.toUpper().toLocal8Bit(), value.toLocal8Bit());
}

void setLastPath(const QString &path)
{
    writeIniValue(QStringLiteral("LastPath"), QStringLiteral("LastPath"), path, kestraneIniPath());
}

namespace
{

// A hand-edited value that is not a number counts as off.
bool advancedSwitch(const QString &key)
{
    bool numeric = false;
    const double value = readIniValue(QStringLiteral("Advanced"), key, ombrexIniPath()).trimmed().toDouble(&numeric);
    return numeric && value != 0;
}

} // namespace

bool browserAgentEnabled()
{
    return advancedSwitch(QStringLiteral("IEAgent"));
}

void setBrowserAgentEnabled(bool on)
{
    writeIniValue(QStringLiteral("Advanced"), QStringLiteral("IEAgent"), on ? QStringLiteral("1") : QStringLiteral("0"),
                  ombrexIniPath());
}

bool hlsLowestBandwidth()
{
    return advancedSwitch(QStringLiteral("HlsLowestBandwidth"));
}

void setHlsLowestBandwidth(bool on)
{
    writeIniValue(QStringLiteral("Advanced"), QStringLiteral("HlsLowestBandwidth"),
                  on ? QStringLiteral("1") : QStringLiteral("0"), ombrexIniPath());
}

qint32 reconnectPeriodMinutes()
{
    bool ok = false;
    const qint32 minutes = readIniValue(QStringLiteral("Advanced"), QStringLiteral("ReconnectMinutes"), ombrexIniPath())
                               .trimmed()
                               .toInt(&ok);
    if (!ok)
        return kDefaultReconnectMinutes;
    return qBound(0, minutes, kMaxReconnectMinutes);
}

void setReconnectPeriodMinutes(qint32 minutes)
{
    writeIniValue(QStringLiteral("Advanced"), QStringLiteral("ReconnectMinutes"),
                  QString::number(qBound(0, minutes, kMaxReconnectMinutes)), ombrexIniPath());
}

namespace
{

qint32 advancedNumber(const char *key, qint32 fallback, qint32 low, qint32 high)
{
    bool ok = false;
    const qint32 value =
        readIniValue(QStringLiteral("Advanced"), QString::fromLatin1(key), ombrexIniPath()).trimmed().toInt(&ok);
    return ok ? qBound(low, value, high) : fallback;
}

} // namespace

FileSplitSettings fileSplitSettings()
{
    const FileSplitSettings defaults;
    FileSplitSettings settings;
    settings.splitAtPauses = advancedNumber("SplitAtPauses", defaults.splitAtPauses, 0, 1) != 0;
    settings.pauseSearchSeconds =
        advancedNumber("PauseSearchSeconds", defaults.pauseSearchSeconds, 1, kMaxPauseSearchSeconds);
    settings.id3v2Tags = advancedNumber("ID3v2Tags", defaults.id3v2Tags, 0, 1) != 0;
    return settings;
}

void setFileSplitSettings(const FileSplitSettings &settings)
{
    const QString file = ombrexIniPath();
    const QString section = QStringLiteral("Advanced");
    writeIniValue(section, QStringLiteral("SplitAtPauses"), QString::number(settings.splitAtPauses ? 1 : 0), file);
    writeIniValue(section, QStringLiteral("PauseSearchSeconds"),
                  QString::number(qBound(1, settings.pauseSearchSeconds, kMaxPauseSearchSeconds)), file);
    writeIniValue(section, QStringLiteral("ID3v2Tags"), QString::number(settings.id3v2Tags ? 1 : 0), file);
}

QString live365Server()
{
    QString address = readIniValue(QStringLiteral("Live365"), QStringLiteral("Server"), ombrexIniPath()).trimmed();
    while (address.endsWith(QLatin1Char('/')))
        address.chop(1);
    return address.isEmpty() ? QString::fromLatin1(kDefaultLive365Server) : address;
}

void setLive365Server(const QString &address)
{
    writeIniValue(QStringLiteral("Live365"), QStringLiteral("Server"), address, ombrexIniPath());
}

QString defaultRecordingFolder(bool allowProgramFolder)
{
    const QString lastPath = readIniValue(QStringLiteral("LastPath"), QStringLiteral("LastPath"), kestraneIniPath());
    if (platform::folderExists(lastPath))
        return lastPath;
    const QString music = platform::musicFolder();
    if (platform::folderExists(music))
        return music;
    const QString documents = platform::documentsFolder();
    if (platform::folderExists(documents))
        return documents;
    return allowProgramFolder ? platform::programFolder() : QString();
}
