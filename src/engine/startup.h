#pragma once

#include <QString>
#include <QtGlobal>

// Process exit statuses.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitStartFailed = 1;     // a command-line start failed
inline constexpr int kExitWriteFailed = 1;     // a recording could not write its file
inline constexpr int kExitRecordingFailed = 1; // nothing could be recorded, or the recording ended on a failure

// The program entry: runs the start-up rules on the whole argument text.
// Returns once the program is set up and waits for events, or after the exit
// routine when the front end's exitProcess returns (tests).
void startProgram(const QString &commandLine);

// The exit routine: unloads every window in order, removes the tray icon and
// ends the process with exitStatus.
void exitProgram(int exitStatus = kExitNormal);

// The "Advanced" value of Kestrane.ini: read (empty or not a number gives 0) and
// written straight back, so that the key exists after every start.
qint32 readAndKeepAdvancedValue();
