#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>

#include "platform/frontend.h"

class Preset;
class QNetworkAccessManager;
class Recorder;

// The program's windows, in the order the exit routine unloads them.
enum class ProgramWindow
{
    AddStation,
    DirectorySearch,
    LocalSearch,
    Recorder,
    Setup,
    RecordingDisplay,
    Confirmation,
};
inline constexpr int kProgramWindowCount = 7;

// Program-wide state and the singletons every part reaches: the command line, the
// start-up values, the configuration record and the windows. One instance lives
// for the whole run (program()); tests start afresh with resetProgram().
//
// The recorder belongs to the engine and is held here. Windows of the
// layers above (setup window, recording display, search and confirmation windows)
// register an unload function while they are loaded, so that the exit routine can
// unload them in its fixed order without the engine knowing their classes.
class ProgramContext final
{
public:
    ProgramContext();
    ~ProgramContext();
    ProgramContext(const ProgramContext &) = delete;
    ProgramContext &operator=(const ProgramContext &) = delete;

    // The whole argument text; emptied once the recorder has handled it.
    QString commandLine;
    // The "Advanced" value read at start (0 when empty); nothing else uses it.
    qint32 advancedValue = 0;
    // How the setup window behaves when minimised; 0 at start, 1 after the tray's setup entry.
    qint32 setupShowMode = 0;

    // The program runs without windows: a recording that cannot write ends it.
    bool headless = false;

    // The one configuration record, created on first use.
    Preset &configuration();

    // The program's one network access manager (playlists, station pages, the
    // station directory), created on first use.
    QNetworkAccessManager &network();

    // The recorder, or nullptr while it is not loaded.
    Recorder *recorder() const { return m_recorder.get(); }
    // Creates the recorder (running its start-up with the command line, which is
    // then used up) unless it exists, and lets the front end show what it reports.
    Recorder *loadRecorder();
    // What the tray menu's entries do.
    void runTrayCommand(platform::TrayCommand command);

    // Registers (or, with an empty function, clears) how a loaded window of a higher
    // layer is unloaded. The recorder is handled here and needs none.
    void setWindowUnloader(ProgramWindow window, std::function<void()> unload);
    bool isWindowLoaded(ProgramWindow window) const;
    // Unloads one window if it is loaded; creates none.
    void unloadWindow(ProgramWindow window);

private:
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<Recorder> m_recorder;
    std::array<std::function<void()>, kProgramWindowCount> m_unloaders;
};

ProgramContext &program();
// Unloads every window and forgets all program-wide state and the configuration
// record, so that the next use starts as a fresh run. For tests.
void resetProgram();
