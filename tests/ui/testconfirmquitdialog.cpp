#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <limits>

#include "config/preset.h"
#include "engine/programcontext.h"
#include "engine/recorder.h"
#include "fakeclock.h"
#include "recordingfrontend.h"
#include "ui/confirmquitdialog.h"

namespace
{

constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();

class ConfirmQuitTest : public ::testing::Test
{
protected:
    ConfirmQuitTest() { clock.setSelfStepping(false); }
    ~ConfirmQuitTest() override { resetProgram(); }

    FakeClock clock{kMax - 2000};
    RecordingFrontEnd ui;
    Preset preset;
    Recorder recorder{preset, clock, {}};
};

} // namespace

TEST(ConfirmQuitTimeout, MoreThan5000MsAcrossTheCounterWrap)
{
    EXPECT_FALSE(ConfirmQuitDialog::timedOut(1000, 6000));
    EXPECT_TRUE(ConfirmQuitDialog::timedOut(1000, 6001));
    // Opened just before the counter turns negative.
    const qint32 open = kMax - 1000;
    EXPECT_FALSE(ConfirmQuitDialog::timedOut(open, kMin + 3999));
    EXPECT_TRUE(ConfirmQuitDialog::timedOut(open, kMin + 4000));
    EXPECT_FALSE(ConfirmQuitDialog::timedOut(open, open + 10));
}

TEST_F(ConfirmQuitTest, DoingNothingClosesItAfterFiveSecondsAcrossTheWrap)
{
    ConfirmQuitDialog dialog(&recorder);
    QSignalSpy declined(&dialog, &ConfirmQuitDialog::declined);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Are You Sure You Want To Quit?"));
    clock.advance(5000); // the counter has wrapped on the way
    EXPECT_LT(clock.tickCount(), 0);
    EXPECT_TRUE(dialog.isVisible());
    clock.advance(100);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(declined.count(), 1);
    EXPECT_FALSE(ui.exited());
}

TEST_F(ConfirmQuitTest, KeysAnswerInEitherCase)
{
    {
        ConfirmQuitDialog dialog(&recorder);
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
        ConfirmQuitDialog dialog(&recorder);
        dialog.show();
        auto *no = dialog.findChild<QPushButton *>(QStringLiteral("no"));
        ASSERT_NE(no, nullptr);
        no->setFocus();
        const int trayChanges = ui.trayChanges;
        QTest::keyClick(no, 'Y');
        // The recording had already ended: the program exits without a stop.
        EXPECT_TRUE(ui.exited());
        EXPECT_EQ(ui.trayChanges, trayChanges);
    }
}
