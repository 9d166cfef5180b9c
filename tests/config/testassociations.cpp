#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMimeDatabase>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "config/associations.h"
#include "platform/folders.h"
#include "platform/keyfile.h"
#include "testenv.h"

namespace
{

// How a desktop reads an Exec value: string escapes first, then quoted
// arguments (\" \` \$ \\ inside quotes), then %% for a literal percent.
QStringList execArguments(const QString &value)
{
    const QString exec = platform::KeyFile::unescapeValue(value);
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool started = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes && c == QLatin1Char('\\') && i + 1 < exec.size()) {
            current += exec.at(++i);
        } else if (c == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            started = true;
        } else if (!inQuotes && c == QLatin1Char(' ')) {
            if (started)
                args.append(current);
            current.clear();
            started = false;
        } else if (c == QLatin1Char('%') && i + 1 < exec.size()) {
            const QChar code = exec.at(++i);
            current += code == QLatin1Char('%') ? QStringLiteral("%") : QStringLiteral("<%") + code + QLatin1Char('>');
            started = true;
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        args.append(current);
    return args;
}

TEST(AssociationExec, InstallPathsOfAnyCharactersComeBackFromTheEntry)
{
    EXPECT_EQ(execArgument(QStringLiteral("/usr/bin/vorlane")), QStringLiteral("/usr/bin/vorlane"));
    for (const QString &path : {QStringLiteral("/usr/bin/vorlane"), QStringLiteral("/opt/My \"Apps\"/vorlane"),
                                QStringLiteral("/opt/a\\b\\\"c/v"), QStringLiteral("/opt/$HOME/`id`/100%1%/v"),
                                QStringLiteral("/opt/trailing\\"), QStringLiteral("/opt/new\nline/v"), QString()}) {
        const QString exec = platform::KeyFile::escapeValue(execArgument(path) + QStringLiteral(" %f -noop"));
        EXPECT_FALSE(exec.contains(QLatin1Char('\n')));
        EXPECT_EQ(execArguments(exec), QStringList({path, QStringLiteral("<%f>"), QStringLiteral("-noop")}))
            << qPrintable(exec);
    }
}

// The algorithms on folders of their own.
class AssociationFilesTest : public ::testing::Test
{
protected:
    AssociationFilesTest()
    {
        static int serial = 0;
        const QString base = testenv::home() + QStringLiteral("/assoc%1").arg(++serial);
        files = {base + QStringLiteral("/data"), base + QStringLiteral("/config"), base + QStringLiteral("/assoc.mcg")};
        values = {QStringLiteral("audio-x-generic"), QStringLiteral("/usr/bin/vorlane %f -noop")};
    }
    QByteArray mimeApps() const { return testenv::readFile(files.mimeAppsList()); }
    void setPlaylistHandler(const QByteArray &desktopId) const
    {
        testenv::writeFile(files.mimeAppsList(), "[Default Applications]\naudio/x-scpls=" + desktopId + "\n");
    }

    AssociationFiles files;
    AssociationValues values;
};

TEST_F(AssociationFilesTest, RemovalKeepsTheBackupWhenPlaylistsAreNotTheProgramsAnyMore)
{
    // The user chose another handler after installing: nothing to give back.
    ASSERT_EQ(installAssociations(files, values), QString());
    testenv::writeFile(files.backupFile, "vlc\r\n");
    setPlaylistHandler("org.other.desktop");
    ASSERT_EQ(removeAssociations(files), QString());
    EXPECT_EQ(mimeApps(), "[Default Applications]\naudio/x-scpls=org.other.desktop\n");
    EXPECT_TRUE(QFile::exists(files.backupFile));
}

TEST_F(AssociationFilesTest, EntriesSomeoneElseWroteAreNeverTouched)
{
    const QByteArray foreign = "[Desktop Entry]\nName=Other\nExec=other %f\n";
    const QString entry = testenv::writeFile(files.desktopEntry(QStringLiteral("Ombrex.Preset")), foreign);
    EXPECT_EQ(installAssociations(files, values), QStringLiteral("Cannot set Registry value"));
    ASSERT_EQ(removeAssociations(files), QString());
    EXPECT_EQ(testenv::readFile(entry), foreign);
    EXPECT_FALSE(QFile::exists(files.mimePackage()));
}

// The command-line commands in the temporary XDG folders of this test process.
class FreedesktopAssociations : public ::testing::Test
{
protected:
    FreedesktopAssociations()
        : dataHome(qEnvironmentVariable("XDG_DATA_HOME"))
        , configHome(qEnvironmentVariable("XDG_CONFIG_HOME"))
        , mimeApps(configHome + QStringLiteral("/mimeapps.list"))
        , backupFile(platform::programFile(QStringLiteral("assoc.mcg")))
    {
        // Never the user's own folders.
        EXPECT_TRUE(dataHome.startsWith(testenv::home()));
        EXPECT_TRUE(configHome.startsWith(testenv::home()));
        QDir(dataHome).removeRecursively();
        QFile::remove(mimeApps);
        QFile::remove(backupFile);
    }

    // Every file the associations may touch, with its bytes; the databases the
    // desktop tools build from them are left out.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> files;
        QDirIterator it(dataHome, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.startsWith(dataHome + QStringLiteral("/mime/")) && !path.contains(QStringLiteral("/packages/")))
                continue;
            if (path.endsWith(QStringLiteral("/mimeinfo.cache")))
                continue;
            files.insert(path, testenv::readFile(path));
        }
        for (const QString &path : {mimeApps, backupFile}) {
            if (QFile::exists(path))
                files.insert(path, testenv::readFile(path));
        }
        return files;
    }

    QString entry(const QString &name) const
    {
        return QString::fromUtf8(testenv::readFile(dataHome + QStringLiteral("/applications/") + name));
    }

    // Playlists were handed to the program with the earlier handler kept in the
    // backup (the way a setup program hands them over).
    void handPlaylistsToTheProgram() const
    {
        QByteArray list = testenv::readFile(mimeApps);
        list.replace("audio/x-scpls=vlc.desktop", "audio/x-scpls=Ombrex.Playlist.desktop");
        testenv::writeFile(mimeApps, list);
        testenv::writeFile(backupFile, "vlc\r\n");
    }

    const QString dataHome;
    const QString configHome;
    const QString mimeApps;
    const QString backupFile;
    const QByteArray userList = "[Added Associations]\n"
                                "text/plain=gedit.desktop;\n"
                                "\n"
                                "[Default Applications]\n"
                                "audio/x-scpls=vlc.desktop\n"
                                "image/png=eog.desktop\n";
};

TEST_F(FreedesktopAssociations, InstallingMakesPresetFilesOpenInTheProgram)
{
    testenv::writeFile(mimeApps, userList);
    ASSERT_EQ(installAssociations(), QString());

    const QString exec = defaultAssociationValues().exec;
    EXPECT_EQ(exec, execArgument(platform::executablePath()) + QStringLiteral(" %f -noop"));
    const QString preset = entry(QStringLiteral("Ombrex.Preset.desktop"));
    EXPECT_TRUE(preset.contains(QStringLiteral("\nExec=") + exec + QLatin1Char('\n')));
    EXPECT_TRUE(preset.contains(QStringLiteral("\nMimeType=application/x-vorlane-preset;\n")));
    EXPECT_TRUE(preset.contains(QStringLiteral("\nComment=Ombrex Preset\n")));
    const QString playlist = entry(QStringLiteral("Ombrex.Playlist.desktop"));
    EXPECT_TRUE(playlist.contains(QStringLiteral("\nComment=Ombrex Playlist Link\n")));
    EXPECT_FALSE(playlist.contains(QStringLiteral("MimeType=")));

    // The user's list keeps everything, playlists included; presets join it.
    EXPECT_EQ(testenv::readFile(mimeApps), QByteArray("[Added Associations]\n"
                                                      "text/plain=gedit.desktop;\n"
                                                      "\n"
                                                      "[Default Applications]\n"
                                                      "audio/x-scpls=vlc.desktop\n"
                                                      "image/png=eog.desktop\n"
                                                      "application/x-vorlane-preset=Ombrex.Preset.desktop\n"));
    EXPECT_FALSE(QFile::exists(backupFile));

    if (QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty())
        GTEST_SKIP() << "update-mime-database is not installed";
    EXPECT_TRUE(
        testenv::readFile(dataHome + QStringLiteral("/mime/globs2")).contains("application/x-vorlane-preset:*.mvr"));
    EXPECT_EQ(QMimeDatabase().mimeTypeForFile(QStringLiteral("night.mvr"), QMimeDatabase::MatchExtension).name(),
              QStringLiteral("application/x-vorlane-preset"));
}

TEST_F(FreedesktopAssociations, InstallingTwiceLeavesTheSameFilesAsOnce)
{
    testenv::writeFile(mimeApps, userList);
    ASSERT_EQ(installAssociations(), QString());
    const QMap<QString, QByteArray> once = snapshot();
    ASSERT_EQ(installAssociations(), QString());
    EXPECT_EQ(snapshot(), once);

    handPlaylistsToTheProgram();
    ASSERT_EQ(installAssociations(), QString());
    const QMap<QString, QByteArray> handlerOnce = snapshot();
    ASSERT_EQ(installAssociations(), QString());
    EXPECT_EQ(snapshot(), handlerOnce);
    EXPECT_EQ(testenv::readFile(backupFile), QByteArray("vlc\r\n"));
    EXPECT_TRUE(
        entry(QStringLiteral("Ombrex.Playlist.desktop")).contains(QStringLiteral("\nMimeType=audio/x-scpls;\n")));
}

TEST_F(FreedesktopAssociations, RemovingWhenNothingIsInstalledChangesNothing)
{
    testenv::writeFile(mimeApps, userList);
    testenv::writeFile(dataHome + QStringLiteral("/applications/vlc.desktop"), "[Desktop Entry]\nName=VLC\n");
    const QMap<QString, QByteArray> before = snapshot();
    ASSERT_EQ(removeAssociations(), QString());
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(QDir(dataHome + QStringLiteral("/mime")).exists());
}

TEST_F(FreedesktopAssociations, RemovalGivesPlaylistsBackFromTheBackup)
{
    testenv::writeFile(mimeApps, userList);
    const QMap<QString, QByteArray> before = snapshot();
    ASSERT_EQ(installAssociations(), QString());
    handPlaylistsToTheProgram();
    ASSERT_EQ(installAssociations(), QString()); // keeps playlists, and "vlc" in the backup
    EXPECT_EQ(testenv::readFile(backupFile), QByteArray("vlc\r\n"));

    ASSERT_EQ(removeAssociations(), QString());
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(testenv::readFile(mimeApps), userList);
}

TEST_F(FreedesktopAssociations, RemovalWithoutBackupLeavesPlaylistsToTheDesktop)
{
    const QByteArray noPlaylists = "[Default Applications]\nimage/png=eog.desktop\n";
    testenv::writeFile(mimeApps, noPlaylists);
    ASSERT_EQ(installAssociations(), QString());
    QByteArray list = testenv::readFile(mimeApps);
    list.replace("[Default Applications]\n", "[Default Applications]\naudio/x-scpls=Ombrex.Playlist.desktop\n");
    testenv::writeFile(mimeApps, list);

    ASSERT_EQ(removeAssociations(), QString());
    EXPECT_FALSE(QFile::exists(backupFile));
    EXPECT_EQ(testenv::readFile(mimeApps), noPlaylists);
    EXPECT_FALSE(QFile::exists(dataHome + QStringLiteral("/applications/Ombrex.Playlist.desktop")));
}

} // namespace
