#pragma once

#include <QWidget>

// The clipping box of the display's title line: it draws a text at a left
// position (0 or less) and cuts it at its edges.
class TitleBox final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TitleBox)

public:
    explicit TitleBox(QWidget *parent = nullptr);
    ~TitleBox() override;

    void setContent(const QString &text, int left);
    const QString &text() const { return m_text; }
    int left() const { return m_left; }
    // True while the pointer lies strictly inside the box.
    bool pointerInside() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    int m_left = 0;
};
