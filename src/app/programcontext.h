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

// The program's windows, in the order the exit unloads them.
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

// What one run of the program holds: the draft record, the recorder and the
// windows that are loaded. The application creates it with the front end the
// recorder reports to; windows of the layers above register an unload function
// while they are loaded, so that the exit unloads them in its fixed order
// without this class knowing theirs.
class ProgramContext final
{
public:
    ProgramContext();
    ~ProgramContext();
    ProgramContext(const ProgramContext &) = delete;
    ProgramContext &operator=(const ProgramContext &) = delete;

    // Where the recorder's messages, caption and tray go and what ends the
    // process; until it is set (tests), the installed front end.
    void setFrontEnd(platform::FrontEnd *frontEnd) { m_frontEnd = frontEnd; }

    // The program runs without windows: a recording that cannot write ends it.
    bool headless = false;
    // The setup window was opened from the tray: minimised, it goes back to the tray.
    bool setupOpenedFromTray = false;

    // The draft record that windows and preset files fill.
    Preset &configuration();

    // The program's one network access manager (playlists, station pages, the
    // station directory), created on first use.
    QNetworkAccessManager &network();

    // The recorder, or nullptr while it is not loaded.
    Recorder *recorder() const { return m_recorder.get(); }
    // Creates the recorder unless it exists and connects what it reports to
    // the front end; its start-up has not run yet.
    Recorder &createRecorder();
    // Creates the recorder unless it exists and runs its start-up with the
    // command line (the file it names, if any).
    Recorder *loadRecorder(const QString &commandLine = QString());

    // Registers (or, with an empty function, clears) how a loaded window of a higher
    // layer is unloaded. The recorder is handled here and needs none.
    void setWindowUnloader(ProgramWindow window, std::function<void()> unload);
    bool isWindowLoaded(ProgramWindow window) const;
    // Unloads one window if it is loaded; creates none.
    void unloadWindow(ProgramWindow window);

    // The one way out of the program: a running recording is stopped (its file
    // closed and tagged), every window is unloaded in order and the process
    // ends with the status. Later calls during the same exit do nothing.
    void exit(int status);

private:
    platform::FrontEnd &userInterface() const;

    platform::FrontEnd *m_frontEnd = nullptr;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<Recorder> m_recorder;
    std::array<std::function<void()>, kProgramWindowCount> m_unloaders;
    bool m_exiting = false;
};

// The context of the running program. The application installs its own; until
// then (tests) one is created on first use.
ProgramContext &program();
void installProgram(ProgramContext *context);
// Unloads every window and forgets all program-wide state and the draft record,
// so that the next use starts as a fresh run. For tests.
void resetProgram();
