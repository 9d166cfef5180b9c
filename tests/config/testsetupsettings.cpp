#include <QFile>

#include <gtest/gtest.h>

#include "config/inisettingsstore.h"
#include "config/inivalues.h"
#include "config/settingsstore.h"
#include "config/setupsettings.h"
#include "platform/folders.h"
#include "testenv.h"

// Readable failure output.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace
{

class SetupSettingsStore : public ::testing::Test
{
protected:
    SetupSettingsStore()
        : store(freshPath())
    {}

    static QString freshPath()
    {
        static int serial = 0;
        return testenv::home() + QStringLiteral("/settings%1/settings.ini").arg(++serial);
    }

    void put(const char *key, const QString &text)
    {
        store.setValue(QStringLiteral("Kestrane"), QStringLiteral("Registration"), QLatin1String(key), text);
    }
    QString get(const char *key) const
    {
        return store.value(QStringLiteral("Kestrane"), QStringLiteral("Registration"), QLatin1String(key),
                           QStringLiteral("<absent>"));
    }

    // Controls as the user left them in a window that is about to be refilled.
    static SetupSettings changedControls()
    {
        SetupSettings controls;
        controls.saveFolder = QStringLiteral("/old/");
        controls.browserAgent = true;
        controls.captureMode = SetupSettings::CaptureDatedArchive;
        controls.timed = true;
        controls.listen = true;
        controls.minutes = 45;
        controls.exitWhenDone = true;
        controls.startPaused = true;
        controls.archivePrefix = QStringLiteral("old header");
        controls.cleanup = true;
        controls.daysToKeep = 12;
        return controls;
    }

    IniSettingsStore store;
};

TEST_F(SetupSettingsStore, FirstRunSetsTheAlwaysReadOptionsAndLeavesTheRest)
{
    SetupSettings controls = changedControls();
    loadSetupSettings(controls, store);
    EXPECT_EQ(controls.saveFolder, QString());
    EXPECT_FALSE(controls.browserAgent);
    EXPECT_EQ(controls.captureMode, SetupSettings::CaptureStreamTitles);
    EXPECT_EQ(controls.archivePrefix, QString());
    // Nothing stored: every other control keeps what it had.
    EXPECT_TRUE(controls.timed);
    EXPECT_TRUE(controls.listen);
    EXPECT_EQ(controls.minutes, 45);
    EXPECT_TRUE(controls.exitWhenDone);
    EXPECT_TRUE(controls.startPaused);
    EXPECT_TRUE(controls.cleanup);
    EXPECT_EQ(controls.daysToKeep, 12);
    // Loading writes nothing.
    EXPECT_FALSE(QFile::exists(store.filePath()));
}

TEST_F(SetupSettingsStore, ANinetyMinuteTimedRecordingIsRememberedForTheNextRun)
{
    SetupSettings closing;
    closing.saveFolder = QStringLiteral("/home/me/Radio/");
    closing.timed = true;
    closing.minutes = 90;
    saveSetupSettings(closing);

    // The program's own store: settings.ini in the program folder.
    const QByteArray file = testenv::readFile(platform::programFile(QStringLiteral("settings.ini")));
    EXPECT_EQ(file, QByteArray("[Kestrane\\Registration]\r\n"
                               "MP3Path=/home/me/Radio/\r\n"
                               "FakeIE=0\r\n"
                               "Capture=2\r\n"
                               "TimeRec=1\r\n"
                               "ListenStream=0\r\n"
                               "RecTime=90\r\n"
                               "Shutdown=0\r\n"
                               "StartPause=0\r\n"
                               "ArchiveHeader=\r\n"
                               "DeleteArchive=0\r\n"
                               "DaysKeeping=30\r\n"));

    SetupSettings nextRun;
    nextRun.minutes = 5;
    loadSetupSettings(nextRun);
    EXPECT_TRUE(nextRun.timed);
    EXPECT_EQ(nextRun.minutes, 90);
    EXPECT_EQ(nextRun.saveFolder, QStringLiteral("/home/me/Radio/"));
}

TEST_F(SetupSettingsStore, WhenStoredKeysApplyOnlyWhatIsThere)
{
    put("TimeRec", QString());                // empty: not stored
    put("RecTime", QStringLiteral("ninety")); // hand-spoilt: ignored
    put("ListenStream", QStringLiteral("0"));
    put("Shutdown", QStringLiteral("1"));
    put("DaysKeeping", QStringLiteral(" 7 "));
    put("Capture", QStringLiteral("4"));
    put("FakeIE", QStringLiteral("1"));

    SetupSettings controls = changedControls();
    controls.exitWhenDone = false;
    loadSetupSettings(controls, store);
    EXPECT_TRUE(controls.timed);
    EXPECT_EQ(controls.minutes, 45);
    EXPECT_FALSE(controls.listen);
    EXPECT_TRUE(controls.exitWhenDone);
    EXPECT_TRUE(controls.startPaused);
    EXPECT_EQ(controls.daysToKeep, 7);
    EXPECT_TRUE(controls.browserAgent);
    // An unknown capture mode selects nothing, and nothing is written for it.
    EXPECT_EQ(controls.captureMode, SetupSettings::CaptureNone);
    saveSetupSettings(controls, store);
    EXPECT_EQ(get("Capture"), QStringLiteral("4"));
    EXPECT_EQ(get("RecTime"), QStringLiteral("45"));
    EXPECT_EQ(get("DeleteArchive"), QStringLiteral("1"));
}

TEST_F(SetupSettingsStore, TextsComeBackExactlyAsStored)
{
    const QStringList texts = {QStringLiteral("  padded header  "),
                               QStringLiteral("\"quoted\""),
                               QStringLiteral("'single'"),
                               QStringLiteral("a=b; c"),
                               QStringLiteral("/m\u00fcsik/\u0420\u0430\u0434\u0438\u043e/"),
                               QString()};
    for (const QString &text : texts) {
        put("ArchiveHeader", text);
        EXPECT_EQ(get("ArchiveHeader"), text);
    }
    // Keys ignore case; applications and sections are apart.
    put("MP3Path", QStringLiteral("/a/"));
    EXPECT_EQ(store.value(QStringLiteral("kestrane"), QStringLiteral("REGISTRATION"), QStringLiteral("mp3path")),
              QStringLiteral("/a/"));
    EXPECT_EQ(store.value(QStringLiteral("Other"), QStringLiteral("Registration"), QStringLiteral("MP3Path"),
                          QStringLiteral("none")),
              QStringLiteral("none"));
}

TEST(SetupSettingsOptions, ExternalPlayerAndInternetExplorerToggle)
{
    EXPECT_EQ(loadExternalPlayer(), QString());
    saveExternalPlayer(QStringLiteral("/usr/bin/mpv"));
    EXPECT_EQ(loadExternalPlayer(), QStringLiteral("/usr/bin/mpv"));
    saveExternalPlayer(QString());
    EXPECT_EQ(loadExternalPlayer(), QString());

    // The INI value is read afresh at each click, so a "2" counts as on.
    writeIniValue(QStringLiteral("Advanced"), QStringLiteral("IEAgent"), QStringLiteral("2"), ombrexIniPath());
    EXPECT_FALSE(toggleBrowserAgent());
    EXPECT_FALSE(browserAgentEnabled());
    EXPECT_TRUE(toggleBrowserAgent());
    EXPECT_EQ(readIniValue(QStringLiteral("Advanced"), QStringLiteral("IEAgent"), ombrexIniPath()),
              QStringLiteral("1"));
}

} // namespace
