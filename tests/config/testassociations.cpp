#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMimeDatabase>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "config/associations.h"
#include "config/registryeditor.h"
#include "fakeregistry.h"
#include "platform/folders.h"
#include "platform/freedesktopregistry.h"
#include "platform/registry.h"
#include "recordingfrontend.h"
#include "testenv.h"

namespace
{

using platform::RegistryRoot;

// The install and remove algorithms on an in-memory registry, with the values
// an installation in C:\Vorlane would write.
class AssociationAlgorithm : public ::testing::Test
{
protected:
    AssociationAlgorithm()
        : editor(registry)
    {
        static int serial = 0;
        values.presetIcon = QStringLiteral("C:\\Vorlane\\Ombrex.exe;1");
        values.playlistIcon = QStringLiteral("C:\\Vorlane\\playlist.ico");
        values.openCommand = QStringLiteral("\"C:\\Vorlane\\vorlane.exe\" \"%1\" -noop");
        values.backupFile = testenv::home() + QStringLiteral("/algorithm%1/assoc.mcg").arg(++serial);
    }

    void set(const QString &key, const QString &value)
    {
        editor.setKeyValue(RegistryRoot::ClassesRoot, QString(), key, platform::kRegSz, value);
    }
    QString get(const QString &key) const { return editor.keyValue(RegistryRoot::ClassesRoot, QString(), key); }
    bool backupExists() const { return QFile::exists(values.backupFile); }
    QByteArray backup() const { return testenv::readFile(values.backupFile); }

    // The state a user is in who had made the program the .pls handler by hand.
    void makeProgramThePlaylistHandler(const QByteArray &backupBytes)
    {
        set(QStringLiteral(".pls"), QStringLiteral("Ombrex.Playlist"));
        if (!backupBytes.isNull())
            testenv::writeFile(values.backupFile, backupBytes);
    }

    FakeRegistry registry;
    RegistryEditor editor;
    AssociationValues values;
};

TEST_F(AssociationAlgorithm, FreshInstallRegistersPresetsAndTheClassesButLeavesPlaylistsAlone)
{
    set(QStringLiteral(".pls"), QStringLiteral("Winamp.File"));
    installAssociations(editor, values);

    EXPECT_EQ(registry.dump(), QStringList({
                                   QStringLiteral(".mvr=Ombrex.Preset"),
                                   QStringLiteral(".pls=Winamp.File"),
                                   QStringLiteral("Ombrex.Playlist=Ombrex Playlist Link"),
                                   QStringLiteral("Ombrex.Playlist\\DefaultIcon=C:\\Vorlane\\playlist.ico"),
                                   QStringLiteral("Ombrex.Playlist\\shell=open"),
                                   QStringLiteral("Ombrex.Playlist\\shell\\open"),
                                   QStringLiteral("Ombrex.Playlist\\shell\\open\\command="
                                                  "\"C:\\Vorlane\\vorlane.exe\" \"%1\" -noop"),
                                   QStringLiteral("Ombrex.Preset=Ombrex Preset"),
                                   QStringLiteral("Ombrex.Preset\\DefaultIcon=C:\\Vorlane\\Ombrex.exe;1"),
                                   QStringLiteral("Ombrex.Preset\\shell=open"),
                                   QStringLiteral("Ombrex.Preset\\shell\\open"),
                                   QStringLiteral("Ombrex.Preset\\shell\\open\\command="
                                                  "\"C:\\Vorlane\\vorlane.exe\" \"%1\" -noop"),
                               }));
    EXPECT_FALSE(backupExists());
}

TEST_F(AssociationAlgorithm, InstallingTwiceLeavesTheSameStateAsOnce)
{
    // Fresh machine.
    installAssociations(editor, values);
    const QStringList once = registry.dump();
    installAssociations(editor, values);
    EXPECT_EQ(registry.dump(), once);
    EXPECT_FALSE(backupExists());

    // Program already the .pls handler, with the earlier handler backed up.
    makeProgramThePlaylistHandler("Winamp.File\r\n");
    installAssociations(editor, values);
    const QStringList handlerOnce = registry.dump();
    const QByteArray backupOnce = backup();
    installAssociations(editor, values);
    EXPECT_EQ(registry.dump(), handlerOnce);
    EXPECT_EQ(backup(), backupOnce);
    EXPECT_EQ(get(QStringLiteral(".pls")), QStringLiteral("Ombrex.Playlist"));
    EXPECT_EQ(backupOnce, QByteArray("Winamp.File\r\n"));
}

TEST_F(AssociationAlgorithm, InstallOverAHandlerWithoutBackupKeepsPlaylistsWithoutInventingOne)
{
    makeProgramThePlaylistHandler(QByteArray());
    installAssociations(editor, values);
    EXPECT_EQ(get(QStringLiteral(".pls")), QStringLiteral("Ombrex.Playlist"));
    EXPECT_FALSE(backupExists());
}

TEST_F(AssociationAlgorithm, RemovingWhenNothingIsInstalledChangesNothing)
{
    set(QStringLiteral(".pls"), QStringLiteral("Winamp.File"));
    set(QStringLiteral("Winamp.File\\shell\\open\\command"), QStringLiteral("winamp.exe \"%1\""));
    const QStringList before = registry.dump();

    removeAssociations(editor, values.backupFile);
    EXPECT_EQ(registry.dump(), before);
    EXPECT_EQ(registry.deletions, 0);
    EXPECT_FALSE(backupExists());
}

TEST_F(AssociationAlgorithm, RemovalGivesPlaylistsBackToTheBackedUpHandler)
{
    set(QStringLiteral(".pls"), QStringLiteral("Winamp.File"));
    const QStringList before = registry.dump();
    installAssociations(editor, values);
    makeProgramThePlaylistHandler("Winamp.File\r\n");

    removeAssociations(editor, values.backupFile);
    EXPECT_EQ(get(QStringLiteral(".pls")), QStringLiteral("Winamp.File"));
    EXPECT_FALSE(backupExists());
    // Children went before their parents, so every key of the program is gone.
    EXPECT_EQ(registry.dump(), before);
}

TEST_F(AssociationAlgorithm, RemovalWithoutBackupLeavesPlaylistsWithoutHandler)
{
    installAssociations(editor, values);
    makeProgramThePlaylistHandler(QByteArray());
    removeAssociations(editor, values.backupFile);
    EXPECT_TRUE(registry.keyExists(RegistryRoot::ClassesRoot, QStringLiteral(".pls")));
    EXPECT_EQ(get(QStringLiteral(".pls")), QString());
    EXPECT_EQ(registry.dump(), QStringList({QStringLiteral(".pls=")}));
}

TEST_F(AssociationAlgorithm, RemovalKeepsTheBackupWhenPlaylistsAreNotTheProgramsAnyMore)
{
    // The user chose another handler after installing: nothing to give back.
    installAssociations(editor, values);
    testenv::writeFile(values.backupFile, "Winamp.File\r\n");
    set(QStringLiteral(".pls"), QStringLiteral("VLC.pls"));
    removeAssociations(editor, values.backupFile);
    EXPECT_EQ(get(QStringLiteral(".pls")), QStringLiteral("VLC.pls"));
    EXPECT_TRUE(backupExists());
}

TEST_F(AssociationAlgorithm, RefusedKeyStopsTheInstallationWithTheRegistryError)
{
    registry.refuseWritesBelow = QStringLiteral("Ombrex.Playlist");
    try {
        installAssociations(editor, values);
        FAIL() << "no error raised";
    } catch (const RegistryError &error) {
        EXPECT_EQ(error.Number, static_cast<qint32>(0x80040065u));
        EXPECT_EQ(error.Source, QStringLiteral("Machine List: SetKeyValue"));
        EXPECT_EQ(error.Description, QStringLiteral("Cannot set Registry value"));
    }
    // Steps before the failure stay done.
    EXPECT_EQ(get(QStringLiteral("Ombrex.Preset")), QStringLiteral("Ombrex Preset"));
}

TEST_F(AssociationAlgorithm, UnwritableBackupNeverLosesTheEarlierHandler)
{
    // A backup whose folder is a file cannot be written: the take-over stops
    // before .pls changes, so the earlier handler is still there to give back.
    const QString notAFolder = testenv::writeFile(values.backupFile + QStringLiteral(".dir"), "x");
    set(QStringLiteral(".pls"), QStringLiteral("Winamp.File"));
    EXPECT_THROW(takeOverPlaylists(editor, notAFolder + QStringLiteral("/assoc.mcg")), RegistryError);
    EXPECT_EQ(get(QStringLiteral(".pls")), QStringLiteral("Winamp.File"));
}

TEST_F(AssociationAlgorithm, CommandLineCommandsReportFailuresAndPublishTheirChanges)
{
    RecordingFrontEnd frontEnd;
    platform::setRegistry(&registry);

    EXPECT_TRUE(installAssociations());
    EXPECT_EQ(registry.publishCount, 1);
    EXPECT_EQ(get(QStringLiteral(".mvr")), QStringLiteral("Ombrex.Preset"));
    EXPECT_TRUE(get(QStringLiteral("Ombrex.Preset\\shell\\open\\command")).endsWith(QStringLiteral("\" \"%1\" -noop")));

    EXPECT_TRUE(removeAssociations());
    EXPECT_EQ(registry.publishCount, 2);
    EXPECT_EQ(get(QStringLiteral(".mvr")), QString());
    EXPECT_TRUE(frontEnd.messages.isEmpty());

    registry.refuseWritesBelow = QStringLiteral(".mvr");
    EXPECT_FALSE(installAssociations());
    EXPECT_EQ(frontEnd.messages, QStringList({QStringLiteral("Cannot set Registry value")}));
    EXPECT_EQ(registry.publishCount, 3);

    platform::setRegistry(nullptr);
}

TEST(RegistryEditor, ReadsDefaultValuesAndIgnoresFailedDeletions)
{
    FakeRegistry registry;
    RegistryEditor editor(registry);
    editor.setKeyValue(RegistryRoot::ClassesRoot, QStringLiteral("Ombrex.Preset"), QStringLiteral("shell"),
                       platform::kRegSz, QStringLiteral("open"));
    EXPECT_EQ(editor.keyValue(RegistryRoot::ClassesRoot, QString(), QStringLiteral("ombrex.preset\\SHELL")),
              QStringLiteral("open"));
    EXPECT_EQ(editor.keyValue(RegistryRoot::ClassesRoot, QStringLiteral("Ombrex.Preset"), QStringLiteral("shell")),
              QStringLiteral("open"));
    EXPECT_EQ(editor.keyValue(RegistryRoot::ClassesRoot, QStringLiteral("Missing"), QStringLiteral("shell")),
              QString());

    // A value cut at its NUL, as the system returns it.
    editor.setKeyValue(RegistryRoot::ClassesRoot, QString(), QStringLiteral("x"), platform::kRegSz,
                       QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"));
    EXPECT_EQ(editor.keyValue(RegistryRoot::ClassesRoot, QString(), QStringLiteral("x")), QStringLiteral("ab"));

    // A parent with subkeys stays; the result is "" either way.
    EXPECT_EQ(editor.deleteKey(RegistryRoot::ClassesRoot, QString(), QStringLiteral("Ombrex.Preset")), QString());
    EXPECT_TRUE(registry.keyExists(RegistryRoot::ClassesRoot, QStringLiteral("Ombrex.Preset")));
    EXPECT_EQ(editor.deleteKey(RegistryRoot::ClassesRoot, QString(), QStringLiteral("Nothing\\Here")), QString());
}

// The command-line commands on the real freedesktop mapping, in the temporary
// XDG folders of this test process.
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
    ASSERT_TRUE(installAssociations());

    const QString exec = platform::FreedesktopRegistry::execFromCommand(defaultAssociationValues().openCommand);
    EXPECT_TRUE(exec.endsWith(QStringLiteral(" %f -noop")));
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
    ASSERT_TRUE(installAssociations());
    const QMap<QString, QByteArray> once = snapshot();
    ASSERT_TRUE(installAssociations());
    EXPECT_EQ(snapshot(), once);

    handPlaylistsToTheProgram();
    ASSERT_TRUE(installAssociations());
    const QMap<QString, QByteArray> handlerOnce = snapshot();
    ASSERT_TRUE(installAssociations());
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
    ASSERT_TRUE(removeAssociations());
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(QDir(dataHome + QStringLiteral("/mime")).exists());
}

TEST_F(FreedesktopAssociations, RemovalGivesPlaylistsBackFromTheBackup)
{
    testenv::writeFile(mimeApps, userList);
    const QMap<QString, QByteArray> before = snapshot();
    ASSERT_TRUE(installAssociations());
    handPlaylistsToTheProgram();
    ASSERT_TRUE(installAssociations()); // keeps playlists, and "vlc" in the backup
    EXPECT_EQ(testenv::readFile(backupFile), QByteArray("vlc\r\n"));

    ASSERT_TRUE(removeAssociations());
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(testenv::readFile(mimeApps), userList);
}

TEST_F(FreedesktopAssociations, RemovalWithoutBackupLeavesPlaylistsToTheDesktop)
{
    const QByteArray noPlaylists = "[Default Applications]\nimage/png=eog.desktop\n";
    testenv::writeFile(mimeApps, noPlaylists);
    ASSERT_TRUE(installAssociations());
    QByteArray list = testenv::readFile(mimeApps);
    list.replace("[Default Applications]\n", "[Default Applications]\naudio/x-scpls=Ombrex.Playlist.desktop\n");
    testenv::writeFile(mimeApps, list);

    ASSERT_TRUE(removeAssociations());
    EXPECT_FALSE(QFile::exists(backupFile));
    EXPECT_EQ(testenv::readFile(mimeApps), noPlaylists);
    EXPECT_FALSE(QFile::exists(dataHome + QStringLiteral("/applications/Ombrex.Playlist.desktop")));
}

} // namespace
