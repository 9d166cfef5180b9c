#include <QLabel>

#include <gtest/gtest.h>

#include "ui/proportionalresizer.h"

namespace
{

struct Window
{
    Window()
        : label(new QLabel(QStringLiteral("text"), &window))
        , other(new QWidget(&window))
        , resizer(new ProportionalResizer(&window))
    {
        window.resize(200, 100);
        label->setGeometry(10, 20, 50, 30);
        QFont font = label->font();
        font.setPointSizeF(10);
        label->setFont(font);
        other->setGeometry(100, 60, 80, 20);
        window.show();
    }
    QWidget window;
    QLabel *label;
    QWidget *other;
    ProportionalResizer *resizer;
};

} // namespace

TEST(ProportionalResizer, FirstSizeIsNotedThenChildrenScaleFromIt)
{
    Window w;
    // Showing delivered the first size: it became the base and nothing moved.
    EXPECT_TRUE(w.resizer->hasNoted());
    EXPECT_EQ(w.label->geometry(), QRect(10, 20, 50, 30));

    w.window.resize(400, 100);
    EXPECT_EQ(w.label->geometry(), QRect(20, 20, 100, 30));
    EXPECT_EQ(w.other->geometry(), QRect(200, 60, 160, 20));
    EXPECT_DOUBLE_EQ(w.label->font().pointSizeF(), 10); // the smaller ratio is 1

    w.window.resize(300, 50);
    EXPECT_EQ(w.label->geometry(), QRect(15, 10, 75, 15));
    EXPECT_DOUBLE_EQ(w.label->font().pointSizeF(), 5);

    // Back to the base size: exactly the noted layout, with no drift.
    for (int width : {333, 217, 401, 199})
        w.window.resize(width, 77);
    w.window.resize(200, 100);
    EXPECT_EQ(w.label->geometry(), QRect(10, 20, 50, 30));
    EXPECT_DOUBLE_EQ(w.label->font().pointSizeF(), 10);
}

TEST(ProportionalResizer, SuspendedOrLateChildrenStayPut)
{
    Window w;
    w.resizer->setSuspended(true);
    w.window.resize(400, 200);
    EXPECT_EQ(w.label->geometry(), QRect(10, 20, 50, 30));
    w.resizer->setSuspended(false);

    auto *late = new QWidget(&w.window);
    late->setGeometry(5, 5, 10, 10);
    w.window.resize(300, 150);
    EXPECT_EQ(late->geometry(), QRect(5, 5, 10, 10));
    EXPECT_EQ(w.label->geometry(), QRect(15, 30, 75, 45));

    // After a refresh the current layout is the base, the late child included.
    w.resizer->refresh();
    w.window.resize(600, 300);
    EXPECT_EQ(late->geometry(), QRect(10, 10, 20, 20));
    EXPECT_EQ(w.label->geometry(), QRect(30, 60, 150, 90));
}
