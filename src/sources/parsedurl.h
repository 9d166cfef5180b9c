#pragma once

#include <QByteArray>
#include <QString>

// Splits a station or playlist address into scheme, host, port, path and query
// (plus user name and password). The rules are plain, case-sensitive text
// searches and deliberately lenient: an address may come with or without a
// scheme, with backslashes instead of slashes, or as a bare host and port.
//
//   ParsedUrl uri;
//   if (!uri.setUri("http://127.0.0.1:29174/streamer.mp3"))
//       ...;                     // uri.errorText() says why; do not use the pieces
//   uri.host();                  // "127.0.0.1"
//   uri.port();                  // 29174
//   uri.pathWithQuery();          // "/streamer.mp3"
//
// Addresses are bytes, one character per byte. A value type: copy it freely.
class ParsedUrl final
{
public:
    enum class Failure
    {
        None,
        // The port text is a number above 65535.
        PortOverflow,
        // The scheme came out empty (the text begins with "://" or ":").
        EmptyScheme,
    };

    ParsedUrl() = default;
    // Assigns at once; check Failed() (or use setUri) when the text is untrusted.
    explicit ParsedUrl(const QByteArray &uri);

    // Assigns an address and recomputes every piece. An empty text changes
    // nothing at all (and returns true). Returns false when the address cannot be split (port
    // above 65535, empty scheme); the object then keeps the pieces of the
    // previous address, lastFailure() tells why, and the caller must not use
    // it for this address. Never throws.
    bool setUri(const QByteArray &uri);

    // The address exactly as assigned, backslashes included.
    const QByteArray &text() const { return m_uri; }
    const QByteArray &scheme() const { return m_protocol; }
    const QByteArray &host() const { return m_host; }
    const QByteArray &userName() const { return m_username; }
    const QByteArray &password() const { return m_password; }
    // The path, normally starting with "/"; "/" when nothing follows the host.
    const QByteArray &path() const { return m_resource; }
    // What follows the first "?" of the path, without the "?".
    const QByteArray &query() const { return m_queryString; }
    // The explicit port, or the scheme's default (0 for an unknown scheme).
    quint16 port() const { return m_port; }
    // False until the first non-empty address has been assigned successfully.
    bool isInitialized() const { return m_initialized; }
    // Resource, then "?" and QueryString when there is a query: what follows "GET ".
    QByteArray pathWithQuery() const;

    // Why the last assignment failed; None after a successful one.
    Failure lastFailure() const { return m_failure; }
    bool failed() const { return m_failure != Failure::None; }
    QString errorText() const;

    // The default port of a scheme (exact, case-sensitive match), else 0.
    static quint16 defaultPort(const QByteArray &scheme);

private:
    QByteArray m_uri;
    QByteArray m_protocol;
    QByteArray m_host;
    QByteArray m_username;
    QByteArray m_password;
    QByteArray m_resource;
    QByteArray m_queryString;
    quint16 m_port = 0;
    bool m_initialized = false;
    Failure m_failure = Failure::None;
};
