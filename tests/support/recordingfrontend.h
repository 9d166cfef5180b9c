#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QStringList>

#include "app/programwindows.h"
#include "platform/frontend.h"

// A front end that records what the program asked of the user interface.
// exitProcess() records the status and returns.
// The recorder asks for the exit through a queued signal: exited() lets such
// calls that are already posted arrive before it answers.
class RecordingFrontEnd final : public platform::FrontEnd, public ProgramWindows
{
public:
    void showMessage(const QString &text) override { messages.append(text); }
    void showSetupWindow(bool fill) override
    {
        ++setupShown;
        setupFilled = fill;
    }
    void showRecordingDisplay() override { ++displayShown; }
    void toggleRecordingDisplay() override { ++displayToggled; }
    void captionChanged(const QString &caption) override { captions.append(caption); }
    void trayChanged(const platform::TrayState &state) override
    {
        tray = state;
        ++trayChanges;
        if (tips.isEmpty() || tips.last() != state.tip)
            tips.append(state.tip);
    }
    void exitProcess(int status) override
    {
        m_exited = true;
        m_exitStatus = status;
    }
    bool exited() const
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        return m_exited;
    }
    int exitStatus() const { return exited() ? m_exitStatus : -1; }
    void clearExit() { m_exited = false; }
    bool showsWindows() const override { return windows; }

    QStringList messages;
    QStringList captions;
    platform::TrayState tray;
    QStringList tips; // every tip shown, in order (a tip repeated at once counted once)
    int trayChanges = 0;
    int setupShown = 0;
    bool setupFilled = false;
    int displayShown = 0;
    int displayToggled = 0;
    bool windows = true; // false: acts as the headless front end

private:
    bool m_exited = false;
    int m_exitStatus = -1;
};
