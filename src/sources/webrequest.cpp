#include "sources/webrequest.h"

#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "sources/parsedurl.h"

namespace sources
{

QNetworkRequest webRequest(const ParsedUrl &uri, const QByteArray &userAgent)
{
    QByteArray address =
        uri.scheme().toLower() + "://" + uri.host() + ':' + QByteArray::number(uri.port()) + uri.path();
    if (!uri.query().isEmpty())
        address += '?' + uri.query();
    QNetworkRequest request(QUrl::fromEncoded(address, QUrl::TolerantMode));
    if (!userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    // A fresh connection each time: these are single requests, minutes apart.
    request.setRawHeader(QByteArrayLiteral("Connection"), QByteArrayLiteral("close"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // A backstop in real time; the callers keep their own, shorter limits.
    request.setTransferTimeout(kBackstopMs);
    return request;
}

bool isConnectionError(int error)
{
    switch (static_cast<QNetworkReply::NetworkError>(error)) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ProxyAuthenticationRequiredError:
    case QNetworkReply::UnknownProxyError:
        return true;
    default:
        return false;
    }
}

void afterMinimumRealTime(const QElapsedTimer &started, QObject *context, std::function<void()> fn)
{
    const qint64 left = started.isValid() ? kMinimumRealMs - started.elapsed() : 0;
    if (left <= 0) {
        fn();
        return;
    }
    QTimer::singleShot(static_cast<int>(std::min<qint64>(left, kMinimumRealMs)), context, std::move(fn));
}

QString tlsFailureText(const QByteArray &host, const QString &reasons)
{
    return QStringLiteral("TLS failed with %1: %2").arg(QString::fromLatin1(host), reasons);
}

} // namespace sources
