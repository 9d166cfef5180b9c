#include "engine/startup.h"

#include "config/associations.h"
#include "config/mdlinifile.h"
#include "engine/frmmp3.h"
#include "engine/programcontext.h"
#include "platform/frontend.h"

void StartProgram(const QString &commandLine)
{
    ProgramContext &context = program();
    context.intSetupShowMode = 0;
    context.strCommandLine = commandLine;

    // The association commands match the whole text, case-sensitively.
    if (commandLine == QStringLiteral("-installassc")) {
        ExitProgram(InstallAssociations() ? kExitNormal : kExitStartFailed);
        return;
    }
    if (commandLine == QStringLiteral("-uninstallassc")) {
        ExitProgram(RemoveAssociations() ? kExitNormal : kExitStartFailed);
        return;
    }

    context.lngAdvanced = ReadAndKeepAdvancedValue();

    if (commandLine.isEmpty())
        platform::frontEnd().showSetupWindow(false);

    context.loadMainWindow();
}

qint32 ReadAndKeepAdvancedValue()
{
    const QString section = QStringLiteral("Advanced");
    const QString text = ReadINIValue(section, section, kestraneIniPath()).trimmed();
    bool ok = false;
    qint32 value = text.toInt(&ok);
    if (!ok)
        value = 0;
    WriteINIValue(section, section, QString::number(value), kestraneIniPath());
    return value;
}

void ExitProgram(int exitStatus)
{
    ProgramContext &context = program();
    for (const ProgramWindow window :
         {ProgramWindow::AddStation, ProgramWindow::DirectorySearch, ProgramWindow::LocalSearch, ProgramWindow::Main,
          ProgramWindow::Setup, ProgramWindow::RecordingDisplay, ProgramWindow::Confirmation})
        context.unloadWindow(window);
    // Unloading the main window removed the tray icon.
    platform::frontEnd().exitProcess(exitStatus);
}
