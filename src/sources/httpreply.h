#pragma once

#include <QByteArray>

#include <optional>

namespace sources
{

// Web servers send a reply in as many TCP segments as they like; readers of
// playlists and web pages handle it only once it is complete. Given all bytes
// received so far on a connection (status line first) and whether the peer has
// closed it, returns the whole reply when it is complete:
//   - the body announced by Content-Length has arrived (extra bytes are cut), or
//   - the last chunk of a chunked body has arrived (chunks decoded, trailers
//     dropped; the header lines are kept as received), or
//   - the peer closed the connection (whatever arrived, decoded as far as it goes).
// Returns nullopt while more is expected. Header names are matched in any
// letter case; a malformed chunk size ends the body there.
std::optional<QByteArray> completeHttpReply(const QByteArray &received, bool peerClosed);

} // namespace sources
