#include <gtest/gtest.h>

#include "app/desktopfrontend.h"
#include "engine/programcontext.h"
#include "engine/recorder.h"
#include "recordingfrontend.h"
#include "ui/recordingdisplay.h"

namespace
{

// Starts a recording that stays in its first connection attempt for the test's
// short life; it never ends the program (as if started from the setup window).
void beginRecording(Recorder &recorder)
{
    recorder.setStartedFromSetupWindow(true);
    recorder.addServer("127.0.0.1", "/", "9", "");
    recorder.beginRecording();
}

class TrayTest : public ::testing::Test
{
protected:
    ~TrayTest() override { resetProgram(); }
};

} // namespace

TEST_F(TrayTest, DoubleClickOpensSetupWhenIdleAndTogglesTheDisplayWhileRecording)
{
    RecordingFrontEnd ui;
    Recorder *recorder = program().loadRecorder();
    program().runTrayCommand(platform::TrayCommand::DoubleClick);
    EXPECT_EQ(ui.setupShown, 1);
    EXPECT_EQ(program().setupShowMode, 1);
    EXPECT_EQ(ui.displayToggled, 0);

    beginRecording(*recorder);
    program().runTrayCommand(platform::TrayCommand::DoubleClick);
    EXPECT_EQ(ui.displayToggled, 1);
    EXPECT_EQ(ui.setupShown, 1);
    program().runTrayCommand(platform::TrayCommand::ToggleDisplay);
    EXPECT_EQ(ui.displayToggled, 2);

    recorder->stopRecording();
    program().runTrayCommand(platform::TrayCommand::DoubleClick);
    EXPECT_EQ(ui.setupShown, 2);
}

TEST_F(TrayTest, WithoutATrayTheDisplayComesWithEachRecordingAndStaysReachable)
{
    // The offscreen platform has no tray, like plain GNOME.
    DesktopFrontEnd desktop;
    platform::setFrontEnd(&desktop);
    Recorder *recorder = program().loadRecorder();
    EXPECT_FALSE(desktop.hasTray());
    EXPECT_EQ(loadedRecordingDisplay(), nullptr);

    beginRecording(*recorder);
    RecordingDisplay *display = loadedRecordingDisplay();
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(display->isVisible());
    EXPECT_EQ(recorder->trayState().toggleDisplay.caption, QStringLiteral("Hide Recording Display"));

    // The display entry never hides it: nothing could bring it back.
    program().runTrayCommand(platform::TrayCommand::ToggleDisplay);
    EXPECT_TRUE(display->isVisible());

    // A hidden display (hidden by other means) comes back, and the entry's caption follows.
    display->hide();
    EXPECT_EQ(recorder->trayState().toggleDisplay.caption, QStringLiteral("Show Recording Display"));
    program().runTrayCommand(platform::TrayCommand::DoubleClick);
    EXPECT_TRUE(display->isVisible());
    EXPECT_EQ(recorder->trayState().toggleDisplay.caption, QStringLiteral("Hide Recording Display"));

    recorder->stopRecording();
    resetProgram();
    platform::setFrontEnd(nullptr);
}
