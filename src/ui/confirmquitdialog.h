#pragma once

#include <QDialog>
#include <QPointer>

#include "platform/clock.h"

class QPushButton;
class Recorder;

// Asks whether to quit while a recording runs. It answers No by itself five
// seconds after it opened, so a stray click on Exit never ends an unattended
// recording. Yes stops a recording still running and ends the program.
class ConfirmQuitDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConfirmQuitDialog)

public:
    explicit ConfirmQuitDialog(Recorder *recorder, QWidget *parent = nullptr);
    ~ConfirmQuitDialog() override;

    void answerYes();
    void answerNo();
    // The poll: closes the dialog once more than 5000 ms passed since it opened,
    // across a wrap of the tick counter. Public for tests.
    void checkTimeout();
    qint32 openTick() const { return m_openTick; }

    // True when more than 5000 ms lie between the two tick counts, the counter
    // having possibly passed 2^31 in between.
    static bool timedOut(qint32 openTick, qint32 now);

Q_SIGNALS:
    // The dialog closed without quitting (No or the time-out).
    void declined();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void schedulePoll();
    void stopPolling();

    QPointer<Recorder> m_recorder;
    qint32 m_openTick = 0;
    platform::Clock::CallId m_poll = 0;
    bool m_answered = false;
};

// The program's one quit question (the display's Exit and closing the setup
// window share it): created on first use, shown without a nested event loop,
// and unloaded by the exit routine. A No lets it go again.
ConfirmQuitDialog *askToQuit(Recorder *recorder);
