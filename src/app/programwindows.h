#pragma once

// The windows the program opens by itself: at start, from the tray and when the
// recorder asks. The desktop shows them; without a display, asking for the
// setup window says that it cannot be shown.
class ProgramWindows
{
public:
    virtual ~ProgramWindows() = default;
    // With fillFromDraft the setup window is filled from the draft record first.
    virtual void showSetupWindow(bool fillFromDraft) = 0;
    virtual void showRecordingDisplay() = 0;
    // The tray's display entry; where windows cannot be hidden it shows the display.
    virtual void toggleRecordingDisplay() { showRecordingDisplay(); }
};
