#pragma once

#include <QStringList>

#include "platform/frontend.h"

// A front end that records what the program asked of the user interface.
// Installs itself for its lifetime; exitProcess() records the status and returns.
class RecordingFrontEnd final : public platform::FrontEnd
{
public:
    RecordingFrontEnd();
    ~RecordingFrontEnd() override;

    void showMessage(const QString &text) override { messages.append(text); }
    void showSetupWindow(bool fill) override
    {
        ++setupShown;
        setupFilled = fill;
    }
    void showRecordingDisplay() override { ++displayShown; }
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
        exited = true;
        exitStatus = status;
    }

    QStringList messages;
    QStringList captions;
    platform::TrayState tray;
    QStringList tips; // every tip shown, in order (a tip repeated at once counted once)
    int trayChanges = 0;
    int setupShown = 0;
    bool setupFilled = false;
    int displayShown = 0;
    bool exited = false;
    int exitStatus = -1;
};
