#include "sources/httpreply.h"

#include <QList>
#include <QStringBuilder>

namespace sources
{

std::optional<HttpStatus> httpStatus(const QByteArray &reply)
{
    if (!reply.startsWith("HTTP/1.") || reply.size() < 12 || reply.at(8) != ' ')
        return std::nullopt;
    HttpStatus status;
    for (int i = 9; i < 12; ++i) {
        const char c = reply.at(i);
        if (c < '0' || c > '9')
            return std::nullopt;
        status.code = status.code * 10 + (c - '0');
    }
    qsizetype end = reply.indexOf('\n', 12);
    if (end < 0)
        end = reply.size();
    status.reason = reply.mid(12, end - 12).trimmed();
    return status;
}

std::optional<QByteArray> headerValue(const QByteArray &reply, const QByteArray &name)
{
    const QByteArray wanted = name.toLower() + ':';
    qsizetype from = reply.indexOf('\n');
    while (from >= 0 && from + 1 < reply.size()) {
        qsizetype end = reply.indexOf('\n', from + 1);
        if (end < 0)
            end = reply.size();
        const QByteArray line = reply.mid(from + 1, end - from - 1);
        if (line == "\r" || line.isEmpty())
            break; // the blank line: the body is nobody's header
        if (line.toLower().startsWith(wanted))
            return line.mid(wanted.size()).trimmed();
        from = end;
    }
    return std::nullopt;
}

bool isRedirectStatus(int code)
{
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

} // namespace sources
