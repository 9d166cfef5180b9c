#include "engine/startup.h"

#include "config/associations.h"
#include "config/inivalues.h"
#include "engine/programcontext.h"
#include "engine/recorder.h"
#include "platform/frontend.h"

void startProgram(const QString &commandLine)
{
    ProgramContext &context = program();
    context.setupShowMode = 0;
    context.commandLine = commandLine;

    // The association commands match the whole text, case-sensitively.
    const bool install = commandLine == QStringLiteral("-installassc");
    if (install || commandLine == QStringLiteral("-uninstallassc")) {
        const QString failure = install ? installAssociations() : removeAssociations();
        if (!failure.isEmpty())
            platform::frontEnd().showMessage(failure);
        exitProgram(failure.isEmpty() ? kExitNormal : kExitStartFailed);
        return;
    }

    context.advancedValue = readAndKeepAdvancedValue();

    if (commandLine.isEmpty())
        platform::frontEnd().showSetupWindow(false);

    context.loadRecorder();
}

qint32 readAndKeepAdvancedValue()
{
    const QString section = QStringLiteral("Advanced");
    const QString text = readIniValue(section, section, kestraneIniPath()).trimmed();
    bool ok = false;
    qint32 value = text.toInt(&ok);
    if (!ok)
        value = 0;
    writeIniValue(section, section, QString::number(value), kestraneIniPath());
    return value;
}

void exitProgram(int exitStatus)
{
    ProgramContext &context = program();
    for (const ProgramWindow window :
         {ProgramWindow::AddStation, ProgramWindow::DirectorySearch, ProgramWindow::LocalSearch,
          ProgramWindow::Recorder, ProgramWindow::Setup, ProgramWindow::RecordingDisplay, ProgramWindow::Confirmation})
        context.unloadWindow(window);
    // Unloading the main window removed the tray icon.
    platform::frontEnd().exitProcess(exitStatus);
}
