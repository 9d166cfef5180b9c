#pragma once

#include <QByteArray>

// The stream request sent to a server, filled in from the request template:
// path (with "?" and the query when there is one), host and port; the metadata
// line asks for in-band titles in title mode only; with browserAgent the user
// agent line names a web browser instead of a player. Each value ends at its
// first control byte (CR, LF, NUL, ...).
QByteArray buildStreamRequest(const QByteArray &host, const QByteArray &port, const QByteArray &path,
                              const QByteArray &query, bool titleMode, bool browserAgent);

// The user agent of stream requests: a player's, or with browserAgent a web browser's.
QByteArray streamUserAgent(bool browserAgent);
