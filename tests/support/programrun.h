#pragma once

#include <QString>

#include <memory>

#include "app/application.h"
#include "app/programcontext.h"

// The start-up as the program runs it, on the given context; the application
// object stays with the test for the tray's commands.
inline std::unique_ptr<Application> startProgram(ProgramContext &context, const QString &commandLine,
                                                 platform::FrontEnd &frontEnd, ProgramWindows &windows)
{
    auto application = std::make_unique<Application>(context, frontEnd, windows);
    application->start(commandLine);
    return application;
}
