#pragma once

#include <QWidget>

#include <functional>

// A painted slider holding a whole number in a range: caps at both ends, a track
// between them and a thumb. It reports changes, presses, releases and keys to
// its host, which decides what they mean (the display turns them into the
// listening volume).
//
// The range always holds at least two values and the value always lies in it.
// Values grow from left to right, or from top to bottom when vertical.
class Slider final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Slider)

public:
    explicit Slider(QWidget *parent = nullptr);
    ~Slider() override;

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int value() const { return m_value; }
    Qt::Orientation orientation() const { return m_orientation; }

    // Raises the maximum when needed to keep two values; pulls the value up without a change signal.
    void setMinimum(int minimum);
    // Never below minimum + 1; pulls the value down without a change signal.
    void setMaximum(int maximum);
    // A number other than the current one is clamped into the range, stored and
    // reported by valueChanged, even when it clamps back to the current value.
    void setValue(int value);
    void setOrientation(Qt::Orientation orientation);
    // How a value reads in the tool tips (the display shows the volume it stands for).
    void setToolTipText(std::function<QString(int)> text);

    // Thumb travel in pixels along the orientation; thumb position runs 0..travel.
    int travel() const;
    int thumbPosition() const;
    QSize sizeHint() const override;

Q_SIGNALS:
    void valueChanged(int value);
    void pressed();
    void released();
    // Any key went down while the slider had the focus (after the arrow keys moved it).
    void keyPressed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;

private:
    enum class Part
    {
        StartCap,
        Track,
        Thumb,
        EndCap,
    };
    int length() const;
    int thickness() const;
    int thumbLength() const;
    int capLength() const;
    int along(const QPointF &point) const;
    Part partAt(int position) const;
    int trackValueAt(int position) const;
    QString tipFor(int value) const;

    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 50;
    Qt::Orientation m_orientation = Qt::Horizontal;
    bool m_dragging = false;
    int m_lastDragPosition = 0;
    int m_dragThumb = 0; // thumb position while dragging
    std::function<QString(int)> m_tipText;
};
