#include "ui/titlebox.h"

#include <QCursor>
#include <QPainter>

TitleBox::TitleBox(QWidget *parent)
    : QWidget(parent)
{}

TitleBox::~TitleBox() = default;

void TitleBox::setContent(const QString &text, int left)
{
    if (text == m_text && left == m_left)
        return;
    m_text = text;
    m_left = left;
    update();
}

bool TitleBox::pointerInside() const
{
    if (!isVisible())
        return false;
    const QPoint local = mapFromGlobal(QCursor::pos());
    return local.x() > 0 && local.x() < width() - 1 && local.y() > 0 && local.y() < height() - 1;
}

void TitleBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setClipRect(rect());
    painter.setPen(QColor(255, 210, 200));
    painter.setFont(font());
    painter.drawText(QRectF(m_left, 0, width() - m_left + 1000, height()),
                     Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, m_text);
}
