#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "config/preset.h"
#include "engine/recorder.h"
#include "platform/clock.h"
#include "testdevices.h"
#include "ui/confirmquitdialog.h"
#include "ui/recordingdisplay.h"
#include "ui/slider.h"

namespace
{

// The raw mixer value for a volume in percent.
qint32 raw(int percent)
{
    return percent * 655;
}

// The pointer moving over a widget with no button down.
void hover(QWidget *widget, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

class DisplayTest : public ::testing::Test
{
protected:
    DisplayTest()
    {
        mixer.raw = raw(50);
        recorder.setVolume(50);
        display = std::make_unique<RecordingDisplay>(&recorder, preset, mixer, quitQuestion);
    }
    ~DisplayTest() override { display.reset(); }

    // A recording as the recorder reports it.
    static RecordingStatus recording(const QString &caption, bool timed = false)
    {
        RecordingStatus status;
        status.state = RecordingStatus::State::Recording;
        status.recording = true;
        status.timed = timed;
        status.caption = caption;
        status.hoursPassed = 1;
        status.minutesPassed = 2;
        status.secondsPassed = 9;
        status.hoursLeft = 0;
        status.minutesLeft = 57;
        status.secondsLeft = 51;
        return status;
    }
    RecordingDisplay::Face show(const RecordingStatus &status)
    {
        display->showStatus(status);
        return display->face();
    }
    RecordingDisplay::Face tick()
    {
        display->tick();
        return display->face();
    }

    TestDevices devices;
    FakeMixer &mixer = devices.mixer;
    Preset preset;
    QNetworkAccessManager network;
    platform::SystemClock clock;
    QuitQuestion quitQuestion{clock};
    Recorder recorder{network, clock, devices.audio, {}};
    std::unique_ptr<RecordingDisplay> display;
};

} // namespace

TEST_F(DisplayTest, StoppedStateAndWhatRecordingLightsUp)
{
    RecordingDisplay::Face face = display->face();
    EXPECT_FALSE(face.recordingLamp);
    EXPECT_TRUE(face.digitsIdle);
    EXPECT_EQ(face.digits, (std::array<qint32, 3>{0, 0, 0}));
    EXPECT_EQ(face.bitRate, QStringLiteral("B: 0"));
    EXPECT_FALSE(face.bitRateLit);
    EXPECT_EQ(face.title, QStringLiteral("STOPPED"));
    EXPECT_EQ(face.titleLeft, 0);
    EXPECT_TRUE(face.recordEnabled);
    EXPECT_FALSE(face.timeModeEnabled);

    RecordingStatus status = recording(QStringLiteral("Now Recording: a.mp3"));
    status.bitRate = 128;
    status.listening = true;
    face = show(status);
    EXPECT_TRUE(face.recordingLamp);
    EXPECT_TRUE(face.listeningLamp);
    EXPECT_FALSE(face.digitsIdle);
    EXPECT_EQ(face.digits, (std::array<qint32, 3>{1, 2, 9}));
    EXPECT_FALSE(face.minusSigns);
    EXPECT_EQ(face.bitRate, QStringLiteral("B: 128"));
    EXPECT_TRUE(face.bitRateLit);
    EXPECT_EQ(face.title, QStringLiteral("Now Recording: a.mp3"));
    EXPECT_FALSE(face.recordEnabled);

    // A bit rate of 0 (a new connection) keeps the last one.
    status.bitRate = 0;
    EXPECT_EQ(show(status).bitRate, QStringLiteral("B: 128"));

    // Stopping: everything goes dark but the listening lamp, which follows its flag.
    RecordingStatus stopped;
    stopped.listening = true;
    face = show(stopped);
    EXPECT_FALSE(face.recordingLamp);
    EXPECT_TRUE(face.listeningLamp);
    EXPECT_TRUE(face.digitsIdle);
    EXPECT_EQ(face.bitRate, QStringLiteral("B: 0"));
    EXPECT_FALSE(face.bitRateLit);
    EXPECT_EQ(face.title, QStringLiteral("STOPPED"));
    EXPECT_TRUE(face.recordEnabled);
}

TEST_F(DisplayTest, TimeModesAndTheForcedElapsedMode)
{
    RecordingStatus timed = recording(QStringLiteral("x"), true);
    EXPECT_TRUE(show(timed).timeModeEnabled);
    display->toggleTimeMode();
    RecordingDisplay::Face face = tick();
    EXPECT_TRUE(face.minusSigns);
    EXPECT_EQ(face.digits, (std::array<qint32, 3>{0, 57, 51}));
    EXPECT_EQ(face.timeCaption, QStringLiteral("TIME LEFT"));
    // Past the end the engine's values go negative; the digits stop at 0.
    timed.minutesLeft = -1;
    timed.secondsLeft = -5;
    EXPECT_EQ(show(timed).digits, (std::array<qint32, 3>{0, 0, 0}));
    display->toggleTimeMode();
    face = tick();
    EXPECT_FALSE(face.minusSigns);
    EXPECT_EQ(face.timeCaption, QStringLiteral("REC TIME"));

    // Without a time limit: the remaining fields show for one tick only.
    const RecordingStatus untimed = recording(QStringLiteral("x"));
    EXPECT_FALSE(show(untimed).timeModeEnabled);
    display->toggleTimeMode();
    EXPECT_EQ(display->face().timeCaption, QStringLiteral("TIME LEFT"));
    face = tick();
    EXPECT_TRUE(face.minusSigns);
    EXPECT_EQ(face.digits, (std::array<qint32, 3>{0, 57, 51}));
    // The caption went back with the mode, so it never names what is not shown.
    EXPECT_EQ(face.timeCaption, QStringLiteral("REC TIME"));
    face = tick();
    EXPECT_FALSE(face.minusSigns);
    EXPECT_EQ(face.digits, (std::array<qint32, 3>{1, 2, 9}));
}

TEST_F(DisplayTest, ErrorLampFollowsTheMarkInTheCaption)
{
    EXPECT_TRUE(show(recording(QStringLiteral("[ERR] NETWORK: Awaiting data..."))).errorLamp);
    EXPECT_TRUE(show(recording(QStringLiteral("[ERR]: Resource forbidden, trying server 2..."))).errorLamp);
    EXPECT_FALSE(show(recording(QStringLiteral("Now Recording: [err] lower case.mp3"))).errorLamp);
    EXPECT_FALSE(show(recording(QStringLiteral("Now Recording: b.mp3"))).errorLamp);
}

TEST_F(DisplayTest, LongTitleScrollsOnlyWithTheTick)
{
    const QString title = QStringLiteral("Now Recording: ") + QString(80, QLatin1Char('w')) + QStringLiteral(".mp3");
    RecordingDisplay::Face face = show(recording(title));
    EXPECT_EQ(face.titleLeft, 0);
    // Status changes between ticks place the text but do not move it.
    face = show(recording(title));
    EXPECT_EQ(face.titleLeft, 0);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(tick().titleLeft, -i);
    EXPECT_TRUE(title.startsWith(display->face().title.left(10)));
    // Ten pixels a second: the display's own timer runs the tick every 100 ms.
    display->show();
    const qint64 before = display->face().titleMoved;
    QTest::qWait(1050);
    const qint64 moved = display->face().titleMoved - before;
    EXPECT_GE(moved, 7);
    EXPECT_LE(moved, 13);
}

TEST_F(DisplayTest, SliderWritesTheListeningVolumeBothEnds)
{
    Slider *slider = display->volumeSlider();
    EXPECT_EQ(slider->value(), -51); // from the recorder's volume
    slider->setValue(-101);
    EXPECT_EQ(recorder.volume(), 100);
    slider->setValue(-1);
    EXPECT_EQ(recorder.volume(), 0);
    // The tips speak of the volume, not of the slider's own numbers.
    hover(slider, QPoint(slider->width() / 2, 0));
    EXPECT_EQ(slider->toolTip(), QStringLiteral("Volume 100%"));
    slider->setValue(-101);
    hover(slider, QPoint(slider->width() / 2, slider->height() - 1));
    EXPECT_EQ(slider->toolTip(), QStringLiteral("Volume 0%"));
}

TEST_F(DisplayTest, SliderFollowsChangesOfTheSystemVolumeNotTheUsersHand)
{
    show(recording(QStringLiteral("x")));
    Slider *slider = display->volumeSlider();
    tick();
    EXPECT_EQ(slider->value(), -51); // the system volume did not change

    mixer.raw = raw(30);
    tick();
    EXPECT_EQ(slider->value(), -31);
    EXPECT_EQ(recorder.volume(), 30);

    // Right after a tick moved it, the user's hand counts: the top cap is 100,
    // then the user settles on 80, and the next ticks leave it there.
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 0));
    EXPECT_EQ(recorder.volume(), 100);
    slider->setValue(-81);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 0));
    EXPECT_EQ(recorder.volume(), 80);
    tick();
    tick();
    EXPECT_EQ(slider->value(), -81);
    EXPECT_EQ(recorder.volume(), 80);

    // A key since the last tick holds the slider for that tick.
    mixer.raw = raw(10);
    QTest::keyClick(slider, Qt::Key_Down);
    EXPECT_EQ(recorder.volume(), 79);
    tick();
    EXPECT_EQ(slider->value(), -80);
    // While pressed the system volume does not move it either.
    mixer.raw = raw(20);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 0));
    tick();
    EXPECT_EQ(slider->value(), -101);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, 0));
    EXPECT_EQ(recorder.volume(), 100);
}

TEST_F(DisplayTest, UnreadableSystemVolumeNeverMutesListening)
{
    mixer.raw.reset();
    mixer.hasSpeakerLine = false;
    show(recording(QStringLiteral("x")));
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_EQ(display->volumeSlider()->value(), -51);
    EXPECT_EQ(recorder.volume(), 50);
    display->volumeSlider()->setValue(-71);
    tick();
    EXPECT_EQ(recorder.volume(), 70);
    EXPECT_EQ(display->volumeSlider()->value(), -71);
}

TEST_F(DisplayTest, QuitAsksOnlyWhileARecordingRunsUnpaused)
{
    QSignalSpy exits(&recorder, &Recorder::exitRequested);
    show(recording(QStringLiteral("x")));
    display->quit();
    ASSERT_NE(display->confirmation(), nullptr);
    EXPECT_TRUE(display->confirmation()->isVisible());
    // A second Exit brings the same question forward.
    ConfirmQuitDialog *first = display->confirmation();
    display->quit();
    EXPECT_EQ(display->confirmation(), first);
    first->answerNo();
    EXPECT_EQ(exits.count(), 0);

    // Paused or stopped, Exit goes the way of the tray's exit, which closes a
    // running recording before the program ends.
    RecordingStatus paused = recording(QStringLiteral("x"));
    paused.paused = true;
    paused.state = RecordingStatus::State::Paused;
    show(paused);
    display->quit();
    EXPECT_EQ(exits.count(), 1);

    show(RecordingStatus());
    display->quit();
    EXPECT_EQ(exits.count(), 2);
}

TEST_F(DisplayTest, ContentsScaleWithTheWindowAndDockUnderAFrame)
{
    display->show();
    const QRect slider = display->volumeSlider()->geometry();
    const int titleWidth = display->titleWidth();
    display->dockUnder(QRect(100, 50, display->width() * 2, 300));
    EXPECT_EQ(display->geometry().topLeft(), QPoint(100, 350));
    EXPECT_EQ(display->volumeSlider()->geometry().left(), slider.left() * 2);
    EXPECT_EQ(display->volumeSlider()->geometry().height(), slider.height());
    EXPECT_NEAR(display->titleWidth(), titleWidth * 2, 1);
}

// The window and the display docked below it always end up wholly on the
// screen: moved up or in, made lower when the two are too tall, and the
// display over the window's bottom only when the window cannot get lower.
TEST(DockedPair, BothLandWhollyInsideTheScreenArea)
{
    const QRect area(0, 0, 800, 476); // 800x500 with a 24-pixel panel
    struct Case
    {
        QRect frame;
        int minimum;
        QRect wantFrame;
        QRect wantDisplay;
    };
    const Case cases[] = {
        // Fits where it is: nothing moves.
        {QRect(50, 20, 600, 300), 200, QRect(50, 20, 600, 300), QRect(50, 320, 600, 128)},
        // Restored low on the screen: the pair moves up.
        {QRect(50, 400, 600, 300), 200, QRect(50, 48, 600, 300), QRect(50, 348, 600, 128)},
        // Off the right and top edges: moved in.
        {QRect(500, -30, 600, 300), 200, QRect(200, 0, 600, 300), QRect(200, 300, 600, 128)},
        // Too tall together: the window gets lower.
        {QRect(0, 0, 600, 460), 200, QRect(0, 0, 600, 348), QRect(0, 348, 600, 128)},
        // It cannot get low enough: the display covers its bottom, still on screen.
        {QRect(0, 0, 600, 460), 400, QRect(0, 0, 600, 400), QRect(0, 348, 600, 128)},
    };
    for (const Case &c : cases) {
        const DockedPlaces places = fitDockedPair(c.frame, 128, area, c.minimum);
        EXPECT_EQ(places.frame, c.wantFrame) << c.frame.y() << " " << c.minimum;
        EXPECT_EQ(places.display, c.wantDisplay) << c.frame.y() << " " << c.minimum;
        EXPECT_TRUE(area.contains(places.display));
    }
}
