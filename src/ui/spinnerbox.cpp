#include "ui/spinnerbox.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QTimer>

namespace
{

bool parseWhole(const QString &text, qint64 &number)
{
    bool ok = false;
    number = text.trimmed().toLongLong(&ok);
    return ok;
}

} // namespace

SpinnerBox::SpinnerBox(QWidget *parent)
    : QSpinBox(parent)
{
    // Typed text is applied when the box is left, not digit by digit.
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setAccelerated(true);
}

SpinnerBox::~SpinnerBox() = default;

void SpinnerBox::setValueIfInRange(int v)
{
    if (v < minimum() || v > maximum())
        return;
    setValue(v);
}

QValidator::State SpinnerBox::validate(QString &input, int &) const
{
    // Anything may be typed; the box decides when it is left.
    qint64 number = 0;
    if (parseWhole(input, number) && number >= minimum() && number <= maximum())
        return QValidator::Acceptable;
    return QValidator::Intermediate;
}

void SpinnerBox::fixup(QString &input) const
{
    qint64 number = 0;
    if (!parseWhole(input, number))
        return;
    input = QString::number(qBound(qint64(minimum()), number, qint64(maximum())));
}

void SpinnerBox::focusInEvent(QFocusEvent *event)
{
    QSpinBox::focusInEvent(event);
    // Selected after the click that gave the focus has placed the caret.
    QTimer::singleShot(0, this, [this] { selectAll(); });
}

void SpinnerBox::focusOutEvent(QFocusEvent *event)
{
    commitTypedText();
    QSpinBox::focusOutEvent(event);
}

void SpinnerBox::commitTypedText()
{
    const QString text = lineEdit()->text();
    qint64 number = 0;
    if (parseWhole(text, number)) {
        const int clamped = static_cast<int>(qBound(qint64(minimum()), number, qint64(maximum())));
        lineEdit()->setText(QString::number(clamped));
        setValue(clamped);
        return;
    }
    lineEdit()->setText(QString::number(value()));
    Q_EMIT rejectedText(tr("Please enter numeric values only."));
}
