#include "ui/confirmquitdialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/recorder.h"

namespace
{

constexpr qint64 kTimeoutMs = 5000;
constexpr int kPollMs = 100;

} // namespace

ConfirmQuitDialog::ConfirmQuitDialog(Recorder *recorder, platform::Clock &clock, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint)
    , m_recorder(recorder)
    , m_clock(clock)
    , m_openMs(clock.monotonicMs())
{
    setWindowTitle(tr("Are You Sure You Want To Quit?"));
    setObjectName(QStringLiteral("ConfirmQuitDialog"));
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setStyleHint(QFont::SansSerif);
    setFont(verdana);

    auto *label = new QLabel(tr("We are recording! Are you sure you wish to quit?"), this);
    label->setWordWrap(true);
    auto *yes = new QPushButton(tr("&Yes"), this);
    auto *no = new QPushButton(tr("&No"), this);
    yes->setObjectName(QStringLiteral("yes"));
    no->setObjectName(QStringLiteral("no"));
    // No is the safe answer, so Enter keeps the recording.
    no->setDefault(true);
    connect(yes, &QPushButton::clicked, this, &ConfirmQuitDialog::answerYes);
    connect(no, &QPushButton::clicked, this, &ConfirmQuitDialog::answerNo);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    schedulePoll();
}

ConfirmQuitDialog::~ConfirmQuitDialog()
{
    stopPolling();
}

void ConfirmQuitDialog::checkTimeout()
{
    m_poll = 0;
    if (m_clock.monotonicMs() - m_openMs > kTimeoutMs) {
        answerNo();
        return;
    }
    schedulePoll();
}

void ConfirmQuitDialog::schedulePoll()
{
    m_poll = m_clock.callAfter(kPollMs, this, [this] { checkTimeout(); });
}

void ConfirmQuitDialog::stopPolling()
{
    if (m_poll)
        m_clock.cancelCall(m_poll);
    m_poll = 0;
}

void ConfirmQuitDialog::answerYes()
{
    if (m_answered)
        return;
    m_answered = true;
    stopPolling();
    // The program's exit closes and tags a recording that still runs; one that
    // ended by itself while we asked has nothing left to stop.
    if (m_recorder)
        m_recorder->exitFromMenu();
}

void ConfirmQuitDialog::answerNo()
{
    if (m_answered)
        return;
    m_answered = true;
    stopPolling();
    hide();
    Q_EMIT declined();
}

void ConfirmQuitDialog::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    if (text.compare(QStringLiteral("y"), Qt::CaseInsensitive) == 0)
        answerYes();
    else if (text.compare(QStringLiteral("n"), Qt::CaseInsensitive) == 0)
        answerNo();
    else if (event->key() == Qt::Key_Escape)
        answerNo();
    else
        QDialog::keyPressEvent(event);
}

void ConfirmQuitDialog::closeEvent(QCloseEvent *event)
{
    // Closing the window is a No.
    answerNo();
    event->accept();
}

QuitQuestion::QuitQuestion(platform::Clock &clock)
    : m_clock(clock)
{}

QuitQuestion::~QuitQuestion()
{
    delete m_shown.data();
}

ConfirmQuitDialog *QuitQuestion::ask(Recorder &recorder)
{
    if (!m_shown) {
        auto *dialog = new ConfirmQuitDialog(&recorder, m_clock);
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        m_shown = dialog;
        // An answered question is never shown again: the next close asks afresh.
        QObject::connect(dialog, &ConfirmQuitDialog::declined, dialog, [this, dialog] {
            if (m_shown == dialog)
                m_shown = nullptr;
            dialog->deleteLater();
        });
        // The exit routine ends the recorder last but one: the question goes with it.
        QObject::connect(&recorder, &QObject::destroyed, dialog, [dialog] { delete dialog; });
    }
    m_shown->show();
    m_shown->raise();
    m_shown->activateWindow();
    return m_shown;
}
