#include <gtest/gtest.h>

#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>

#include "eventwait.h"
#include "fakeclock.h"
#include "sources/hlsplaylist.h"
#include "sources/hlssegment.h"
#include "sources/hlsstation.h"
#include "teststation/hlschannel.h"
#include "teststation/station.h"

using namespace sources::hls;
using teststation::HlsChannel;

namespace
{

bool run(const QString &dir, const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-loglevel"), QStringLiteral("error")} + args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

// ADTS audio cut at frame boundaries into count pieces of about equal size.
QList<QByteArray> adtsPieces(const QByteArray &adts, int count)
{
    QList<qsizetype> starts;
    for (qsizetype at = 0; at + 7 <= adts.size();) {
        starts.append(at);
        const int length =
            ((quint8(adts[at + 3]) & 3) << 11) | (quint8(adts[at + 4]) << 3) | (quint8(adts[at + 5]) >> 5);
        if (length < 7)
            break;
        at += length;
    }
    QList<QByteArray> pieces;
    const qsizetype perPiece = starts.size() / count;
    for (int i = 0; i < count; ++i) {
        const qsizetype from = starts[i * perPiece];
        const qsizetype to = i + 1 == count ? adts.size() : starts[(i + 1) * perPiece];
        pieces.append(adts.mid(from, to - from));
    }
    return pieces;
}

struct Recording
{
    QByteArray audio;
    QStringList events;
    QString failure;
    bool finished = false;

    void watch(sources::HlsStation &hls)
    {
        QObject::connect(&hls, &sources::HlsStation::audio, &hls,
                         [this](const QByteArray &data, AudioFormat) { audio += data; });
        QObject::connect(&hls, &sources::HlsStation::titleChanged, &hls, [this](const QString &a, const QString &t) {
            events.append(QStringLiteral("title ") + a + QStringLiteral(" - ") + t);
        });
        QObject::connect(&hls, &sources::HlsStation::segmentsLost, &hls, [this](int n, double s, const QString &) {
            events.append(QStringLiteral("lost %1 %2").arg(n).arg(s));
        });
        QObject::connect(&hls, &sources::HlsStation::discontinuity, &hls,
                         [this] { events.append(QStringLiteral("discontinuity")); });
        QObject::connect(&hls, &sources::HlsStation::failed, &hls,
                         [this](const QString &text, bool) { failure = text; });
        QObject::connect(&hls, &sources::HlsStation::finished, &hls, [this] { finished = true; });
    }
};

} // namespace

// HlsStation and segment audio against a live channel with a gap, a
// discontinuity, ADTS and MPEG-TS segments, ID3 and EXTINF titles.
TEST(HlsStation, RecordsEveryListedSegmentOnceAndCountsTheGap)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString tone = QStringLiteral("sine=frequency=330:sample_rate=44100:duration=12");
    ASSERT_TRUE(run(dir.path(), {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), tone,
                                 QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("tone.aac")}));
    QFile toneFile(dir.path() + QStringLiteral("/tone.aac"));
    ASSERT_TRUE(toneFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> pieces = adtsPieces(toneFile.readAll(), 6);
    // Pieces 4 and 5 travel as MPEG-TS.
    QList<QByteArray> transport;
    for (int i : {4, 5}) {
        const QString name = QString::number(i);
        QFile piece(dir.path() + QLatin1Char('/') + name + QStringLiteral(".aac"));
        ASSERT_TRUE(piece.open(QIODevice::WriteOnly));
        piece.write(pieces[i]);
        piece.close();
        ASSERT_TRUE(
            run(dir.path(), {QStringLiteral("-i"), piece.fileName(), QStringLiteral("-c"), QStringLiteral("copy"),
                             QStringLiteral("-f"), QStringLiteral("mpegts"), name + QStringLiteral(".ts")}));
        QFile ts(dir.path() + QLatin1Char('/') + name + QStringLiteral(".ts"));
        ASSERT_TRUE(ts.open(QIODevice::ReadOnly));
        transport.append(ts.readAll());
    }

    FakeClock clock;
    clock.setSelfStepping(false);
    teststation::Station station;
    ASSERT_TRUE(station.start());
    HlsChannel channel(station.config());
    channel.append({HlsChannel::id3Tag("One", "Band", 90000) + pieces[0], 2, "a.aac", {}, {}});
    channel.append({HlsChannel::id3Tag("One", "Band", 270000) + pieces[1], 2, "a.aac", {}, {}});

    QNetworkAccessManager http;
    Recording got;
    sources::HlsStation hls(http, clock, {"Vorlane/1", Preference::HighestBandwidth});
    got.watch(hls);
    hls.start(QUrl(QString::fromLatin1(station.url(channel.masterPath()))));
    ASSERT_TRUE(waitUntil([&] { return hls.segmentsFetched() == 2; }));
    EXPECT_FALSE(hls.mediaUrl().hasQuery()); // the 128 kbit/s variant
    channel.append({pieces[2], 2, "a.aac", {}, {}});
    clock.advance(2000);
    ASSERT_TRUE(waitUntil([&] { return hls.segmentsFetched() == 3; }));
    channel.skip(1); // sequence 3 is never seen
    channel.append({transport[0], 2, "b.ts", "Two", "Duo", true});
    channel.append({transport[1], 2, "b.ts", "Two", "Duo", false});
    channel.end();
    clock.advance(2000);
    ASSERT_TRUE(waitUntil([&] { return got.finished; }));

    EXPECT_TRUE(got.audio == pieces[0] + pieces[1] + pieces[2] + pieces[4] + pieces[5]);
    EXPECT_EQ(hls.segmentsListed(), 5);
    EXPECT_EQ(hls.lostSegments(), 1);
    EXPECT_DOUBLE_EQ(hls.lostSeconds(), 2.0);
    // The gap comes before the audio after it, and that audio is a new start.
    EXPECT_EQ(got.events, (QStringList{QStringLiteral("title Band - One"), QStringLiteral("lost 1 2"),
                                       QStringLiteral("discontinuity"), QStringLiteral("title Duo - Two")}));
}

// What cannot be recorded as it is: a variant that does not answer gives way
// to the next, a segment that fails is fetched again while it is listed, and
// encrypted segments end the recording with a message saying so.
TEST(HlsStation, FallsBackRetriesAndRefusesEncryption)
{
    FakeClock clock;
    clock.setSelfStepping(false);
    teststation::Station station;
    ASSERT_TRUE(station.start());
    auto &pages = station.config().pages;
    pages["/master.m3u8"].body = "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=256000\ngone.m3u8\n"
                                 "#EXT-X-STREAM-INF:BANDWIDTH=64000\nlive.m3u8\n";
    const QByteArray head = "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:7\n#EXTINF:2,\nbusy.mp3\n";
    pages["/live.m3u8"].body = head;
    pages["/busy.mp3"].status = "HTTP/1.0 503 Busy";
    pages["/busy.mp3"].body =
        "ID3\x04" + QByteArray(6, '\0') + QByteArray("\xFF\xFB\x90\x00", 4) + QByteArray(413, 'a');

    QNetworkAccessManager http;
    Recording got;
    sources::HlsStation hls(http, clock, {{}, Preference::HighestBandwidth});
    got.watch(hls);
    hls.start(QUrl(QString::fromLatin1(station.url("/master.m3u8"))));
    ASSERT_TRUE(waitUntil([&] { return hls.segmentsListed() == 1 && station.connectionCount() >= 4; }));
    EXPECT_TRUE(got.failure.isEmpty());
    EXPECT_EQ(hls.mediaUrl().path(), QStringLiteral("/live.m3u8"));
    EXPECT_EQ(hls.segmentsFetched(), 0);

    pages["/busy.mp3"].status = "HTTP/1.0 200 OK";
    clock.advance(2000);
    ASSERT_TRUE(waitUntil([&] { return hls.segmentsFetched() == 1; }));
    EXPECT_EQ(got.audio.size(), 417);
    EXPECT_EQ(hls.lostSegments(), 0);

    pages["/live.m3u8"].body = head + "#EXT-X-KEY:METHOD=AES-128,URI=\"k\"\n#EXTINF:2,\nsecret.mp3\n";
    clock.advance(2000);
    ASSERT_TRUE(waitUntil([&] { return !got.failure.isEmpty(); }));
    EXPECT_TRUE(got.failure.contains(QStringLiteral("encrypts"))) << got.failure.toStdString();
    EXPECT_FALSE(hls.isRunning());
}
