#include "ui/confirmquitdialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/programcontext.h"
#include "engine/recorder.h"
#include "engine/startup.h"

namespace
{

constexpr qint64 kTimeoutMs = 5000;
constexpr int kPollMs = 100;

} // namespace

ConfirmQuitDialog::ConfirmQuitDialog(Recorder *recorder, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint)
    , m_recorder(recorder)
    , m_openTick(platform::clock().tickCount())
{
    setWindowTitle(QStringLiteral("Are You Sure You Want To Quit?"));
    setObjectName(QStringLiteral("ConfirmQuitDialog"));
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setStyleHint(QFont::SansSerif);
    setFont(verdana);

    auto *label = new QLabel(QStringLiteral("We are recording! Are you sure you wish to quit?"), this);
    label->setWordWrap(true);
    auto *yes = new QPushButton(QStringLiteral("&Yes"), this);
    auto *no = new QPushButton(QStringLiteral("&No"), this);
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

bool ConfirmQuitDialog::timedOut(qint32 openTick, qint32 now)
{
    // A negative count after a positive one has wrapped: it is 2^32 later.
    const qint64 current = now < 0 && openTick > 0 ? static_cast<qint64>(now) + 4294967296LL : now;
    return current - openTick > kTimeoutMs;
}

void ConfirmQuitDialog::checkTimeout()
{
    m_poll = 0;
    if (timedOut(m_openTick, platform::clock().tickCount())) {
        answerNo();
        return;
    }
    schedulePoll();
}

void ConfirmQuitDialog::schedulePoll()
{
    m_poll = platform::clock().callAfter(kPollMs, this, [this] { checkTimeout(); });
}

void ConfirmQuitDialog::stopPolling()
{
    if (m_poll)
        platform::clock().cancelCall(m_poll);
    m_poll = 0;
}

void ConfirmQuitDialog::answerYes()
{
    if (m_answered)
        return;
    m_answered = true;
    stopPolling();
    // The recording may have ended by itself while we asked: then there is nothing to stop.
    if (m_recorder && m_recorder->isRecording())
        m_recorder->stopRecording();
    exitProgram(kExitNormal);
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

ConfirmQuitDialog *askToQuit(Recorder *recorder)
{
    static QPointer<ConfirmQuitDialog> shown;
    if (!shown) {
        auto *dialog = new ConfirmQuitDialog(recorder);
        dialog->setAttribute(Qt::WA_DeleteOnClose, false);
        shown = dialog;
        // An answered question is never shown again: the next close asks afresh.
        QObject::connect(dialog, &ConfirmQuitDialog::declined, dialog, [dialog] {
            if (shown == dialog)
                shown = nullptr;
            dialog->deleteLater();
        });
        program().setWindowUnloader(ProgramWindow::Confirmation, [dialog = QPointer<ConfirmQuitDialog>(dialog)] {
            if (dialog) {
                dialog->hide();
                dialog->deleteLater();
            }
        });
        QObject::connect(dialog, &QObject::destroyed, [] {
            if (program().isWindowLoaded(ProgramWindow::Confirmation))
                program().setWindowUnloader(ProgramWindow::Confirmation, {});
        });
    }
    shown->show();
    shown->raise();
    shown->activateWindow();
    return shown;
}
