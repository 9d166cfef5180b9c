#pragma once

#include <QList>
#include <QString>

#include "config/preset.h"
#include "engine/streamserver.h"

// Everything a recording needs, copied when it starts: the station and its
// options as the preset holds them, the servers when they are already known
// (empty: the preset's playlist is resolved first), and where the start came
// from. While the recording runs only the recorder's commands change it.
struct RecordingRequest
{
    Preset preset;
    QList<StreamServer> servers;
    // Started from the setup window: a failed start never ends the program.
    bool fromSetupWindow = false;
    // The setup window's Preview: starts paused with listening on.
    bool preview = false;
    // The external player that listening hands the stream to; "" for the embedded player.
    QString externalPlayer;
};
