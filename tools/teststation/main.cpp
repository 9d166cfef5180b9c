// vorlane-teststation: a radio station on 127.0.0.1 for trying the recorder
// without the Internet, and for demonstrations.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <memory>

#include <unistd.h>

#include "platform/clock.h"
#include "teststation/framegenerator.h"
#include "teststation/hlschannel.h"
#include "teststation/sourceclient.h"
#include "teststation/station.h"
#include "teststation/testcertificates.h"

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

// --songs SONG,GAP and --title-shift: frames of tone and silence, and the
// title schedule that goes with them.
bool readSongs(const QCommandLineParser &parser, teststation::Stream *stream)
{
    const QStringList parts = parser.value(QStringLiteral("songs")).split(QLatin1Char(','));
    bool songOk = false;
    bool gapOk = false;
    bool shiftOk = true;
    const double song = parts.value(0).toDouble(&songOk);
    const double gap = parts.value(1).toDouble(&gapOk);
    const qint64 shiftMs = parser.isSet(QStringLiteral("title-shift"))
                               ? parser.value(QStringLiteral("title-shift")).toLongLong(&shiftOk)
                               : 0;
    const int kbps = stream->bitRateKbps;
    if (parts.size() != 2 || !songOk || !gapOk || !shiftOk || song < 1 || song > 3600 || gap < 0 || gap > 60 ||
        !teststation::FrameGenerator::isValidBitRate(kbps)) {
        QTextStream(stderr) << "vorlane-teststation: --songs needs SONG,GAP seconds (song 1..3600, gap 0..60) with "
                               "generated frames, --title-shift milliseconds\n";
        return false;
    }
    constexpr double kFrameSeconds = 1152.0 / 44100;
    stream->toneFrames = static_cast<int>(song / kFrameSeconds + 0.5);
    stream->silentFrames = qMax(1, static_cast<int>(gap / kFrameSeconds + 0.5));
    stream->titleEvery = teststation::FrameGenerator::bytesBefore(kbps, stream->toneFrames + stream->silentFrames);
    stream->titleShift = shiftMs * kbps / 8;
    return true;
}

// Source mode: commands on standard input, one a line, so that a test driving
// the program can take the mount away and bring it back.
void watchCommands(teststation::SourceClient &source)
{
    auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &source);
    auto *pending = new QByteArray;
    QObject::connect(notifier, &QObject::destroyed, [pending] { delete pending; });
    QObject::connect(notifier, &QSocketNotifier::activated, &source, [&source, notifier, pending] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            notifier->setEnabled(false); // end of input: keep streaming
            return;
        }
        pending->append(buffer, n);
        qsizetype end = 0;
        while ((end = pending->indexOf('\n')) >= 0) {
            const QByteArray line = pending->left(end).trimmed();
            pending->remove(0, end + 1);
            if (line == "stop")
                source.stop();
            else if (line == "start")
                source.start();
            else if (line.startsWith("title "))
                source.setTitle(line.mid(6));
            else if (line == "quit")
                QCoreApplication::quit();
            else if (!line.isEmpty())
                QTextStream(stderr) << "vorlane-teststation: commands are stop, start, title TEXT, quit\n";
        }
    });
}

int runSource(const QCommandLineParser &parser, const teststation::Stream &stream)
{
    const QUrl url(parser.value(QStringLiteral("icecast-source")));
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty() || url.path().size() < 2) {
        QTextStream(stderr)
            << "vorlane-teststation: --icecast-source needs an address like http://127.0.0.1:8000/live\n";
        return 2;
    }
    teststation::SourceConfig config;
    config.host = url.host().toLatin1();
    config.port = static_cast<quint16>(url.port(8000));
    config.mount = url.path(QUrl::FullyEncoded).toLatin1();
    config.user = parser.value(QStringLiteral("source-user")).toLocal8Bit();
    config.password = parser.value(QStringLiteral("source-password")).toLocal8Bit();
    config.adminUser = parser.value(QStringLiteral("admin-user")).toLocal8Bit();
    config.adminPassword = parser.value(QStringLiteral("admin-password")).toLocal8Bit();
    config.method = parser.isSet(QStringLiteral("legacy-source")) ? teststation::SourceConfig::Method::Source
                                                                  : teststation::SourceConfig::Method::Put;
    config.stream = stream;
    config.recordAudio = false;

    teststation::SourceClient source(config);
    const bool quiet = parser.isSet(QStringLiteral("quiet"));
    QObject::connect(&source, &teststation::SourceClient::streaming, &source, [&source] {
        out() << "streaming to " << QString::fromLatin1(source.mountUrl()) << '\n';
        out().flush();
    });
    QObject::connect(&source, &teststation::SourceClient::ended, &source, [&source] {
        const teststation::SourceSession &session = source.session(source.sessionCount() - 1);
        out() << "source ended after " << session.audioBytes << " audio bytes"
              << (source.errorString().isEmpty() ? QString() : QStringLiteral(": ") + source.errorString()) << '\n';
        out().flush();
    });
    if (!quiet) {
        QObject::connect(&source, &teststation::SourceClient::titleAnswered, &source, [&source](int index) {
            const teststation::TitleUpdate &update = source.titleUpdates().at(index);
            out() << "title " << QString::fromLocal8Bit(update.title) << ": " << update.status << '\n';
            out().flush();
        });
    }
    watchCommands(source);
    source.start();
    return QCoreApplication::exec();
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
                       "  /hls/...       with --hls: the HLS channel, /hls.pls a .pls naming it\n"
                       "  --json pages   their files as application/json\n"
                       "  anything else  \"HTTP/1.0 404 Not Found\"\n"
                       "\n"
                       "With --icecast-source it serves nothing and sends the stream to an Icecast\n"
                       "mount instead, setting each title through the server's admin interface.\n"
                       "Standard input then takes the commands stop, start, title TEXT and quit."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Port to listen on; 0 picks a free one (default 8000)."),
         QStringLiteral("n"), QStringLiteral("8000")},
        {QStringLiteral("mp3"),
         QStringLiteral("Stream the frames of this MP3 file, looped, instead of generated ones."),
         QStringLiteral("file")},
        {QStringLiteral("silence"), QStringLiteral("Generated frames are silent instead of a tone.")},
        {QStringLiteral("hls"), QStringLiteral("Also serve a live HLS channel of packed MP3 segments under /hls.")},
        {QStringLiteral("title"), QStringLiteral("A song title; repeat for more. Announced in order, then cycled."),
         QStringLiteral("text")},
        {QStringLiteral("title-every"), QStringLiteral("Audio bytes per title (default 160000, 10 s at 128 kbit/s)."),
         QStringLiteral("bytes")},
        {QStringLiteral("songs"),
         QStringLiteral("Generated songs: SONG seconds of tone, then GAP seconds of silence, over and over; each "
                        "song gets the next title (replaces --title-every)."),
         QStringLiteral("SONG,GAP")},
        {QStringLiteral("title-shift"),
         QStringLiteral("Announce each title this many milliseconds after its song starts (negative: before)."),
         QStringLiteral("ms")},
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
        {QStringLiteral("json"),
         QStringLiteral("Serve the file's bytes as application/json at this path (with its query, if any); repeat "
                        "for more."),
         QStringLiteral("path=file")},
        {QStringLiteral("tls"),
         QStringLiteral("Serve over TLS with a throwaway CA and certificate for 127.0.0.1 and localhost (made with "
                        "openssl); the CA file's path is printed.")},
        {QStringLiteral("tls-folder"),
         QStringLiteral("Keep the --tls files in this folder instead of a temporary one."), QStringLiteral("dir")},
        {QStringLiteral("icecast-source"),
         QStringLiteral("Send the stream to this Icecast mount as a source instead of serving it."),
         QStringLiteral("url")},
        {QStringLiteral("source-user"), QStringLiteral("User of the source login (default source)."),
         QStringLiteral("name"), QStringLiteral("source")},
        {QStringLiteral("source-password"), QStringLiteral("Password of the source login."), QStringLiteral("text")},
        {QStringLiteral("admin-user"), QStringLiteral("User of the admin login for titles (default admin)."),
         QStringLiteral("name"), QStringLiteral("admin")},
        {QStringLiteral("admin-password"), QStringLiteral("Password of the admin login for titles."),
         QStringLiteral("text")},
        {QStringLiteral("legacy-source"), QStringLiteral("Log in with \"SOURCE\" instead of \"PUT\".")},
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
    if (parser.isSet(QStringLiteral("songs")) && !readSongs(parser, &stream))
        return 2;
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

    if (parser.isSet(QStringLiteral("icecast-source")))
        return runSource(parser, stream);

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

    for (const QString &json : parser.values(QStringLiteral("json"))) {
        const qsizetype equals = json.indexOf(QLatin1Char('='));
        QFile file(json.mid(equals + 1));
        if (equals < 1 || !json.startsWith(QLatin1Char('/')) || !file.open(QIODevice::ReadOnly)) {
            QTextStream(stderr) << "vorlane-teststation: --json needs /path=file with a readable file\n";
            return 2;
        }
        config.pages.insert(json.left(equals).toLatin1(), teststation::Page::json(file.readAll()));
    }

    teststation::Station station(config);
    platform::SystemClock hlsClock;
    std::unique_ptr<teststation::HlsChannel> hls;
    std::unique_ptr<teststation::LiveMp3Feed> hlsFeed;
    if (parser.isSet(QStringLiteral("hls"))) {
        hls = std::make_unique<teststation::HlsChannel>(station.config(), "/hls", 3, 2, "mp4a.40.34");
        hlsFeed = std::make_unique<teststation::LiveMp3Feed>(*hls, hlsClock, &station, stream.titles);
        // Stations list their HLS address in a .pls as well.
        station.config().pages.insert("/hls.pls",
                                      teststation::Page::pls({"http://{station}" + hls->masterPath()}, {stream.name}));
    }
    const auto startStation = [&station, &hls] {
        QString error;
        if (!station.start(&error)) {
            QTextStream(stderr) << "vorlane-teststation: " << error << '\n';
            return false;
        }
        out() << "vorlane-teststation listening on " << QString::fromLatin1(station.url("/")) << '\n'
              << "  stream:   " << QString::fromLatin1(station.url("/stream")) << '\n'
              << "  playlist: " << QString::fromLatin1(station.url("/listen.pls")) << '\n';
        if (hls)
            out() << "  hls:      " << QString::fromLatin1(station.url(hls->masterPath())) << '\n'
                  << "  hls pls:  " << QString::fromLatin1(station.url("/hls.pls")) << '\n';
        if (!station.caFile().isEmpty())
            out() << "  CA:       " << station.caFile() << '\n';
        out().flush();
        return true;
    };

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

    teststation::TestCertificates certificates;
    if (parser.isSet(QStringLiteral("tls"))) {
        // The station starts once openssl has made its files.
        QObject::connect(&certificates, &teststation::TestCertificates::finished, &station,
                         [&station, &certificates, startStation](bool ok) {
                             if (!ok) {
                                 QTextStream(stderr) << "vorlane-teststation: " << certificates.errorString() << '\n';
                                 QCoreApplication::exit(1);
                                 return;
                             }
                             station.config().tls = certificates.tls();
                             if (!startStation())
                                 QCoreApplication::exit(1);
                         });
        // From inside the event loop, so that an early failure's exit() is not lost.
        const QString folder = parser.value(QStringLiteral("tls-folder"));
        QTimer::singleShot(0, &certificates, [&certificates, folder] { certificates.make(folder); });
    } else if (!startStation()) {
        return 1;
    }
    return QCoreApplication::exec();
}
