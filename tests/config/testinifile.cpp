#include <QDir>

#include <gtest/gtest.h>

#include "config/inifile.h"
#include "config/inivalues.h"
#include "filesizelimit.h"
#include "platform/folders.h"
#include "testenv.h"

namespace
{

QString freshPath(const char *name)
{
    const QString path = testenv::home() + QStringLiteral("/ini/") + QString::fromLatin1(name);
    QDir().mkpath(testenv::home() + QStringLiteral("/ini"));
    QFile::remove(path);
    return path;
}

} // namespace

TEST(IniFile, MissingFileSectionOrKeyReadsEmpty)
{
    const QString path = freshPath("missing.ini");
    IniFile ini(path);
    EXPECT_EQ(ini.value("Advanced", "Advanced"), QByteArray(""));
    EXPECT_FALSE(ini.contains("Advanced", "Advanced"));
    testenv::writeFile(path, "[Other]\r\nAdvanced=5\r\n[Advanced]\r\nOther=1\r\n");
    EXPECT_EQ(ini.value("Advanced", "Advanced"), QByteArray(""));
    EXPECT_EQ(ini.value("Nothing", "Other"), QByteArray(""));
}

TEST(IniFile, WriteCreatesFileSectionAndKeyWithCrLf)
{
    const QString path = freshPath("create.ini");
    IniFile ini(path);
    ASSERT_TRUE(ini.setValue("Advanced", "ADVANCED", "0"));
    EXPECT_EQ(testenv::readFile(path), QByteArray("[Advanced]\r\nADVANCED=0\r\n"));
    ASSERT_TRUE(ini.setValue("LastPath", "LASTPATH", "/music"));
    ASSERT_TRUE(ini.setValue("Advanced", "IEAGENT", "1"));
    EXPECT_EQ(testenv::readFile(path),
              QByteArray("[Advanced]\r\nADVANCED=0\r\nIEAGENT=1\r\n\r\n[LastPath]\r\nLASTPATH=/music\r\n"));
}

TEST(IniFile, NamesMatchWithoutCaseAndValuesAreTrimmedAndUnquoted)
{
    const QString path = freshPath("case.ini");
    testenv::writeFile(path, "[advanced]\nadvanced =  42  \n  [LastPath]  \n LastPath=\"/a b/\"\nq='x\"\n");
    IniFile ini(path);
    EXPECT_EQ(ini.value("ADVANCED", "Advanced"), QByteArray("42"));
    EXPECT_EQ(ini.value("lastpath", "LASTPATH"), QByteArray("/a b/"));
    EXPECT_EQ(ini.value("LastPath", "q"), QByteArray("'x\""));
    EXPECT_TRUE(ini.contains("AdVaNcEd", "aDvAnCeD"));
}

TEST(IniFile, ValuesAreCutAt749Bytes)
{
    const QString path = freshPath("long.ini");
    IniFile ini(path);
    const QByteArray longValue(800, 'x');
    ASSERT_TRUE(ini.setValue("S", "K", longValue));
    EXPECT_EQ(ini.value("S", "K"), QByteArray(749, 'x'));
    // The file itself keeps the whole value; only reads are limited.
    EXPECT_TRUE(testenv::readFile(path).contains(longValue));
}

TEST(IniFile, RewriteKeepsUnknownLinesAndTheKeysSpelling)
{
    const QString path = freshPath("keep.ini");
    testenv::writeFile(path, "; a comment\n[Advanced]\nAdvanced=3\njunk line\n\n[LastPath]\nLastPath=/old\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.setValue("ADVANCED", "ADVANCED", "4"));
    ASSERT_TRUE(ini.setValue("advanced", "NEW", "x"));
    EXPECT_EQ(testenv::readFile(path),
              QByteArray("; a comment\r\n[Advanced]\r\nAdvanced=4\r\njunk line\r\nNEW=x\r\n\r\n"
                         "[LastPath]\r\nLastPath=/old\r\n"));
}

TEST(IniFile, AValueIsOneLine)
{
    const QString path = freshPath("oneline.ini");
    IniFile ini(path);
    ASSERT_TRUE(ini.setValue("S", "K", "first\r\n[Injected]\r\nK=2"));
    ASSERT_TRUE(ini.setValue("S", "L", "one\ntwo"));
    EXPECT_EQ(testenv::readFile(path), QByteArray("[S]\r\nK=first\r\nL=one\r\n"));
}

TEST(IniFile, FailedWriteLeavesNothingHalfWritten)
{
    // A folder that does not exist cannot receive the file.
    IniFile nowhere(testenv::home() + QStringLiteral("/no/such/folder/x.ini"));
    EXPECT_FALSE(nowhere.setValue("S", "K", "V"));
    EXPECT_FALSE(QFile::exists(nowhere.path()));

    // A path that is a folder cannot be read, so it is not overwritten either.
    const QString folder = freshPath("folder.ini");
    QDir().mkpath(folder);
    EXPECT_FALSE(IniFile(folder).setValue("S", "K", "V"));
    EXPECT_TRUE(QFileInfo(folder).isDir());

    // A full disk keeps the old file whole.
    const QString path = freshPath("full.ini");
    IniFile ini(path);
    ASSERT_TRUE(ini.setValue("Advanced", "ADVANCED", "1"));
    const QByteArray before = testenv::readFile(path);
    {
        FileSizeLimit disk(30);
        ASSERT_TRUE(disk.active());
        EXPECT_FALSE(ini.setValue("LastPath", "LASTPATH", QByteArray(100, 'p')));
    }
    EXPECT_EQ(testenv::readFile(path), before);
    EXPECT_EQ(QDir(QFileInfo(path).path()).entryList({QStringLiteral("full.ini*")}, QDir::Files),
              QStringList{QStringLiteral("full.ini")});
}

TEST(IniValues, KeysAreUpperCasedWhenWrittenAndFoundInAnyCase)
{
    const QString path = freshPath("module.ini");
    writeIniValue(QStringLiteral("Advanced"), QStringLiteral("Advanced"), QStringLiteral("7"), path);
    EXPECT_EQ(testenv::readFile(path), QByteArray("[Advanced]\r\nADVANCED=7\r\n"));
    EXPECT_EQ(readIniValue(QStringLiteral("ADVANCED"), QStringLiteral("advanced"), path), QStringLiteral("7"));
    EXPECT_EQ(readIniValue(QStringLiteral("Advanced"), QStringLiteral("Missing"), path), QString());
}

TEST(IniValues, IEAgentIsOnForAnyNonZeroNumber)
{
    QFile::remove(ombrexIniPath());
    EXPECT_FALSE(browserAgentEnabled());
    setBrowserAgentEnabled(true);
    EXPECT_EQ(testenv::readFile(ombrexIniPath()), QByteArray("[Advanced]\r\nIEAGENT=1\r\n"));
    EXPECT_TRUE(browserAgentEnabled());
    setBrowserAgentEnabled(false);
    EXPECT_FALSE(browserAgentEnabled());
    EXPECT_FALSE(hlsLowestBandwidth());
    setHlsLowestBandwidth(true);
    EXPECT_TRUE(hlsLowestBandwidth());
    EXPECT_TRUE(testenv::readFile(ombrexIniPath()).contains("HLSLOWESTBANDWIDTH=1"));

    const struct
    {
        const char *value;
        bool on;
    } cases[] = {{"2", true}, {"-1", true}, {"", false}, {"0", false}, {"abc", false}, {" 1 ", true}};
    for (const auto &c : cases) {
        testenv::writeFile(ombrexIniPath(), QByteArray("[Advanced]\r\nIEAgent=") + c.value + "\r\n");
        EXPECT_EQ(browserAgentEnabled(), c.on) << c.value;
    }
}

TEST(IniValues, ReconnectPeriodDefaultsToTenMinutesAndStaysInRange)
{
    QFile::remove(ombrexIniPath());
    EXPECT_EQ(reconnectPeriodMinutes(), 10);
    setReconnectPeriodMinutes(0);
    EXPECT_EQ(testenv::readFile(ombrexIniPath()), QByteArray("[Advanced]\r\nRECONNECTMINUTES=0\r\n"));
    EXPECT_EQ(reconnectPeriodMinutes(), 0);
    const struct
    {
        QByteArray value;
        qint32 minutes;
    } cases[] = {{"25", 25}, {" 7 ", 7}, {"abc", 10}, {"", 10}, {"-3", 0}, {"99999", 1440}};
    for (const auto &c : cases) {
        testenv::writeFile(ombrexIniPath(), "[Advanced]\r\nReconnectMinutes=" + c.value + "\r\n");
        EXPECT_EQ(reconnectPeriodMinutes(), c.minutes) << c.value.constData();
    }
    QFile::remove(ombrexIniPath());
}

TEST(IniValues, FileSplitSettingsDefaultOnAndStayInRange)
{
    QFile::remove(ombrexIniPath());
    FileSplitSettings settings = fileSplitSettings();
    EXPECT_TRUE(settings.splitAtPauses && settings.id3v2Tags);
    EXPECT_EQ(settings.pauseSearchSeconds, 6);
    setFileSplitSettings({false, 12, false});
    settings = fileSplitSettings();
    EXPECT_FALSE(settings.splitAtPauses || settings.id3v2Tags);
    EXPECT_EQ(settings.pauseSearchSeconds, 12);
    testenv::writeFile(ombrexIniPath(), "[Advanced]\r\nPauseSearchSeconds=0\r\nSplitAtPauses=x\r\nID3v2Tags=7\r\n");
    settings = fileSplitSettings();
    EXPECT_EQ(settings.pauseSearchSeconds, 1);
    EXPECT_TRUE(settings.splitAtPauses && settings.id3v2Tags);
    QFile::remove(ombrexIniPath());
}

TEST(IniValues, SetLastPathWritesKestraneIni)
{
    setLastPath(QStringLiteral("/srv/recordings/"));
    EXPECT_EQ(readIniValue(QStringLiteral("LastPath"), QStringLiteral("LastPath"), kestraneIniPath()),
              QStringLiteral("/srv/recordings/"));
    EXPECT_EQ(kestraneIniPath(), platform::programFolder() + QDir::separator() + QStringLiteral("Kestrane.ini"));
}

TEST(DefaultFolder, FallsBackFromLastPathToMusicDocumentsAndProgramFolder)
{
    const QString last = testenv::home() + QStringLiteral("/chosen");
    const QString music = platform::musicFolder();
    const QString documents = platform::documentsFolder();
    ASSERT_FALSE(music.isEmpty());
    ASSERT_FALSE(documents.isEmpty());
    QDir().mkpath(last);
    QDir().mkpath(music);
    QDir().mkpath(documents);

    setLastPath(last);
    EXPECT_EQ(defaultRecordingFolder(true), last);

    // The folder chosen last has since been deleted.
    QDir(last).removeRecursively();
    EXPECT_EQ(defaultRecordingFolder(true), music);

    QDir(music).removeRecursively();
    EXPECT_EQ(defaultRecordingFolder(true), documents);

    QDir(documents).removeRecursively();
    EXPECT_EQ(defaultRecordingFolder(true), platform::programFolder());
    EXPECT_EQ(defaultRecordingFolder(false), QString());

    // A LastPath naming a file is no folder.
    setLastPath(testenv::writeFile(testenv::home() + QStringLiteral("/afile"), "x"));
    EXPECT_EQ(defaultRecordingFolder(false), QString());
}
