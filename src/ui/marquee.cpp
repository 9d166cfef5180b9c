#include "ui/marquee.h"

#include <utility>

namespace
{

const QString kSeparator = QStringLiteral(" --- ");

} // namespace

Marquee::Marquee(Measure measure)
    : m_measure(std::move(measure))
{}

void Marquee::showStill(const QString &text)
{
    m_labelText = text;
    m_left = 0;
    m_scrolling = false;
}

void Marquee::step(const QString &title, int boxWidth, bool frozen)
{
    if (widthOf(title) > boxWidth) {
        scroll(title, boxWidth + m_overhang, frozen);
        return;
    }
    showStill(title);
}

QChar Marquee::takeNext()
{
    const QChar next = m_source.at(m_position);
    if (++m_position >= m_source.size())
        m_position = 0;
    return next;
}

void Marquee::scroll(const QString &title, int labelWidth, bool frozen)
{
    m_scrolling = true;
    // A new title starts again at its first character; the label stays where it is.
    if (m_source != title + kSeparator) {
        m_position = 0;
        m_source = title + kSeparator;
        m_visible.clear();
    }
    if (m_visible.isEmpty()) {
        while (widthOf(m_visible) < labelWidth)
            m_visible += takeNext();
    }
    if (!frozen) {
        if (!m_visible.isEmpty()) {
            const int firstWidth = widthOf(m_visible.left(1));
            if (-m_left >= firstWidth) {
                m_left += firstWidth;
                m_visible.remove(0, 1);
            }
        }
        // One character a step keeps up with the scroll; after the box grew
        // (docked under a wider window) more are needed at once.
        while (widthOf(m_visible) + widthOf(QString(m_source.at(m_position))) < labelWidth)
            m_visible += takeNext();
        --m_left;
        ++m_moved;
    }
    if (m_labelText != m_visible)
        m_labelText = m_visible;
}
