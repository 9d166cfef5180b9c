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

// The status line of an HTTP reply ("HTTP/1.0 403 Forbidden"): its code and
// reason. Nothing when the text does not begin with "HTTP/1." and a
// three-digit code (an ICY reply, stream data).
struct HttpStatus
{
    int code = 0;
    QByteArray reason;
};
std::optional<HttpStatus> httpStatus(const QByteArray &reply);

// The value of the first header line of that name (any letter case), blanks
// removed at both ends; nothing when the header part has no such line.
std::optional<QByteArray> headerValue(const QByteArray &reply, const QByteArray &name);

// The redirect codes followed for playlists and streams.
bool isRedirectStatus(int code);

} // namespace sources
