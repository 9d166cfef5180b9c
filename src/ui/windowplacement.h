#pragma once

#include <QRect>

class QWidget;

// Puts a window where it was (wanted, in frame coordinates; an empty size:
// never stored), on the screen that holds that place, or centred on the main
// screen when that screen is gone. It is never larger than the screen, so
// every control can be reached.
void placeOnScreen(QWidget &window, QRect wanted);
