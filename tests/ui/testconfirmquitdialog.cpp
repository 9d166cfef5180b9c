#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "app/programcontext.h"
#include "config/preset.h"
#include "engine/recorder.h"
#include "fakeclock.h"
#include "recordingfrontend.h"
#include "ui/confirmquitdialog.h"

namespace
{

class ConfirmQuitTest : public ::testing::Test
{
protected:
    ConfirmQuitTest() { clock.setSelfStepping(false); }
    ~ConfirmQuitTest() override { resetProgram(); }

    FakeClock clock;
    RecordingFrontEnd ui;
    Preset preset;
    Recorder recorder{preset, clock, {}};
};

} // namespace

TEST_F(ConfirmQuitTest, DoingNothingClosesItAfterFiveSeconds)
{
    ConfirmQuitDialog dialog(&recorder, clock);
    QSignalSpy declined(&dialog, &ConfirmQuitDialog::declined);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Are You Sure You Want To Quit?"));
    clock.advance(5000);
    EXPECT_TRUE(dialog.isVisible());
    clock.advance(100);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(declined.count(), 1);
    EXPECT_FALSE(ui.exited());
}

TEST_F(ConfirmQuitTest, KeysAnswerInEitherCase)
{
    {
        ConfirmQuitDialog dialog(&recorder, clock);
        QSignalSpy declined(&dialog, &ConfirmQuitDialog::declined);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_X);
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClick(&dialog, 'N');
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(declined.count(), 1);
        EXPECT_FALSE(ui.exited());
    }
    {
        // The focus on a button does not keep the key from the dialog.
        ConfirmQuitDialog dialog(&recorder, clock);
        dialog.show();
        auto *no = dialog.findChild<QPushButton *>(QStringLiteral("no"));
        ASSERT_NE(no, nullptr);
        no->setFocus();
        const int trayChanges = ui.trayChanges;
        QSignalSpy exits(&recorder, &Recorder::exitRequested);
        QTest::keyClick(no, 'Y');
        // The recording had already ended: the program exits without a stop.
        EXPECT_EQ(exits.count(), 1);
        EXPECT_EQ(ui.trayChanges, trayChanges);
    }
}
