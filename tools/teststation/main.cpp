// vorlane-teststation: a radio station on 127.0.0.1 for trying the recorder
// without the Internet, and for demonstrations.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "teststation/framegenerator.h"
#include "teststation/station.h"

namespace
{

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

bool readCount(const QCommandLineParser &parser, const QString &name, qint64 *value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *value = parser.value(name).toLongLong(&ok);
    if (!ok || *value < 0) {
        QTextStream(stderr) << "vorlane-teststation: --" << name << " needs a number\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vorlane-teststation"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VORLANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays an Internet radio station on 127.0.0.1 for tests and demonstrations.\n"
                       "\n"
                       "Paths served:\n"
                       "  /stream        the MP3 stream (titles in-band when asked with Icy-MetaData:1)\n"
                       "  /listen.pls    a .pls playlist naming /stream\n"
                       "  /listen.m3u    an .m3u playlist naming /stream\n"
                       "  /failover.pls  a .pls naming /full (always \"ICY 400 Server Full\") and then /stream\n"
                       "  /refresh.html  a meta refresh page leading to /listen.pls\n"
                       "  anything else  \"HTTP/1.0 404 Not Found\""));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Port to listen on; 0 picks a free one (default 8000)."),
         QStringLiteral("n"), QStringLiteral("8000")},
        {QStringLiteral("mp3"),
         QStringLiteral("Stream the frames of this MP3 file, looped, instead of generated ones."),
         QStringLiteral("file")},
        {QStringLiteral("silence"), QStringLiteral("Generated frames are silent instead of a tone.")},
        {QStringLiteral("title"), QStringLiteral("A song title; repeat for more. Announced in order, then cycled."),
         QStringLiteral("text")},
        {QStringLiteral("title-every"), QStringLiteral("Audio bytes per title (default 160000, 10 s at 128 kbit/s)."),
         QStringLiteral("bytes")},
        {QStringLiteral("metaint"), QStringLiteral("Audio bytes between metadata blocks (default 8192)."),
         QStringLiteral("bytes")},
        {QStringLiteral("name"), QStringLiteral("Station name for icy-name."), QStringLiteral("text")},
        {QStringLiteral("bitrate"), QStringLiteral("icy-br and rate of generated frames in kbit/s (default 128)."),
         QStringLiteral("kbps")},
        {QStringLiteral("fast"), QStringLiteral("Send as fast as the client reads instead of in real time.")},
        {QStringLiteral("http"), QStringLiteral("Status line \"HTTP/1.0 200 OK\" instead of \"ICY 200 OK\".")},
        {QStringLiteral("icecast"), QStringLiteral("Icecast-style header: no icy-metaint, no in-band titles.")},
        {QStringLiteral("refuse"),
         QStringLiteral("Answer /stream with this status line, e.g. \"ICY 400 Server Full\"."),
         QStringLiteral("status")},
        {QStringLiteral("redirect"), QStringLiteral("Answer /stream with \"302 Found\" and this Location."),
         QStringLiteral("url")},
        {QStringLiteral("split-header"), QStringLiteral("Write the stream's response header in n pieces."),
         QStringLiteral("n")},
        {QStringLiteral("stall-after"),
         QStringLiteral("Stop sending after this many audio bytes, keep the connection."), QStringLiteral("bytes")},
        {QStringLiteral("drop-after"), QStringLiteral("Close the connection after this many audio bytes."),
         QStringLiteral("bytes")},
        {QStringLiteral("no-browser-page"),
         QStringLiteral("Stream to web browsers (MSIE agents) too, instead of the \"SHOUTCast Server\" page.")},
        {QStringLiteral("quiet"), QStringLiteral("Do not log connections.")},
    });
    parser.process(app);

    teststation::Stream stream;
    qint64 number = 0;
    if (parser.isSet(QStringLiteral("mp3")))
        stream.mp3File = parser.value(QStringLiteral("mp3"));
    stream.tone = !parser.isSet(QStringLiteral("silence"));
    for (const QString &title : parser.values(QStringLiteral("title")))
        stream.titles.append(title.toLocal8Bit());
    if (stream.titles.isEmpty())
        stream.titles = {QByteArrayLiteral("Vorlane Test Station - Tone")};
    stream.titleEvery = 160000;
    if (!readCount(parser, QStringLiteral("title-every"), &stream.titleEvery))
        return 2;
    number = stream.metaInt;
    if (!readCount(parser, QStringLiteral("metaint"), &number))
        return 2;
    stream.metaInt = static_cast<int>(number);
    if (parser.isSet(QStringLiteral("name")))
        stream.name = parser.value(QStringLiteral("name")).toLocal8Bit();
    number = stream.bitRateKbps;
    if (!readCount(parser, QStringLiteral("bitrate"), &number))
        return 2;
    stream.bitRateKbps = static_cast<int>(number);
    if (stream.mp3File.isEmpty() && !teststation::FrameGenerator::isValidBitRate(stream.bitRateKbps)) {
        QTextStream(stderr) << "vorlane-teststation: generated frames need a bit rate of 32..320 kbit/s\n";
        return 2;
    }
    if (parser.isSet(QStringLiteral("fast")))
        stream.pace = teststation::Stream::Pace::Fast;
    else
        stream.burstBytes = 32000; // two seconds at once, as servers do, so players start quickly
    if (parser.isSet(QStringLiteral("http")))
        stream.status = "HTTP/1.0 200 OK";
    if (parser.isSet(QStringLiteral("icecast"))) {
        stream.icecastStyle = true;
        stream.status = "HTTP/1.0 200 OK";
    }
    number = 1;
    if (!readCount(parser, QStringLiteral("split-header"), &number))
        return 2;
    stream.headerPieces = static_cast<int>(qMax<qint64>(1, number));
    if (!readCount(parser, QStringLiteral("stall-after"), &stream.stallAfter) ||
        !readCount(parser, QStringLiteral("drop-after"), &stream.dropAfter))
        return 2;
    stream.answerBrowser = !parser.isSet(QStringLiteral("no-browser-page"));

    teststation::Config config;
    number = 8000;
    if (!readCount(parser, QStringLiteral("port"), &number) || number > 65535) {
        QTextStream(stderr) << "vorlane-teststation: --port needs a number from 0 to 65535\n";
        return 2;
    }
    config.port = static_cast<quint16>(number);
    config.recordAudio = false; // a long-running station keeps counts only
    config.streams.insert("/stream", stream);
    if (parser.isSet(QStringLiteral("refuse")))
        config.pages.insert("/stream",
                            teststation::Page::statusOnly(parser.value(QStringLiteral("refuse")).toLatin1()));
    if (parser.isSet(QStringLiteral("redirect")))
        config.pages.insert("/stream",
                            teststation::Page::redirect(parser.value(QStringLiteral("redirect")).toLatin1()));
    config.pages.insert("/full", teststation::Page::statusOnly("ICY 400 Server Full"));
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {stream.name}));
    config.pages.insert("/listen.m3u", teststation::Page::m3u({"http://{station}/stream"}));
    config.pages.insert("/failover.pls", teststation::Page::pls({"http://{station}/full", "http://{station}/stream"},
                                                                {stream.name + " (full)", stream.name}));
    config.pages.insert("/refresh.html", teststation::Page::metaRefresh("http://{station}/listen.pls"));

    teststation::Station station(config);
    QString error;
    if (!station.start(&error)) {
        QTextStream(stderr) << "vorlane-teststation: " << error << '\n';
        return 1;
    }
    out() << "vorlane-teststation listening on " << QString::fromLatin1(station.url("/")) << '\n'
          << "  stream:   " << QString::fromLatin1(station.url("/stream")) << '\n'
          << "  playlist: " << QString::fromLatin1(station.url("/listen.pls")) << '\n';
    out().flush();

    if (!parser.isSet(QStringLiteral("quiet"))) {
        QObject::connect(&station, &teststation::Station::requestReceived, &station, [&station](int index) {
            const teststation::ConnectionRecord &rec = station.connection(index);
            out() << '#' << index << ' ' << QString::fromLatin1(rec.request.left(rec.request.indexOf('\r'))) << '\n';
            out().flush();
        });
        QObject::connect(&station, &teststation::Station::connectionClosed, &station, [&station](int index) {
            const teststation::ConnectionRecord &rec = station.connection(index);
            out() << '#' << index << " closed after " << rec.audioBytes << " audio bytes, " << rec.titles.size()
                  << " titles" << (rec.dropped ? " (dropped)" : "") << '\n';
            out().flush();
        });
    }
    return QCoreApplication::exec();
}
