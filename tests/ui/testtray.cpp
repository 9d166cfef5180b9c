#include <QAction>
#include <QMenu>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/desktopfrontend.h"
#include "config/preset.h"
#include "engine/recorder.h"
#include "eventwait.h"
#include "recordertestpeer.h"
#include "testenv.h"
#include "testprogram.h"
#include "ui/recordingdisplay.h"

namespace
{

// Starts a recording that stays in its first connection attempt for the test's
// short life; it never ends the program (as if started from the setup window).
void beginRecording(Recorder &recorder)
{
    inside(recorder).setStartedFromSetupWindow(true);
    inside(recorder).addServer("127.0.0.1", "/", "9", "");
    inside(recorder).beginRecording(Preset());
}

using TrayTest = ProgramTest;

} // namespace

TEST_F(TrayTest, DoubleClickOpensSetupWhenIdleAndTogglesTheDisplayWhileRecording)
{
    Application tray(program(), ui, ui);
    Recorder *recorder = program().loadRecorder();
    tray.runTrayCommand(platform::TrayCommand::DoubleClick);
    EXPECT_EQ(ui.setupShown, 1);
    EXPECT_TRUE(program().setupOpenedFromTray);
    EXPECT_EQ(ui.displayToggled, 0);

    beginRecording(*recorder);
    tray.runTrayCommand(platform::TrayCommand::DoubleClick);
    EXPECT_EQ(ui.displayToggled, 1);
    EXPECT_EQ(ui.setupShown, 1);
    tray.runTrayCommand(platform::TrayCommand::ToggleDisplay);
    EXPECT_EQ(ui.displayToggled, 2);

    recorder->stopRecording();
    tray.runTrayCommand(platform::TrayCommand::DoubleClick);
    EXPECT_EQ(ui.setupShown, 2);
}

TEST_F(TrayTest, WithoutATrayTheDisplayComesWithEachRecordingAndStaysReachable)
{
    // The offscreen platform has no tray, like plain GNOME.
    DesktopFrontEnd desktop(clock, testenv::network(), devices.audio, devices.serviceManager);
    Application tray(desktop.context(), desktop, desktop);
    Recorder *recorder = desktop.context().loadRecorder();
    EXPECT_FALSE(desktop.hasTray());
    EXPECT_EQ(desktop.loadedRecordingDisplay(), nullptr);

    beginRecording(*recorder);
    RecordingDisplay *display = desktop.loadedRecordingDisplay();
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(display->isVisible());
    EXPECT_TRUE(inside(recorder).trayState().toggleDisplay.on);

    // The display entry never hides it: nothing could bring it back.
    tray.runTrayCommand(platform::TrayCommand::ToggleDisplay);
    EXPECT_TRUE(display->isVisible());

    // A hidden display (hidden by other means) comes back, and the entry's caption follows.
    display->hide();
    EXPECT_FALSE(inside(recorder).trayState().toggleDisplay.on);
    tray.runTrayCommand(platform::TrayCommand::DoubleClick);
    EXPECT_TRUE(display->isVisible());
    EXPECT_TRUE(inside(recorder).trayState().toggleDisplay.on);

    recorder->stopRecording();
}

// The icon tells idle, recording, paused and a station that cannot be
// reached apart, each with a picture of its own.
TEST_F(TrayTest, IconFollowsTheRecordingState)
{
    DesktopFrontEnd desktop(clock, testenv::network(), devices.audio, devices.serviceManager);
    Recorder *recorder = desktop.context().loadRecorder();
    EXPECT_EQ(desktop.trayLook(), platform::TrayLook::Idle);

    beginRecording(*recorder);
    EXPECT_EQ(desktop.trayLook(), platform::TrayLook::Recording);
    recorder->togglePause();
    EXPECT_EQ(desktop.trayLook(), platform::TrayLook::Paused);
    recorder->togglePause();
    EXPECT_EQ(desktop.trayLook(), platform::TrayLook::Recording);
    recorder->stopRecording();
    EXPECT_EQ(desktop.trayLook(), platform::TrayLook::Idle);

    // A station that answers and then goes silent.
    QTcpServer station;
    ASSERT_TRUE(station.listen(QHostAddress::LocalHost));
    QObject::connect(&station, &QTcpServer::newConnection, &station, [&station] {
        QTcpSocket *peer = station.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, peer,
                         [peer] { peer->write("ICY 200 OK\r\nicy-name:Quiet\r\n\r\n"); });
    });
    QTemporaryDir records;
    desktop.context().configuration().saveFolder = records.path() + QLatin1Char('/');
    inside(recorder).setStartedFromSetupWindow(true);
    inside(recorder).addServer("127.0.0.1", "/", QByteArray::number(station.serverPort()), "");
    inside(recorder).beginRecording(desktop.context().configuration());
    ASSERT_TRUE(waitUntil([&] { return recorder->status().state == RecordingStatus::State::Recording; }, 5000));
    clock.advance(3000);
    ASSERT_TRUE(waitUntil([&] { return desktop.trayLook() == platform::TrayLook::Error; }, 5000))
        << recorder->status().caption.toStdString();
    recorder->stopRecording();
    EXPECT_EQ(desktop.trayLook(), platform::TrayLook::Idle);

    QList<qint64> pictures;
    for (const auto look : {platform::TrayLook::Idle, platform::TrayLook::Recording, platform::TrayLook::Paused,
                            platform::TrayLook::Error}) {
        const QIcon icon = DesktopFrontEnd::trayIcon(look);
        ASSERT_FALSE(icon.pixmap(22, 22).isNull()) << static_cast<int>(look);
        pictures.append(icon.pixmap(22, 22).toImage().cacheKey());
        EXPECT_EQ(pictures.count(pictures.last()), 1);
    }
}

// Start Recording before any preset was stored says so and opens the setup.
TEST_F(TrayTest, StartRecordingWithoutAPresetSaysSoAndOffersTheSetup)
{
    Application tray(program(), ui, ui);
    program().loadRecorder();
    tray.runTrayCommand(platform::TrayCommand::StartRecording);
    ASSERT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(ui.messages.first().startsWith(QStringLiteral("No preset is stored yet.")));
    EXPECT_EQ(ui.setupShown, 1);
}

// The menu's words follow the entries' states; the exit entry keeps its first
// wording until a recording has started.
TEST_F(TrayTest, MenuWordsFollowTheEntryStates)
{
    DesktopFrontEnd desktop(clock, testenv::network(), devices.audio, devices.serviceManager);
    const auto texts = [&desktop] {
        QStringList result;
        for (const QAction *action : desktop.menu()->actions())
            if (!action->isSeparator())
                result.append(action->text());
        return result;
    };
    platform::TrayState state;
    desktop.trayChanged(state);
    EXPECT_EQ(texts().join(u'|'), QStringLiteral("Set up new recording|Show Recording Display|Listen to recording|"
                                                 "Start Recording|Stop Recording|Pause Recording|E&xit"));
    state.beforeFirstRecording = false;
    state.toggleDisplay.on = state.listen.on = state.pauseRecording.on = state.exit.on = true;
    desktop.trayChanged(state);
    EXPECT_EQ(texts().join(u'|'),
              QStringLiteral("Set up new recording|Hide Recording Display|Stop listening to recording|"
                             "Start Recording|Stop Recording|Unpause Recording|Stop Recording and Exit"));
    state.exit.on = false;
    desktop.trayChanged(state);
    EXPECT_EQ(texts().last(), QStringLiteral("Exit"));
}
