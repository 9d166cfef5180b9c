#pragma once

#include <QByteArray>

#include <optional>

namespace sources
{

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

// The redirect codes followed for streams.
bool isRedirectStatus(int code);

} // namespace sources
