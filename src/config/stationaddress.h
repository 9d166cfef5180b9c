#pragma once

#include <QByteArray>

// What a station address names, judged from its text alone. Station servers
// hang a query on their playlist addresses ("listen.pls?sid=1") and write the
// extension in either case, so only the path counts, in any letter case.
enum class PlaylistType
{
    None,
    Pls,
    M3u, // .m3u and .m3u8
};

// The playlist type from the address's path: what comes before the first "?"
// or "#", blanks at both ends removed.
PlaylistType playlistTypeOf(const QByteArray &address);

// An address that starts with "http://" or "https://" (any case).
bool isWebAddress(const QByteArray &address);

// A web address that names no playlist and no web page (.htm, .html): the
// stream itself.
bool isStreamAddress(const QByteArray &address);
