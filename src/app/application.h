#pragma once

#include <QObject>
#include <QString>

#include "platform/frontend.h"

class ProgramContext;
class ProgramWindows;

// One run of the program, put together: the context (draft record, recorder,
// loaded windows), the front end and the windows it opens. It runs the start-up
// rules and the tray's commands; every way out ends in the context's exit.
class Application final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Application)

public:
    Application(ProgramContext &context, platform::FrontEnd &frontEnd, ProgramWindows &windows,
                QObject *parent = nullptr);

    // The start-up rules on the whole argument text: the association commands,
    // the setup window for an empty text, else the file it names.
    void start(const QString &commandLine);
    // What the tray menu's entries (and SIGINT/SIGTERM, as Exit) do.
    void runTrayCommand(platform::TrayCommand command);

private:
    ProgramContext &m_context;
    platform::FrontEnd &m_frontEnd;
    ProgramWindows &m_windows;
};

// Runs Vorlane: reads the arguments, chooses the front end (headless with
// --headless, without a desktop build, or when no display answers), starts the
// program and runs the event loop. Returns the process exit status.
int runVorlane(int &argc, char **argv);
