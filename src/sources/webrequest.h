#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QNetworkRequest>
#include <QString>

#include <functional>

class ParsedUrl;
class QNetworkReply;
class QObject;

namespace sources
{

// Redirects followed for one web request, after which it fails.
constexpr int kMaxRedirects = 10;
// No web request of ours waits longer than this for the next bytes.
constexpr int kBackstopMs = 60000;

// A GET for playlists and station pages: this address without its user name
// and password, one request per connection, TLS certificates verified (Qt's
// default), a redirect handed back as the reply (the caller screens and
// counts what it follows) and an optional user agent.
QNetworkRequest webRequest(const ParsedUrl &uri, const QByteArray &userAgent = {});

// Whether a reply failed before any server answered: refused, unknown host,
// TLS, a proxy. Errors that come with a server's answer (an HTTP status, a
// closed connection) are not among them.
bool isConnectionError(int error);

// The network stack answers from a thread of its own. A time limit measured on
// a clock that can run faster than real time (a test's) leaves it at least
// this much real time since the request began before the limit counts.
constexpr int kMinimumRealMs = 500;
// Calls fn at once when that much real time has passed since started, else
// once it has (from the event loop, unless context is gone by then).
void afterMinimumRealTime(const QElapsedTimer &started, QObject *context, std::function<void()> fn);

// What a TLS failure says, naming the host: "TLS failed with host: reasons".
QString tlsFailureText(const QByteArray &host, const QString &reasons);

} // namespace sources
