#pragma once

#include <QWidget>

// A round indicator lamp with its caption beside it, in the display's two
// colours: bright red when on, dark red when off. A lamp with a caption only
// (no bulb) serves as a lit label; a clickable one reports clicks.
class Lamp final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Lamp)

public:
    explicit Lamp(const QString &caption, QWidget *parent = nullptr);
    ~Lamp() override;

    void setOn(bool on);
    bool isOn() const { return m_on; }
    void setCaption(const QString &caption);
    const QString &caption() const { return m_caption; }
    void setBulbVisible(bool visible);
    // A clickable lamp takes the press itself instead of leaving it to the window.
    void setClickable(bool clickable) { m_clickable = clickable; }

    static QColor onColour();
    static QColor offColour();

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString m_caption;
    bool m_on = false;
    bool m_bulb = true;
    bool m_clickable = false;
};
