#pragma once

#include <QSpinBox>

// A whole-number box with up and down buttons for minutes and days. Qt's spin
// box gives the buttons, their auto-repeat and the arrow keys; this adds the
// rules users rely on when typing: a number beyond the range is pulled to the
// nearest bound when the box is left, and anything that is not a number is
// refused with a message and undone. A value set by the program outside the
// range is ignored rather than clamped.
class SpinnerBox final : public QSpinBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SpinnerBox)

public:
    explicit SpinnerBox(QWidget *parent = nullptr);
    ~SpinnerBox() override;

    // Takes v only when it lies within the range.
    void setValueIfInRange(int v);

    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;

Q_SIGNALS:
    // The typed text was not a number; the box shows its value again.
    void rejectedText(const QString &message);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    // Applies the typed text: clamps a number into the range, undoes anything else.
    void commitTypedText();
};
