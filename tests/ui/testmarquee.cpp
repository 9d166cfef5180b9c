#include <gtest/gtest.h>

#include "ui/marquee.h"

namespace
{

// Every character 4 pixels wide: widths are easy to reason about.
int fourEach(const QString &text)
{
    return 4 * int(text.size());
}

// Runs steps until the text has moved by the given pixels.
void run(Marquee &marquee, const QString &title, int width, int steps, bool frozen = false)
{
    for (int i = 0; i < steps; ++i)
        marquee.step(title, width, frozen);
}

} // namespace

TEST(Marquee, ATitleExactlyAsWideStandsStillOnePixelMoreScrolls)
{
    Marquee marquee(fourEach);
    const QString title = QStringLiteral("abcdefghij"); // 40 pixels
    run(marquee, title, 40, 3);
    EXPECT_FALSE(marquee.isScrolling());
    EXPECT_EQ(marquee.text(), title);
    EXPECT_EQ(marquee.left(), 0);

    run(marquee, title, 39, 1);
    EXPECT_TRUE(marquee.isScrolling());
    EXPECT_EQ(marquee.left(), -1);
    EXPECT_EQ(marquee.source(), title + QStringLiteral(" --- "));
}

TEST(Marquee, ScrollsOnePixelPerStepAndRepeatsWithTheSeparator)
{
    Marquee marquee(fourEach);
    const QString title = QStringLiteral("0123456789AB"); // 48 pixels in a 20-pixel label
    run(marquee, title, 20, 1);
    EXPECT_EQ(marquee.text(), QStringLiteral("01234"));
    EXPECT_EQ(marquee.left(), -1);
    run(marquee, title, 20, 3);
    EXPECT_EQ(marquee.left(), -4);
    // The first character has gone out of sight: it is dropped and the label moves back.
    run(marquee, title, 20, 1);
    EXPECT_EQ(marquee.text().left(1), QStringLiteral("1"));
    EXPECT_EQ(marquee.left(), -1);

    // Each character leads for four steps; over one round the leading
    // characters spell the title and the separator, and then it repeats.
    QString leaders;
    while (leaders.size() < 34) {
        const int before = marquee.left();
        marquee.step(title, 20, false);
        if (marquee.left() > before)
            leaders += marquee.text().at(0);
    }
    EXPECT_EQ(leaders, QStringLiteral("23456789AB --- 0123456789AB --- 01"));
}

TEST(Marquee, FrozenStandsStillAndResumesFromTheSamePlace)
{
    Marquee marquee(fourEach);
    const QString title = QStringLiteral("a long title that scrolls");
    run(marquee, title, 40, 7);
    const QString text = marquee.text();
    const int left = marquee.left();
    run(marquee, title, 40, 25, true);
    EXPECT_EQ(marquee.text(), text);
    EXPECT_EQ(marquee.left(), left);
    run(marquee, title, 40, 1);
    EXPECT_EQ(marquee.left(), left - 1);
}

TEST(Marquee, ANewTitleRestartsAtItsFirstCharacterWherever)
{
    Marquee marquee(fourEach);
    run(marquee, QStringLiteral("first title, long enough"), 40, 30);
    const int left = marquee.left();
    marquee.step(QStringLiteral("SECOND TITLE, ALSO LONG"), 40, false);
    EXPECT_EQ(marquee.source(), QStringLiteral("SECOND TITLE, ALSO LONG --- "));
    EXPECT_TRUE(marquee.text().startsWith(QStringLiteral("SECOND")));
    // The label's position is not reset, only stepped (and maybe moved back by one character).
    EXPECT_TRUE(marquee.left() == left - 1 || marquee.left() == left + 4 - 1);

    // The stopped state shows its word still, and a title that fits is still too.
    marquee.showStill(QStringLiteral("STOPPED"));
    EXPECT_EQ(marquee.left(), 0);
    marquee.step(QStringLiteral("short"), 40, false);
    EXPECT_EQ(marquee.text(), QStringLiteral("short"));
    EXPECT_EQ(marquee.left(), 0);
}

TEST(Marquee, ABoxThatGrewIsFilledAtTheNextStep)
{
    Marquee marquee(fourEach);
    const QString title = QStringLiteral("a title far longer than either box");
    run(marquee, title, 20, 3);
    EXPECT_EQ(marquee.text().size(), 5);
    marquee.step(title, 60, false);
    // The text reaches as close to the right edge as it does in steady state:
    // within two characters (the display's overhang hides that much).
    EXPECT_EQ(marquee.text().size(), 14);
    EXPECT_GE(marquee.left() + 4 * int(marquee.text().size()), 60 - 2 * 4);
}
