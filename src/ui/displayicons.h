#pragma once

#include <QIcon>

// The pictures of the display's buttons: the desktop theme's icon where it has
// one, else our own drawing, sharp at any size and scale.
enum class DisplayIcon
{
    Record,
    Stop,
    Pause,
    Listen,
    TimeMode,
    Quit,
};

QIcon displayIcon(DisplayIcon kind);
