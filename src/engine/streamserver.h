#pragma once

#include <QByteArray>

// One stream server of the station, as the playlist named it.
struct StreamServer
{
    QByteArray host;
    QByteArray port;
    QByteArray path;
    QByteArray query;
    bool secure = false; // reached over TLS (https)
    bool hls = false;    // answers with an HLS playlist, which is followed instead of streamed
};
