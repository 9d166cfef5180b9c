#include "sources/httpreply.h"

#include <QList>
#include <QStringBuilder>

namespace sources
{

namespace
{

struct Chunks
{
    QByteArray body;
    bool complete = false;
};

// Position just after the next line end (CR LF or a bare LF) at or after from,
// with the line's text; -1 when no line end has arrived yet.
qsizetype nextLine(const QByteArray &text, qsizetype from, QByteArray *line)
{
    const qsizetype lf = text.indexOf('\n', from);
    if (lf < 0)
        return -1;
    qsizetype end = lf;
    if (end > from && text.at(end - 1) == '\r')
        --end;
    *line = text.mid(from, end - from);
    return lf + 1;
}

Chunks decodeChunks(const QByteArray &raw)
{
    Chunks out;
    qsizetype pos = 0;
    for (;;) {
        QByteArray sizeLine;
        const qsizetype dataStart = nextLine(raw, pos, &sizeLine);
        if (dataStart < 0)
            return out;
        const qsizetype extension = sizeLine.indexOf(';');
        if (extension >= 0)
            sizeLine.truncate(extension);
        bool ok = false;
        const qlonglong size = sizeLine.trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0) {
            out.complete = true; // nothing sensible follows a broken size line
            return out;
        }
        if (size == 0) {
            out.complete = true;
            return out;
        }
        if (raw.size() - dataStart < size)
            return out;
        out.body += raw.mid(dataStart, size);
        pos = dataStart + size;
        // The line end after the data; wait for it before reading the next size.
        QByteArray rest;
        const qsizetype next = nextLine(raw, pos, &rest);
        if (next < 0)
            return out;
        pos = next;
    }
}

} // namespace

std::optional<QByteArray> completeHttpReply(const QByteArray &received, bool peerClosed)
{
    qsizetype headerEnd = received.indexOf("\r\n\r\n");
    qsizetype bodyStart = headerEnd < 0 ? -1 : headerEnd + 4;
    const qsizetype bareEnd = received.indexOf("\n\n");
    if (bareEnd >= 0 && (headerEnd < 0 || bareEnd < headerEnd)) {
        headerEnd = bareEnd;
        bodyStart = bareEnd + 2;
    }
    if (headerEnd < 0) {
        if (peerClosed)
            return received;
        return std::nullopt;
    }

    const QByteArray head = received.left(bodyStart);
    const QByteArray body = received.mid(bodyStart);
    bool chunked = false;
    qlonglong contentLength = -1;
    const QList<QByteArray> lines = head.split('\n');
    for (const QByteArray &rawLine : lines) {
        const QByteArray line = rawLine.trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "transfer-encoding" && value.toLower().contains("chunked")) {
            chunked = true;
        } else if (name == "content-length") {
            bool ok = false;
            const qlonglong length = value.toLongLong(&ok);
            if (ok && length >= 0)
                contentLength = length;
        }
    }

    if (chunked) {
        const Chunks chunks = decodeChunks(body);
        if (chunks.complete || peerClosed)
            return QByteArray(head + chunks.body);
        return std::nullopt;
    }
    if (contentLength >= 0) {
        if (body.size() >= contentLength)
            return QByteArray(head + body.left(contentLength));
        if (peerClosed)
            return received;
        return std::nullopt;
    }
    if (peerClosed)
        return received;
    return std::nullopt;
}

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
