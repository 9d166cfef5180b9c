#pragma once

#include <QString>

namespace platform
{

// One entry of the tray menu as the engine wants it offered: whether it can be
// chosen, and for the entries that switch something whether it is switched on
// (the display shown, listening on, the recording paused, a recording running
// that the exit entry stops first). The words are the front end's.
struct TrayMenuEntry
{
    bool enabled = false;
    bool on = false;
};

// What the tray icon shows: no recording, recording, paused, or a recording
// that is trying to reach its station again.
enum class TrayLook
{
    Idle,
    Recording,
    Paused,
    Error,
};

// The tray icon's look and tip and the states of its menu's entries. The engine
// owns this state; a front end only shows it.
struct TrayState
{
    QString tip;
    TrayMenuEntry setup{true};
    TrayMenuEntry toggleDisplay;
    TrayMenuEntry listen;
    TrayMenuEntry startRecording;
    TrayMenuEntry stopRecording;
    TrayMenuEntry pauseRecording;
    TrayMenuEntry exit{true};
    // No recording has started yet in this run (the exit entry's first wording).
    bool beforeFirstRecording = true;
    TrayLook look = TrayLook::Idle;
};

// The tray menu's entries, as commands for whoever runs the program.
enum class TrayCommand
{
    Setup,
    ToggleDisplay,
    Listen,
    StartRecording,
    StopRecording,
    PauseRecording,
    Exit,
    // The icon was double-clicked: the display entry while recording, else the setup entry.
    DoubleClick,
};

// What the engine and the configuration code ask of the user interface: messages,
// the status caption, the tray and the end of the process. The desktop front end
// shows message boxes and the tray icon; the headless one writes to the
// terminal; tests record the calls. Core code never includes a widget header.
class FrontEnd
{
public:
    virtual ~FrontEnd() = default;

    // A message with an OK button only, titled with the program's name. It
    // returns at once: nothing waits for the user to close it.
    virtual void showMessage(const QString &text) = 0;
    // The engine's status caption changed.
    virtual void captionChanged(const QString &caption) = 0;
    // The tray tip or menu changed.
    virtual void trayChanged(const TrayState &state) = 0;
    // Ends the process at once with the given status; no further handler runs.
    // A front end used by tests may return instead, so callers return right after.
    virtual void exitProcess(int status) = 0;
    // False for a front end without windows: nobody can pick another station
    // after a failed start, so such a run ends.
    virtual bool showsWindows() const { return true; }
};

} // namespace platform
