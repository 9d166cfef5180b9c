#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <memory>

#include "config/preset.h"
#include "platform/audiodevices.h"
#include "platform/clock.h"
#include "platform/frontend.h"

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

// How the program runs: with windows, or without (then a recording that can
// no longer write ends the program, as nothing else is left to do).
enum class RunMode
{
    Windows,
    Headless,
};

// What one run of the program holds: the draft record, the recorder and the
// windows that are loaded. Whoever runs the program creates it with the front
// end the recorder reports to (which also ends the process), the clock, the
// network access manager and the sound devices, all of which outlive it.
// Windows of the layers above register an unload function while they are
// loaded, so that the exit unloads them in its fixed order without this class
// knowing theirs.
class ProgramContext final
{
public:
    ProgramContext(platform::FrontEnd &frontEnd, platform::Clock &clock, QNetworkAccessManager &network,
                   const platform::AudioDevices &audio, RunMode mode = RunMode::Windows);
    ~ProgramContext();
    ProgramContext(const ProgramContext &) = delete;
    ProgramContext &operator=(const ProgramContext &) = delete;

    // The setup window was opened from the tray: minimised, it goes back to the tray.
    bool setupOpenedFromTray = false;

    // The draft record that windows and preset files fill.
    Preset &configuration() { return m_draft; }

    // The program's one network access manager (playlists, station pages, the
    // station directory).
    QNetworkAccessManager &network() const { return m_network; }
    platform::Clock &clock() const { return m_clock; }
    const platform::AudioDevices &audio() const { return m_audio; }

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
    // Unloads every loaded window without ending the process; the windows and
    // then the recorder go at once, so never from inside their handlers.
    void unloadAll();

    // The one way out of the program: a running recording is stopped (its file
    // closed and tagged), every window is unloaded in order and the process
    // ends with the status. Later calls during the same exit do nothing.
    void exit(int status);

private:
    platform::FrontEnd &m_frontEnd;
    platform::Clock &m_clock;
    QNetworkAccessManager &m_network;
    const platform::AudioDevices m_audio;
    const RunMode m_mode;
    Preset m_draft;
    std::unique_ptr<Recorder> m_recorder;
    std::array<std::function<void()>, kProgramWindowCount> m_unloaders;
    bool m_exiting = false;
};
