#include "config/stationaddress.h"

namespace
{

QByteArray lowerPath(const QByteArray &address)
{
    QByteArray path = address.trimmed();
    const qsizetype query = path.indexOf('?');
    const qsizetype fragment = path.indexOf('#');
    qsizetype end = path.size();
    if (query >= 0)
        end = query;
    if (fragment >= 0 && fragment < end)
        end = fragment;
    path.truncate(end);
    return path.toLower();
}

} // namespace

PlaylistType playlistTypeOf(const QByteArray &address)
{
    const QByteArray path = lowerPath(address);
    if (path.endsWith(".pls"))
        return PlaylistType::Pls;
    if (path.endsWith(".m3u") || path.endsWith(".m3u8"))
        return PlaylistType::M3u;
    return PlaylistType::None;
}

bool isWebAddress(const QByteArray &address)
{
    const QByteArray lower = address.trimmed().left(8).toLower();
    return lower.startsWith("http://") || lower.startsWith("https://");
}

bool isStreamAddress(const QByteArray &address)
{
    if (!isWebAddress(address) || playlistTypeOf(address) != PlaylistType::None)
        return false;
    // Web pages are read for the playlist they refresh to.
    return !lowerPath(address).contains(".htm");
}
