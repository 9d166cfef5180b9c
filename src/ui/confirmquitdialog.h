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
    ConfirmQuitDialog(Recorder *recorder, platform::Clock &clock, QWidget *parent = nullptr);
    ~ConfirmQuitDialog() override;

    void answerYes();
    void answerNo();
    // The poll: closes the dialog once more than 5000 ms passed since it opened.
    // Public for tests.
    void checkTimeout();

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
    platform::Clock &m_clock;
    qint64 m_openMs = 0;
    platform::Clock::CallId m_poll = 0;
    bool m_answered = false;
};

// The program's one quit question (the display's Exit and closing the setup
// window share it): created when asked, shown without a nested event loop,
// and gone with the recorder it asks about. While it is open, asking again
// brings it forward; an answered question is never shown again.
class QuitQuestion final
{
public:
    explicit QuitQuestion(platform::Clock &clock);
    ~QuitQuestion();
    QuitQuestion(const QuitQuestion &) = delete;
    QuitQuestion &operator=(const QuitQuestion &) = delete;

    ConfirmQuitDialog *ask(Recorder &recorder);

private:
    platform::Clock &m_clock;
    QPointer<ConfirmQuitDialog> m_shown;
};
