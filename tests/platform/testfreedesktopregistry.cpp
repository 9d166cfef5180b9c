#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "platform/freedesktopregistry.h"
#include "platform/keyfile.h"
#include "testenv.h"

namespace
{

using platform::FreedesktopRegistry;
using platform::KeyFile;
using platform::RegistryRoot;

const RegistryRoot kRoot = RegistryRoot::ClassesRoot;

TEST(KeyFile, AddingThenRemovingKeysGivesTheUsersFileBackUnchanged)
{
    const QString path = testenv::home() + QStringLiteral("/keyfile/mimeapps.list");
    const QByteArray original = "# chosen by hand\n"
                                "[Added Associations]\n"
                                "text/plain=gedit.desktop;\n"
                                "\n"
                                "[Default Applications]\n"
                                "audio/x-scpls=vlc.desktop\n"
                                "image/png = eog.desktop\n"
                                "\n"
                                "[Removed Associations]\n"
                                "audio/mpeg=totem.desktop;\n";
    testenv::writeFile(path, original);

    KeyFile file;
    ASSERT_TRUE(file.load(path));
    EXPECT_EQ(file.value(QStringLiteral("Default Applications"), QStringLiteral("image/png")),
              QStringLiteral("eog.desktop"));
    file.setValue(QStringLiteral("Default Applications"), QStringLiteral("application/x-a"),
                  QStringLiteral("a.desktop"));
    file.setValue(QStringLiteral("New Group"), QStringLiteral("k"), QStringLiteral("v"));
    ASSERT_TRUE(file.save(path));
    const QByteArray edited = testenv::readFile(path);
    // The new key joins its group, before the blank line that ends it.
    EXPECT_TRUE(edited.contains("image/png = eog.desktop\napplication/x-a=a.desktop\n\n[Removed Associations]"));
    EXPECT_TRUE(edited.endsWith("audio/mpeg=totem.desktop;\n\n[New Group]\nk=v\n"));

    ASSERT_TRUE(file.load(path));
    EXPECT_TRUE(file.removeKey(QStringLiteral("New Group"), QStringLiteral("k")));
    EXPECT_TRUE(file.removeKey(QStringLiteral("Default Applications"), QStringLiteral("application/x-a")));
    EXPECT_FALSE(file.removeKey(QStringLiteral("Default Applications"), QStringLiteral("application/x-a")));
    ASSERT_TRUE(file.save(path));
    EXPECT_EQ(testenv::readFile(path), original);

    // A value replaced in place keeps its line; a group emptied of keys goes.
    file.setValue(QStringLiteral("Default Applications"), QStringLiteral("audio/x-scpls"), QStringLiteral("x.desktop"));
    EXPECT_EQ(file.keys(QStringLiteral("Default Applications")),
              QStringList({QStringLiteral("audio/x-scpls"), QStringLiteral("image/png")}));
    file.removeKey(QStringLiteral("Default Applications"), QStringLiteral("audio/x-scpls"));
    file.removeKey(QStringLiteral("Default Applications"), QStringLiteral("image/png"));
    EXPECT_FALSE(file.keys(QStringLiteral("Added Associations")).isEmpty());
    file.removeKey(QStringLiteral("Added Associations"), QStringLiteral("text/plain"));
    file.removeKey(QStringLiteral("Removed Associations"), QStringLiteral("audio/mpeg"));
    // The comment keeps the file from being empty.
    EXPECT_FALSE(file.isEmpty());
}

TEST(KeyFile, StringValuesSurviveEscaping)
{
    const QString value = QStringLiteral(" lead\\back\nline\ttab\rret end ");
    const QString escaped = KeyFile::escapeValue(value);
    EXPECT_FALSE(escaped.contains(QLatin1Char('\n')));
    EXPECT_TRUE(escaped.startsWith(QStringLiteral("\\s")));
    EXPECT_EQ(KeyFile::unescapeValue(escaped), value);
    EXPECT_EQ(KeyFile::unescapeValue(QStringLiteral("a\\qb\\")), QStringLiteral("a\\qb\\"));
}

TEST(FreedesktopExec, OpenCommandsBecomeExecLines)
{
    EXPECT_EQ(FreedesktopRegistry::execFromCommand(QStringLiteral("\"/usr/bin/vorlane\" \"%1\" -noop")),
              QStringLiteral("/usr/bin/vorlane %f -noop"));
    EXPECT_EQ(FreedesktopRegistry::execFromCommand(QStringLiteral("\"/opt/My Apps/vorlane\" \"%1\" -noop")),
              QStringLiteral("\"/opt/My Apps/vorlane\" %f -noop"));
    EXPECT_EQ(FreedesktopRegistry::execFromCommand(QStringLiteral("C:\\x\\v.exe %L")),
              QStringLiteral("\"C:\\\\x\\\\v.exe\" %f"));
    EXPECT_EQ(FreedesktopRegistry::execFromCommand(QStringLiteral("\"/a/$HOME/100%\" \"\" \"%1\"")),
              QStringLiteral("\"/a/\\$HOME/100%%\" \"\" %f"));
}

// How a desktop reads an Exec value: string escapes first, then quoted
// arguments (\" \` \$ \\ inside quotes), then %% for a literal percent.
QStringList execArguments(const QString &value)
{
    const QString exec = KeyFile::unescapeValue(value);
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

TEST(FreedesktopExec, InstallPathsOfAnyCharactersComeBackFromTheEntry)
{
    for (const QString &path : {QStringLiteral("/usr/bin/vorlane"), QStringLiteral("/opt/My \"Apps\"/vorlane"),
                                QStringLiteral("/opt/a\\b\\\"c/v"), QStringLiteral("/opt/$HOME/`id`/100%1%/v"),
                                QStringLiteral("/opt/trailing\\"), QStringLiteral("/opt/new\nline/v")}) {
        const QString command = FreedesktopRegistry::quoteCommandArgument(path) + QStringLiteral(" \"%1\" -noop");
        const QString exec = KeyFile::escapeValue(FreedesktopRegistry::execFromCommand(command));
        EXPECT_FALSE(exec.contains(QLatin1Char('\n')));
        EXPECT_EQ(execArguments(exec), QStringList({path, QStringLiteral("<%f>"), QStringLiteral("-noop")}))
            << qPrintable(exec);
    }
}

class FreedesktopKeys : public ::testing::Test
{
protected:
    FreedesktopKeys()
    {
        static int serial = 0;
        const QString base = testenv::home() + QStringLiteral("/keys%1").arg(++serial);
        registry =
            std::make_unique<FreedesktopRegistry>(base + QStringLiteral("/data"), base + QStringLiteral("/config"));
    }

    QString desktopEntry(const QString &progId) const
    {
        return QString::fromUtf8(testenv::readFile(registry->desktopEntryPath(progId)));
    }
    QByteArray mimeApps() const { return testenv::readFile(registry->mimeAppsListPath()); }

    std::unique_ptr<FreedesktopRegistry> registry;
};

TEST_F(FreedesktopKeys, ClassKeysLiveInTheirDesktopEntryAndGoChildrenFirst)
{
    const QString command = QStringLiteral("Ombrex.Preset\\shell\\open\\command");
    EXPECT_FALSE(registry->keyExists(kRoot, QStringLiteral("Ombrex.Preset")));
    ASSERT_TRUE(registry->setDefaultValue(kRoot, command, platform::kRegSz,
                                          QStringLiteral("\"/usr/bin/vorlane\" \"%1\" -noop")));
    ASSERT_TRUE(registry->setDefaultValue(kRoot, QStringLiteral("Ombrex.Preset"), platform::kRegSz,
                                          QStringLiteral("Ombrex Preset")));

    // Parents came into being; keys ignore case.
    EXPECT_TRUE(registry->keyExists(kRoot, QStringLiteral("OMBREX.PRESET\\Shell\\Open")));
    EXPECT_EQ(registry->defaultValue(kRoot, QStringLiteral("ombrex.preset\\SHELL\\open\\Command")),
              QStringLiteral("\"/usr/bin/vorlane\" \"%1\" -noop"));
    EXPECT_EQ(registry->defaultValue(kRoot, QStringLiteral("Ombrex.Preset")), QStringLiteral("Ombrex Preset"));
    const QString entry = desktopEntry(QStringLiteral("Ombrex.Preset"));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\nType=Application\nName=Vorlane\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nComment=Ombrex Preset\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=/usr/bin/vorlane %f -noop\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nNoDisplay=true\n")));

    EXPECT_FALSE(registry->deleteKey(kRoot, QStringLiteral("Ombrex.Preset\\shell")));
    EXPECT_FALSE(registry->deleteKey(kRoot, QStringLiteral("Ombrex.Preset")));
    EXPECT_TRUE(registry->deleteKey(kRoot, command));
    EXPECT_FALSE(desktopEntry(QStringLiteral("Ombrex.Preset")).contains(QStringLiteral("Exec=")));
    EXPECT_TRUE(registry->deleteKey(kRoot, QStringLiteral("Ombrex.Preset\\shell\\open")));
    EXPECT_TRUE(registry->deleteKey(kRoot, QStringLiteral("Ombrex.Preset\\shell")));
    EXPECT_TRUE(registry->deleteKey(kRoot, QStringLiteral("Ombrex.Preset")));
    EXPECT_FALSE(QFile::exists(registry->desktopEntryPath(QStringLiteral("Ombrex.Preset"))));
    EXPECT_FALSE(registry->deleteKey(kRoot, QStringLiteral("Ombrex.Preset")));
}

TEST_F(FreedesktopKeys, EntriesItDidNotWriteAndKeysItCannotHoldAreRefused)
{
    const QString foreign = registry->desktopEntryPath(QStringLiteral("vlc"));
    const QByteArray vlc = "[Desktop Entry]\nType=Application\nName=VLC\nExec=vlc %U\n";
    testenv::writeFile(foreign, vlc);
    EXPECT_FALSE(registry->keyExists(kRoot, QStringLiteral("vlc")));
    EXPECT_FALSE(registry->createKey(kRoot, QStringLiteral("vlc\\shell")));
    EXPECT_FALSE(registry->setDefaultValue(kRoot, QStringLiteral("vlc"), platform::kRegSz, QStringLiteral("x")));
    EXPECT_FALSE(registry->deleteKey(kRoot, QStringLiteral("vlc")));
    EXPECT_EQ(testenv::readFile(foreign), vlc);

    EXPECT_FALSE(registry->createKey(kRoot, QStringLiteral(".txt")));
    EXPECT_FALSE(registry->createKey(kRoot, QStringLiteral(".mvr\\ShellNew")));
    EXPECT_FALSE(registry->createKey(kRoot, QStringLiteral("Bad Name")));
    EXPECT_FALSE(registry->createKey(kRoot, QStringLiteral("Ombrex.Preset\\shell open")));
    EXPECT_FALSE(registry->setDefaultValue(kRoot, QStringLiteral("Ombrex.Preset"), 2, QStringLiteral("x")));
    EXPECT_FALSE(QDir(registry->applicationsFolder()).exists(QStringLiteral("Ombrex.Preset.desktop")));
}

TEST_F(FreedesktopKeys, ExtensionsAreMimeTypesWithTheirDefaultApplication)
{
    // The program's own type exists only while its package does.
    EXPECT_FALSE(registry->keyExists(kRoot, QStringLiteral(".mvr")));
    EXPECT_EQ(registry->defaultValue(kRoot, QStringLiteral(".mvr")), std::nullopt);
    ASSERT_TRUE(
        registry->setDefaultValue(kRoot, QStringLiteral(".MVR"), platform::kRegSz, QStringLiteral("Ombrex.Preset")));
    const QString package = QString::fromUtf8(testenv::readFile(registry->mimePackagePath()));
    EXPECT_TRUE(package.contains(QStringLiteral("<mime-type type=\"application/x-vorlane-preset\">")));
    EXPECT_TRUE(package.contains(QStringLiteral("<glob pattern=\"*.mvr\" case-sensitive=\"true\"/>")));
    EXPECT_EQ(mimeApps(), QByteArray("[Default Applications]\napplication/x-vorlane-preset=Ombrex.Preset.desktop\n"));
    EXPECT_EQ(registry->defaultValue(kRoot, QStringLiteral(".mvr")), QStringLiteral("Ombrex.Preset"));

    EXPECT_TRUE(registry->deleteKey(kRoot, QStringLiteral(".mvr")));
    EXPECT_FALSE(QFile::exists(registry->mimePackagePath()));
    EXPECT_FALSE(QFile::exists(registry->mimeAppsListPath()));
    EXPECT_FALSE(registry->deleteKey(kRoot, QStringLiteral(".mvr")));

    // Playlists are the system's type: only the handler changes, and any
    // handler read can be written back as it was.
    EXPECT_TRUE(registry->keyExists(kRoot, QStringLiteral(".pls")));
    EXPECT_EQ(registry->defaultValue(kRoot, QStringLiteral(".pls")), std::nullopt);
    testenv::writeFile(registry->mimeAppsListPath(), "[Default Applications]\naudio/x-scpls=vlc.desktop\n");
    EXPECT_EQ(registry->defaultValue(kRoot, QStringLiteral(".pls")), QStringLiteral("vlc"));
    testenv::writeFile(registry->mimeAppsListPath(), "[Default Applications]\naudio/x-scpls=a.desktop;b.desktop;\n");
    const QString several = registry->defaultValue(kRoot, QStringLiteral(".pls")).value_or(QString());
    EXPECT_EQ(several, QStringLiteral("a.desktop;b.desktop;"));
    ASSERT_TRUE(registry->setDefaultValue(kRoot, QStringLiteral(".pls"), platform::kRegSz, QStringLiteral("vlc")));
    EXPECT_EQ(mimeApps(), QByteArray("[Default Applications]\naudio/x-scpls=vlc.desktop\n"));
    ASSERT_TRUE(registry->setDefaultValue(kRoot, QStringLiteral(".pls"), platform::kRegSz, several));
    EXPECT_EQ(mimeApps(), QByteArray("[Default Applications]\naudio/x-scpls=a.desktop;b.desktop;\n"));
    ASSERT_TRUE(registry->setDefaultValue(kRoot, QStringLiteral(".pls"), platform::kRegSz, QString()));
    EXPECT_FALSE(QFile::exists(registry->mimeAppsListPath()));
}

TEST_F(FreedesktopKeys, DesktopEntriesDeclareTheTypesThatNameThem)
{
    ASSERT_TRUE(registry->setDefaultValue(kRoot, QStringLiteral("Ombrex.Playlist\\shell\\open\\command"),
                                          platform::kRegSz, QStringLiteral("vorlane \"%1\" -noop")));
    EXPECT_FALSE(desktopEntry(QStringLiteral("Ombrex.Playlist")).contains(QStringLiteral("MimeType=")));

    ASSERT_TRUE(
        registry->setDefaultValue(kRoot, QStringLiteral(".pls"), platform::kRegSz, QStringLiteral("Ombrex.Playlist")));
    EXPECT_TRUE(
        desktopEntry(QStringLiteral("Ombrex.Playlist")).contains(QStringLiteral("\nMimeType=audio/x-scpls;\n")));

    ASSERT_TRUE(registry->setDefaultValue(kRoot, QStringLiteral(".pls"), platform::kRegSz, QStringLiteral("vlc")));
    EXPECT_FALSE(desktopEntry(QStringLiteral("Ombrex.Playlist")).contains(QStringLiteral("MimeType=")));

    // Written the way some desktops write a single default, it is still ours.
    testenv::writeFile(registry->mimeAppsListPath(),
                       "[Default Applications]\naudio/x-scpls=Ombrex.Playlist.desktop;\n");
    EXPECT_EQ(registry->defaultValue(kRoot, QStringLiteral(".pls")), QStringLiteral("Ombrex.Playlist"));
    testenv::writeFile(registry->mimeAppsListPath(), "[Default Applications]\naudio/x-scpls=vlc.desktop;\n");
    EXPECT_EQ(registry->defaultValue(kRoot, QStringLiteral(".pls")), QStringLiteral("vlc.desktop;"));
}

} // namespace
