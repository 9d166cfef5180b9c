#include <QDir>

#include <gtest/gtest.h>

#include "config/inivalues.h"
#include "config/preset.h"
#include "engine/recorder.h"
#include "engine/startup.h"
#include "eventwait.h"
#include "programrun.h"
#include "recordertestpeer.h"
#include "sources/playlistreader.h"
#include "sources/previewrelay.h"
#include "testenv.h"
#include "testprogram.h"

namespace
{

const QString kMissing = QStringLiteral("The preset file specified does not exist!");
const QString kInvalid = QStringLiteral("The preset file is invalid! (Check that there are six lines exactly)");
const QString kUnsupported =
    QStringLiteral("This is not a supported filetype to load! (Ombrex currently only supports preset files (.mvr) "
                   "and Shoutcase playlists (.pls)!)");
// A playlist file without a "File" entry.
const QString kNoServers =
    QStringLiteral("Server is currently unavailable or the shoutcast file is formatted incorrectly!");

class StartUp : public ::testing::Test, protected TestProgram
{
protected:
    void SetUp() override
    {
        QFile::remove(kestraneIniPath());
        m_folder = testenv::home() + QStringLiteral("/start");
        QDir(m_folder).removeRecursively();
        QDir().mkpath(m_folder + QStringLiteral("/recordings"));
    }
    void start(const QString &commandLine) { m_application = startProgram(program(), commandLine, m_ui, m_ui); }

    QString preset(const char *name, int bodyLines = 6)
    {
        const QList<QByteArray> lines = {"!P-Night Jazz", "http://127.0.0.1:1/jazz.pls",
                                         "SONGNAMEONLY",  QFile::encodeName(m_folder) + "/recordings",
                                         "S90",           " 7 "};
        return testenv::writeFile(m_folder + QLatin1Char('/') + QString::fromUtf8(name),
                                  lines.mid(0, bodyLines).join("\r\n") + "\r\n");
    }

    QString m_folder;
    RecordingFrontEnd &m_ui = ui;
    std::unique_ptr<Application> m_application;
};

} // namespace

TEST_F(StartUp, ValidPresetIsLoadedAndRecordingIsAskedFor)
{
    const QString path = preset("jazz.mvr");
    start(QLatin1Char('"') + path + QLatin1Char('"'));
    EXPECT_FALSE(m_ui.exited());
    // The recorder starts resolving the station; nothing listens at its playlist address.
    EXPECT_TRUE(m_ui.captions.contains(QStringLiteral("Connecting to Night Jazz...")));
    ASSERT_TRUE(waitUntil([&] { return !m_ui.messages.isEmpty(); }));
    EXPECT_EQ(m_ui.messages, QStringList{PlaylistReader::errorMessage(PlaylistReader::ErrSocket)});
    const Preset &config = program().configuration();
    EXPECT_TRUE(config.valid);
    EXPECT_EQ(config.stationTitle, QStringLiteral("Night Jazz"));
    EXPECT_EQ(config.presetFilePath, path);
    EXPECT_EQ(config.timeLimitMinutes, 90);
    ASSERT_NE(program().recorder(), nullptr);
    EXPECT_EQ(m_ui.setupShown, 0);
}

TEST_F(StartUp, FailedPresetStartsEndTheProgramWithStatusOne)
{
    const struct
    {
        QString commandLine;
        QStringList messages;
    } cases[] = {
        {m_folder + QStringLiteral("/missing.mvr"), {kMissing}},
        {preset("five.mvr", 5), {kInvalid}},
        {preset("upper.MVR"), {kUnsupported}},
        {QStringLiteral("-installasscX"), {kUnsupported}},
        {QStringLiteral("-INSTALLASSC"), {kUnsupported}},
        {preset("noext"), {kUnsupported}},
    };
    for (const auto &c : cases) {
        restartProgram();
        m_ui.messages.clear();
        m_ui.clearExit();
        start(c.commandLine);
        EXPECT_EQ(m_ui.messages, c.messages) << qPrintable(c.commandLine);
        EXPECT_TRUE(m_ui.exited()) << qPrintable(c.commandLine);
        EXPECT_EQ(m_ui.exitStatus(), kExitStartFailed);
        EXPECT_EQ(program().recorder(), nullptr) << "the exit routine unloads the main window";
    }
}

TEST_F(StartUp, PresetReaderMessageNamesTheFaultAlone)
{
    const QString path = testenv::writeFile(m_folder + QStringLiteral("/bad.mvr"),
                                            "Jazz\r\nnotes.txt\r\nSONGNAMEONLY\r\n%DEFDIR%\r\n 1 \r\n 1 \r\n");
    start(path);
    // Not followed by the advice to count the lines, which would mislead.
    ASSERT_EQ(m_ui.messages.size(), 1);
    EXPECT_TRUE(m_ui.messages.at(0).startsWith(path + QLatin1Char('\r')));
    EXPECT_TRUE(m_ui.messages.at(0).contains(QStringLiteral("notes.txt")));
    EXPECT_EQ(m_ui.exitStatus(), kExitStartFailed);
}

TEST_F(StartUp, AssociationCommandsMatchTheWholeTextAndEndTheProgram)
{
    // In this test's own XDG folders.
    const QString presetEntry =
        qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/Ombrex.Preset.desktop");
    start(QStringLiteral("-installassc"));
    EXPECT_TRUE(m_ui.messages.isEmpty());
    EXPECT_TRUE(m_ui.exited());
    EXPECT_EQ(m_ui.exitStatus(), kExitNormal);
    EXPECT_TRUE(QFile::exists(presetEntry));
    // Ended before the "Advanced" value and before the main window.
    EXPECT_FALSE(QFile::exists(kestraneIniPath()));
    EXPECT_EQ(program().recorder(), nullptr);

    restartProgram();
    start(QStringLiteral("-uninstallassc"));
    EXPECT_TRUE(m_ui.messages.isEmpty());
    EXPECT_EQ(m_ui.exitStatus(), kExitNormal);
    EXPECT_FALSE(QFile::exists(presetEntry));
}

TEST_F(StartUp, AssociationCommandThatCannotWriteReportsItAndFails)
{
    // A data folder below a plain file cannot be created, not even by root.
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    const QString blocker = testenv::writeFile(m_folder + QStringLiteral("/blocker"), "x");
    qputenv("XDG_DATA_HOME", QFile::encodeName(blocker + QStringLiteral("/data")));
    start(QStringLiteral("-installassc"));
    qputenv("XDG_DATA_HOME", dataHome);
    EXPECT_EQ(m_ui.messages, QStringList{QStringLiteral("Cannot set Registry value")});
    EXPECT_TRUE(m_ui.exited());
    EXPECT_EQ(m_ui.exitStatus(), kExitStartFailed);
}

TEST_F(StartUp, NoOperationFlagFillsTheSetupWindowWithoutRecording)
{
    const QString path = preset("noop.mvr");
    start(QLatin1Char('"') + path + QStringLiteral("\" -noop"));
    EXPECT_TRUE(m_ui.messages.isEmpty());
    EXPECT_EQ(m_ui.setupShown, 1);
    EXPECT_TRUE(m_ui.setupFilled);
    EXPECT_FALSE(m_ui.exited());
    EXPECT_EQ(program().configuration().stationTitle, QStringLiteral("Night Jazz"));
}

TEST_F(StartUp, OpenFileRewritesTheText)
{
    Recorder *main = program().loadRecorder();
    ASSERT_NE(main, nullptr);
    const QString path = preset("a.mvr");

    QString text = QLatin1Char('"') + path + QStringLiteral("\" -noop");
    EXPECT_TRUE(inside(main).openFile(text, program().configuration()));
    EXPECT_EQ(text, path);

    // The last six characters go, wherever the flag stands.
    text = QStringLiteral("-noop ") + path;
    EXPECT_FALSE(inside(main).openFile(text, program().configuration()));
    EXPECT_EQ(text, QStringLiteral("-noop ") + path.left(path.size() - 6));
    EXPECT_EQ(m_ui.messages.constLast(), kUnsupported);

    // Upper-case "-NOOP" is no flag.
    text = path + QStringLiteral(" -NOOP");
    EXPECT_FALSE(inside(main).openFile(text, program().configuration()));
    EXPECT_EQ(text, path + QStringLiteral(" -NOOP"));
}

TEST_F(StartUp, PlaylistFileFillsTheRecordBeforeItIsRead)
{
    QDir().mkpath(testenv::home() + QStringLiteral("/Music"));
    const QString path = testenv::writeFile(m_folder + QStringLiteral("/list.pls"), "[playlist]\r\n");
    Preset &config = program().configuration();
    config.stationTitle = QStringLiteral("old");
    start(path + QStringLiteral(" -noop"));
    EXPECT_EQ(m_ui.messages, QStringList{kNoServers});
    EXPECT_FALSE(m_ui.exited()) << "a playlist that yields nothing leaves the program running";
    EXPECT_EQ(config.playlistAddress, path);
    EXPECT_TRUE(config.stationTitle.isEmpty());
    EXPECT_EQ(config.timeLimitMinutes, 0);
    EXPECT_FALSE(config.timeLimited);
    ASSERT_NE(program().recorder(), nullptr);
    EXPECT_TRUE(inside(program().recorder()).isPausedStart());
    EXPECT_EQ(config.saveFolder, defaultRecordingFolder(true) + QDir::separator());

    restartProgram();
    start(path);
    ASSERT_NE(program().recorder(), nullptr);
    EXPECT_FALSE(inside(program().recorder()).isPausedStart());
}

TEST_F(StartUp, EmptyCommandLineShowsTheSetupWindowAndKeepsTheMainWindowHidden)
{
    start(QString());
    EXPECT_EQ(m_ui.setupShown, 1);
    EXPECT_FALSE(m_ui.setupFilled);
    EXPECT_TRUE(m_ui.messages.isEmpty());
    EXPECT_FALSE(m_ui.exited());
    ASSERT_NE(program().recorder(), nullptr);
    EXPECT_FALSE(program().setupOpenedFromTray);
}

TEST_F(StartUp, AdvancedValueIsReadAndWrittenBack)
{
    start(QString());
    EXPECT_EQ(testenv::readFile(kestraneIniPath()), QByteArray("[Advanced]\r\nADVANCED=0\r\n"));

    const struct
    {
        QByteArray stored;
        qint32 value;
    } cases[] = {{"5", 5}, {"", 0}, {"abc", 0}, {" -2 ", -2}};
    for (const auto &c : cases) {
        restartProgram();
        testenv::writeFile(kestraneIniPath(),
                           "[LastPath]\r\nLastPath=/x\r\n[ADVANCED]\r\nadvanced=" + c.stored + "\r\n");
        start(QString());
        EXPECT_EQ(testenv::readFile(kestraneIniPath()),
                  "[LastPath]\r\nLastPath=/x\r\n[ADVANCED]\r\nadvanced=" + QByteArray::number(c.value) + "\r\n");
    }
}

TEST_F(StartUp, MainWindowStartValues)
{
    devices.mixer.raw = 32767; // the system's master fader at half scale
    start(QString());
    Recorder *main = program().recorder();
    ASSERT_NE(main, nullptr);
    // Values a previous run may have left behind are set again by reload.
    inside(main).addServer("host", "/", "80", {});
    main->toggleListening();
    inside(main).reload(program().configuration());

    EXPECT_TRUE(inside(main).isAwaitingHeader());
    EXPECT_FALSE(inside(main).isFileOpen());
    EXPECT_FALSE(main->isRecording());
    EXPECT_FALSE(inside(main).isTitleMode());
    EXPECT_FALSE(inside(main).isPaused());
    EXPECT_FALSE(inside(main).isListening());
    EXPECT_EQ(inside(main).serverNumber(), 0);
    EXPECT_EQ(inside(main).metadataParser().interval(), 0);
    EXPECT_EQ(inside(main).metadataParser().counter(), 0);
    EXPECT_EQ(inside(main).bitRate(), 0);
    EXPECT_TRUE(inside(main).songName().isEmpty());
    EXPECT_TRUE(inside(main).responseHeader().isEmpty());
    EXPECT_EQ(inside(main).caption(), QStringLiteral("Initializing..."));
    EXPECT_TRUE(inside(main).servers().isEmpty());
    // The listening volume starts at the system's master volume.
    EXPECT_EQ(main->volume(), 50);
    EXPECT_FALSE(inside(main).relay().listening);

    EXPECT_TRUE(inside(main).hasTrayIcon());
    EXPECT_EQ(m_ui.tray.tip, QStringLiteral("Kestrane"));
    EXPECT_EQ(m_ui.captions.constLast(), QStringLiteral("Initializing..."));
}

TEST_F(StartUp, ExitUnloadsEveryWindowInOrder)
{
    start(QString());
    QStringList unloaded;
    const auto track = [&unloaded](const char *name) {
        return [&unloaded, name] { unloaded.append(QString::fromLatin1(name)); };
    };
    ProgramContext &context = program();
    context.setWindowUnloader(ProgramWindow::Confirmation, track("confirmation"));
    context.setWindowUnloader(ProgramWindow::Setup, track("setup"));
    context.setWindowUnloader(ProgramWindow::AddStation, track("add station"));
    context.setWindowUnloader(ProgramWindow::RecordingDisplay, track("display"));
    EXPECT_TRUE(context.isWindowLoaded(ProgramWindow::Setup));
    EXPECT_FALSE(context.isWindowLoaded(ProgramWindow::LocalSearch));

    Recorder *main = context.recorder();
    ASSERT_NE(main, nullptr);
    main->exitFromMenu();
    EXPECT_TRUE(m_ui.exited());
    EXPECT_EQ(m_ui.exitStatus(), kExitNormal);
    EXPECT_EQ(unloaded, (QStringList{QStringLiteral("add station"), QStringLiteral("setup"), QStringLiteral("display"),
                                     QStringLiteral("confirmation")}));
    EXPECT_EQ(context.recorder(), nullptr);
    EXPECT_FALSE(context.isWindowLoaded(ProgramWindow::Setup));
    EXPECT_TRUE(m_ui.messages.isEmpty()) << "nothing was recording";
}
