#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "ui/slider.h"

namespace
{

// The display's volume slider: vertical, -101 at the top to -1 at the bottom.
struct VolumeSlider
{
    VolumeSlider()
    {
        slider.setOrientation(Qt::Vertical);
        slider.setMinimum(-101);
        slider.setMaximum(-1);
        slider.setValue(-1);
        slider.resize(24, 126);
    }
    Slider slider;
};

} // namespace

TEST(Slider, RangeAndValueStayConsistentWhateverIsSet)
{
    Slider slider;
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), 100);
    EXPECT_EQ(slider.value(), 50);
    EXPECT_EQ(slider.orientation(), Qt::Horizontal);

    QSignalSpy changes(&slider, &Slider::valueChanged);
    slider.setMaximum(-5);
    EXPECT_EQ(slider.maximum(), 1); // never below minimum + 1
    EXPECT_EQ(slider.value(), 1);   // pulled down without a change signal
    slider.setMinimum(10);
    EXPECT_EQ(slider.value(), 10);
    EXPECT_EQ(slider.maximum(), 11);
    EXPECT_EQ(changes.count(), 0);
}

TEST(Slider, SettingAValueClampsAndReportsOnlyRealChanges)
{
    VolumeSlider v;
    QSignalSpy changes(&v.slider, &Slider::valueChanged);
    v.slider.setValue(-1);
    EXPECT_EQ(changes.count(), 0);

    v.slider.setValue(-500);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.takeFirst().at(0).toInt(), -101);

    // A number that clamps back to the current value still reports it.
    v.slider.setValue(-102);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.takeFirst().at(0).toInt(), -101);
}

TEST(Slider, ArrowKeysStepAndEveryKeyIsReported)
{
    VolumeSlider v;
    v.slider.setValue(-101);
    QSignalSpy changes(&v.slider, &Slider::valueChanged);
    QSignalSpy keys(&v.slider, &Slider::keyPressed);

    // Up at the top end: -102 clamps back to -101 and is still a change.
    QTest::keyClick(&v.slider, Qt::Key_Up);
    EXPECT_EQ(keys.count(), 1);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(v.slider.value(), -101);

    QTest::keyClick(&v.slider, Qt::Key_Down);
    QTest::keyClick(&v.slider, Qt::Key_Right);
    EXPECT_EQ(v.slider.value(), -99);
    QTest::keyClick(&v.slider, Qt::Key_A);
    EXPECT_EQ(v.slider.value(), -99);
    EXPECT_EQ(keys.count(), 4);
}

TEST(Slider, PressesOnCapsTrackAndThumb)
{
    VolumeSlider v;
    QSignalSpy pressed(&v.slider, &Slider::pressed);
    QSignalSpy released(&v.slider, &Slider::released);
    const int x = v.slider.width() / 2;

    // The top cap is the minimum.
    QTest::mouseClick(&v.slider, Qt::LeftButton, {}, QPoint(x, 0));
    EXPECT_EQ(v.slider.value(), -101);
    // The bottom cap the maximum (the thumb is at the top now, out of the way).
    QTest::mouseClick(&v.slider, Qt::LeftButton, {}, QPoint(x, v.slider.height() - 1));
    EXPECT_EQ(v.slider.value(), -1);
    EXPECT_EQ(pressed.count(), 2);
    EXPECT_EQ(released.count(), 2);

    // On the track the value is taken by truncation: a press halfway down the
    // travel gives the middle of the range.
    v.slider.setValue(-101);
    const int travel = v.slider.travel();
    QTest::mouseClick(&v.slider, Qt::LeftButton, {}, QPoint(x, travel / 2 + 1));
    EXPECT_EQ(v.slider.value(), -101 + (travel / 2 + 1) * 100 / travel);

    // Dragging the thumb: its top edge follows the pointer, within the travel.
    v.slider.setValue(-101);
    QTest::mousePress(&v.slider, Qt::LeftButton, {}, QPoint(x, 2));
    QTest::mouseMove(&v.slider, QPoint(x, travel));
    EXPECT_EQ(v.slider.value(), -1);
    QTest::mouseMove(&v.slider, QPoint(x, -40));
    EXPECT_EQ(v.slider.value(), -101);
    QTest::mouseRelease(&v.slider, Qt::LeftButton, {}, QPoint(x, -40));
    EXPECT_EQ(v.slider.thumbPosition(), 0);
}
