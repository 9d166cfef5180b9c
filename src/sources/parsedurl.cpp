#include "sources/parsedurl.h"

#include "platform/bytetext.h"

namespace
{

// The scheme by the lenient rules: a "scheme://" prefix wins; a dotted host
// before a colon means the colon belongs to the host; a dot-free name before the
// first colon is taken as the scheme. Positions are 1-based as in the rules, 0
// meaning "absent".
QByteArray schemeOf(const QByteArray &work)
{
    const qsizetype slash = work.indexOf('/') + 1;
    const qsizetype colon = work.indexOf(':') + 1;
    if (slash == 0 && colon == 0)
        return QByteArrayLiteral("http");
    if (slash >= 1 && slash <= colon + 1) {
        const qsizetype prefix = work.indexOf("://") + 1;
        if (prefix >= 1 && prefix <= slash - 1)
            return work.left(prefix - 1);
        return QByteArrayLiteral("http");
    }
    const QByteArray head = work.left(colon);
    if (colon == 0 || head.contains('.') || head.contains('@'))
        return QByteArrayLiteral("http");
    return work.left(colon - 1);
}

// Credentials, host and port: after "scheme://" or "scheme:" when the text
// starts with the scheme, else from the first character; up to the first "/".
QByteArray serverPartOf(const QByteArray &work, qsizetype schemeLength)
{
    const qsizetype from = schemeLength - 1; // "searching from character N"
    qsizetype start = 0;
    if (work.indexOf("://", from) == schemeLength)
        start = schemeLength + 3;
    else if (work.indexOf(':', from) == schemeLength)
        start = schemeLength + 1;
    const qsizetype end = work.indexOf('/', start);
    return end < 0 ? work.mid(start) : work.mid(start, end - start);
}

} // namespace

ParsedUrl::ParsedUrl(const QByteArray &uri)
{
    setUri(uri);
}

bool ParsedUrl::setUri(const QByteArray &uri)
{
    if (uri.isEmpty())
        return true;

    QByteArray work = uri;
    work.replace('\\', '/');

    const QByteArray protocol = schemeOf(work);
    if (protocol.isEmpty()) {
        m_failure = Failure::EmptyScheme;
        return false;
    }

    const QByteArray server = serverPartOf(work, protocol.size());
    const qsizetype at = server.indexOf('@');
    const QByteArray hostAndPort = at < 0 ? server : server.mid(at + 1);
    const qsizetype portColon = hostAndPort.indexOf(':');
    const QByteArray host = portColon < 0 ? hostAndPort : hostAndPort.left(portColon);

    QByteArray username;
    QByteArray password;
    if (at >= 0) {
        const QByteArray credentials = server.left(at);
        const qsizetype colon = credentials.indexOf(':');
        username = colon < 0 ? credentials : credentials.left(colon);
        password = colon < 0 ? QByteArray() : credentials.mid(colon + 1);
    }

    // The rest is found by searching for the server part itself, as the rules
    // say; with a host that also occurs earlier in the text this takes the
    // earlier occurrence.
    QByteArray rest = work.mid(work.indexOf(server) + server.size());
    if (rest.isEmpty())
        rest = QByteArrayLiteral("/");
    const qsizetype question = rest.indexOf('?');

    quint32 port = 0;
    if (portColon >= 0) {
        const QByteArray portText = hostAndPort.mid(portColon + 1);
        if (platform::isWholeNumber(portText)) {
            for (const char c : portText) {
                port = port * 10 + static_cast<quint32>(c - '0');
                if (port > 65535) {
                    m_failure = Failure::PortOverflow;
                    return false;
                }
            }
        }
    }
    if (port == 0)
        port = defaultPort(protocol);

    m_uri = uri;
    m_protocol = protocol;
    m_host = host;
    m_username = username;
    m_password = password;
    m_resource = question < 0 ? rest : rest.left(question);
    m_port = static_cast<quint16>(port);
    m_queryString = question < 0 ? QByteArray() : rest.mid(question + 1);
    m_initialized = true;
    m_failure = Failure::None;
    return true;
}

QByteArray ParsedUrl::pathWithQuery() const
{
    if (m_queryString.isEmpty())
        return m_resource;
    return m_resource + '?' + m_queryString;
}

QString ParsedUrl::errorText() const
{
    switch (m_failure) {
    case Failure::None:
        return {};
    case Failure::PortOverflow:
        return QStringLiteral("Overflow: the port is larger than 65535");
    case Failure::EmptyScheme:
        return QStringLiteral("Invalid address: the scheme is empty");
    }
    return {};
}

quint16 ParsedUrl::defaultPort(const QByteArray &scheme)
{
    if (scheme == "http")
        return 80;
    if (scheme == "https")
        return 443;
    if (scheme == "ftp")
        return 21;
    if (scheme == "telnet")
        return 23;
    if (scheme == "finger")
        return 79;
    if (scheme == "irc")
        return 6667;
    return 0;
}
