#pragma once

#include <QString>

// Whether a desktop front end can start: a Wayland or X display is named in the
// environment and answers. QT_QPA_PLATFORM, when set, decides which one is asked;
// the display-less platforms (offscreen, minimal) always count as reachable.
bool displayReachable();

// The X display's socket for a DISPLAY value such as ":0", "unix:1.0" or
// "host:10.0": host ("" for a local display) and display number; false for a
// value that names no X display.
bool parseXDisplay(const QString &display, QString *host, int *number);
