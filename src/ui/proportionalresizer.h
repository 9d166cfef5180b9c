#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>

class QWidget;

// Makes every child of a window grow and shrink with it. The children's
// geometry and font size are noted once (at the first resize, or on refresh());
// every later resize scales those noted values by the window's width and height
// ratios, fonts by the smaller ratio. Working from the noted values keeps
// repeated resizing free of rounding drift.
class ProportionalResizer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProportionalResizer)

public:
    // Watches window's resizes; the resizer belongs to the window.
    explicit ProportionalResizer(QWidget *window);
    ~ProportionalResizer() override;

    // While set, resizes leave every child where it is.
    void setSuspended(bool suspended) { m_suspended = suspended; }
    bool isSuspended() const { return m_suspended; }
    // Notes the current layout as the new base (children added since take part from now on).
    void refresh();
    // Later vertical scaling is measured against this base height.
    void setBaseHeight(int height) { m_baseHeight = height; }
    bool hasNoted() const { return m_baseWidth > 0; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Noted
    {
        QPointer<QWidget> widget;
        QRectF geometry;
        qreal fontSize = -1; // points, or pixels when the font was set in pixels
        bool pixelFont = false;
    };
    void scale();

    QWidget *m_window;
    bool m_suspended = false;
    qreal m_baseWidth = 0;
    qreal m_baseHeight = 0;
    QList<Noted> m_noted;
};
