#pragma once

#include <QWidget>

// Two seven-segment digits with a minus sign in front. The value shows as two
// digits (a negative one as 0, a larger one by its last two digits); the idle
// face lights no segment at all.
class SegmentDisplay final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SegmentDisplay)

public:
    explicit SegmentDisplay(QWidget *parent = nullptr);
    ~SegmentDisplay() override;

    // Leaves the idle face.
    void setValue(qint32 value);
    qint32 value() const { return m_value; }
    void setMinus(bool lit);
    bool isMinusLit() const { return m_minus; }
    // The stopped state's face: nothing lit until the next value.
    void setIdle();
    bool isIdle() const { return m_idle; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    qint32 m_value = 0;
    bool m_minus = false;
    bool m_idle = true;
};
