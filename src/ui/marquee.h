#pragma once

#include <QString>

#include <functional>

// The title line of the display: a title that fits stands still at the left;
// one that is too wide scrolls left one pixel per step, repeating endlessly
// with " --- " between repeats. Only the characters that can be seen are kept
// in the text; the label holding them moves left until its first character has
// gone out of sight, then drops it and moves back by its width.
//
// Widths come from the caller (the label's font metrics), so the rules can be
// tested with any measure.
class Marquee final
{
public:
    using Measure = std::function<int(const QString &)>;

    explicit Marquee(Measure measure);

    // One step with the title now shown and the width of the box it is seen
    // through. While frozen (the pointer rests on the title) a scrolling text
    // stands still.
    void step(const QString &title, int boxWidth, bool frozen);
    // How far the label reaches beyond the right edge of its box. The label
    // keeps fewer characters than fill it, so without an overhang of two of the
    // widest characters the box would show a gap at its right end.
    void setOverhang(int pixels) { m_overhang = pixels; }
    // The stopped state: a fixed text at the left, the scroll fields kept.
    void showStill(const QString &text);

    // The label's text and its left position (0 or less) in its box.
    const QString &text() const { return m_labelText; }
    int left() const { return m_left; }
    bool isScrolling() const { return m_scrolling; }
    // Pixels scrolled since the marquee was made.
    qint64 pixelsMoved() const { return m_moved; }
    // The text the marquee runs through: the title and " --- ".
    const QString &source() const { return m_source; }

private:
    int widthOf(const QString &text) const { return m_measure(text); }
    QChar takeNext();
    void scroll(const QString &title, int labelWidth, bool frozen);

    Measure m_measure;
    QString m_source;
    QString m_visible;  // the part of m_source now in the label
    int m_position = 0; // index in m_source of the next character to append
    int m_left = 0;
    int m_overhang = 0;
    qint64 m_moved = 0;
    QString m_labelText;
    bool m_scrolling = false;
};
