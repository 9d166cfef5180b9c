#include "teststation/stationconfig.h"

namespace teststation
{

Page Page::pls(const QList<QByteArray> &addresses, const QList<QByteArray> &titles, const QByteArray &lineEnd)
{
    QByteArray body = "[playlist]" + lineEnd;
    body += "NumberOfEntries=" + QByteArray::number(addresses.size()) + lineEnd;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        body += "File" + n + '=' + addresses.at(i) + lineEnd;
        if (i < titles.size())
            body += "Title" + n + '=' + titles.at(i) + lineEnd;
        body += "Length" + n + "=-1" + lineEnd;
    }
    body += "Version=2" + lineEnd;
    Page page;
    page.headers = {QByteArrayLiteral("Content-Type: audio/x-scpls")};
    page.body = body;
    return page;
}

Page Page::m3u(const QList<QByteArray> &addresses, const QByteArray &lineEnd)
{
    Page page;
    page.headers = {QByteArrayLiteral("Content-Type: audio/x-mpegurl")};
    for (const QByteArray &address : addresses)
        page.body += address + lineEnd;
    return page;
}

Page Page::metaRefresh(const QByteArray &target)
{
    Page page;
    page.headers = {QByteArrayLiteral("Content-Type: text/html")};
    page.body = "<html><head><meta http-equiv=\"refresh\" content=\"0;url=" + target +
                "\"></head><body>This page has moved.</body></html>\r\n";
    return page;
}

Page Page::statusOnly(const QByteArray &statusLine)
{
    Page page;
    page.status = statusLine;
    page.framing = Framing::CloseDelimited;
    return page;
}

Page Page::redirect(const QByteArray &location)
{
    Page page = statusOnly("HTTP/1.0 302 Found");
    page.headers = {"Location: " + location};
    return page;
}

Page Page::json(const QByteArray &body, const QByteArray &status)
{
    Page page;
    page.status = status;
    page.headers = {QByteArrayLiteral("Content-Type: application/json")};
    page.body = body;
    return page;
}

Page Page::browserPage()
{
    Page page;
    page.headers = {QByteArrayLiteral("content-type:text/html")};
    page.body = "<html><head><title>SHOUTCast Server</title></head><body>"
                "<h1>SHOUTCast Server</h1><p>Vorlane Test Station: this stream is for media players.</p>"
                "</body></html>\r\n";
    page.framing = Framing::CloseDelimited;
    return page;
}

qsizetype dueTitle(qint64 sent, qint64 every, qint64 shift, qsizetype titles)
{
    if (every <= 0 || titles <= 0)
        return 0;
    // Before the first change the first title stays, however early the change comes.
    const qint64 changes = sent < shift + every ? 0 : (sent - shift) / every;
    return static_cast<qsizetype>(changes % titles);
}

} // namespace teststation
