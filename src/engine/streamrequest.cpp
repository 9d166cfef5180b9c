#include "engine/streamrequest.h"

#include <QStringBuilder>

#include "sources/requestvalue.h"

namespace
{

const char StreamRequestTemplate[] = "GET [PATH] HTTP/1.1\r\n"
                                     "Host: [STREAM]:[PORT]\r\n"
                                     "User-Agent: WinampMPEG/2.8\r\n"
                                     "Accept: */*\r\n"
                                     "[METADATA]\r\n"
                                     "Connection: close\r\n"
                                     "\r\n";

const QByteArray kPlayerAgent = QByteArrayLiteral("WinampMPEG/2.8");
const QByteArray kBrowserAgent = QByteArrayLiteral("Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)");

} // namespace

QByteArray streamUserAgent(bool browserAgent)
{
    return browserAgent ? kBrowserAgent : kPlayerAgent;
}

QByteArray buildStreamRequest(const QByteArray &host, const QByteArray &port, const QByteArray &path,
                              const QByteArray &query, bool titleMode, bool browserAgent)
{
    QByteArray request(StreamRequestTemplate);
    // The agent is swapped in the template, before the server's own texts are
    // filled in, so that a path can never be mistaken for a placeholder.
    if (browserAgent)
        request.replace(kPlayerAgent, kBrowserAgent);
    request.replace("[METADATA]", titleMode ? "Icy-MetaData:1" : "Icy-MetaData:0");

    // The values come from playlists and redirects: each ends at its first
    // control byte, so none can end the line it stands in.
    const QByteArray target = sources::cutAtControl(query.isEmpty() ? path : QByteArray(path + '?' + query));
    const QByteArray hostValue = sources::cutAtControl(host);
    const QByteArray portValue = sources::cutAtControl(port);
    // Fill each placeholder once, left to right, from the template only.
    QByteArray filled;
    filled.reserve(request.size() + target.size() + hostValue.size() + portValue.size());
    qsizetype pos = 0;
    while (pos < request.size()) {
        const qsizetype open = request.indexOf('[', pos);
        if (open < 0) {
            filled.append(request.mid(pos));
            break;
        }
        filled.append(request.mid(pos, open - pos));
        if (request.mid(open, 6) == "[PATH]") {
            filled.append(target);
            pos = open + 6;
        } else if (request.mid(open, 8) == "[STREAM]") {
            filled.append(hostValue);
            pos = open + 8;
        } else if (request.mid(open, 6) == "[PORT]") {
            filled.append(portValue);
            pos = open + 6;
        } else {
            filled.append('[');
            pos = open + 1;
        }
    }
    return filled;
}
