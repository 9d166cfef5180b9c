#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "engine/recorder.h"
#include "fakeclock.h"
#include "testdevices.h"
#include "ui/confirmquitdialog.h"

namespace
{

class ConfirmQuitTest : public ::testing::Test
{
protected:
    ConfirmQuitTest() { clock.setSelfStepping(false); }

    FakeClock clock;
    QNetworkAccessManager network;
    TestDevices devices;
    Recorder recorder{network, clock, devices.audio, {}};
    QSignalSpy exits{&recorder, &Recorder::exitRequested};
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
    EXPECT_EQ(exits.count(), 0);
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
        EXPECT_EQ(exits.count(), 0);
    }
    {
        // The focus on a button does not keep the key from the dialog.
        ConfirmQuitDialog dialog(&recorder, clock);
        dialog.show();
        auto *no = dialog.findChild<QPushButton *>(QStringLiteral("no"));
        ASSERT_NE(no, nullptr);
        no->setFocus();
        QSignalSpy trayChanges(&recorder, &Recorder::trayChanged);
        QTest::keyClick(no, 'Y');
        // The recording had already ended: the program exits without a stop.
        EXPECT_EQ(exits.count(), 1);
        EXPECT_EQ(trayChanges.count(), 0);
    }
}

// One question at a time: asking again while it is open brings the same one
// forward; once answered, the next ask is a new question; and it goes with
// the recorder it asks about.
TEST_F(ConfirmQuitTest, TheQuitQuestionIsOneAtATimeAndGoesWithItsRecorder)
{
    QuitQuestion question(clock);
    ConfirmQuitDialog *first = question.ask(recorder);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(question.ask(recorder), first);
    QPointer<ConfirmQuitDialog> answered = first;
    first->answerNo();
    ConfirmQuitDialog *second = question.ask(recorder);
    EXPECT_NE(second, first);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(answered.isNull());

    QPointer<ConfirmQuitDialog> shown;
    {
        Recorder other{network, clock, devices.audio, {}};
        question.ask(recorder)->answerNo();
        shown = question.ask(other);
        ASSERT_FALSE(shown.isNull());
    }
    EXPECT_TRUE(shown.isNull());
    EXPECT_TRUE(question.ask(recorder)->isVisible());
}
