#include <gtest/gtest.h>

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>

#include "eventwait.h"
#include "fakeclock.h"
#include "sources/hlsfollower.h"
#include "sources/hlsplaylist.h"
#include "sources/hlssegment.h"
#include "teststation/hlschannel.h"
#include "teststation/station.h"

using namespace sources::hls;
using teststation::HlsChannel;

namespace
{

QByteArray get(QNetworkAccessManager &http, const QUrl &url)
{
    QNetworkReply *reply = http.get(QNetworkRequest(url));
    EXPECT_TRUE(waitUntil([reply] { return reply->isFinished(); }));
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    reply->deleteLater();
    return body;
}

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

} // namespace

// Follower and segment audio against a live channel with a gap, a
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
    teststation::Station station;
    ASSERT_TRUE(station.start());
    HlsChannel channel(station.config());
    QNetworkAccessManager http;
    LiveFollower follower(clock);

    const std::optional<Playlist> master =
        parsePlaylist(get(http, QUrl(QString::fromLatin1(station.url(channel.masterPath())))),
                      QUrl(QString::fromLatin1(station.url(channel.masterPath()))));
    ASSERT_TRUE(master && master->isMaster);
    const QList<Variant> variants = variantsToTry(master->variants, Preference::HighestBandwidth);
    ASSERT_EQ(variants.size(), 2);
    EXPECT_EQ(variants[0].bandwidth, 128000);
    const QUrl mediaUrl = variants[0].uri;

    QByteArray recorded;
    QStringList titles;
    QList<qint64> discontinuities;
    bool ended = false;
    auto reload = [&] {
        follower.reloadStarted();
        const std::optional<Playlist> media = parsePlaylist(get(http, mediaUrl), mediaUrl);
        ASSERT_TRUE(media && !media->isMaster);
        const LiveFollower::Update update = follower.accept(media->media);
        ended = update.ended;
        while (const std::optional<Segment> next = follower.nextSegment()) {
            const SegmentAudio audio = segmentAudio(get(http, next->uri));
            ASSERT_TRUE(audio.error.isEmpty()) << audio.error.toStdString();
            recorded += audio.audio;
            for (const SegmentTitle &t : audio.titles)
                titles.append(t.artist + QStringLiteral(" - ") + t.title);
            if (!next->title.isEmpty())
                titles.append(next->artist + QStringLiteral(" - ") + next->title);
            if (next->discontinuity)
                discontinuities.append(next->sequence);
            follower.fetched(next->sequence);
        }
    };

    channel.append({HlsChannel::id3Tag("One", "Band", 90000) + pieces[0], 2, "a.aac", {}, {}});
    channel.append({HlsChannel::id3Tag("One", "Band", 270000) + pieces[1], 2, "a.aac", {}, {}});
    reload();
    channel.append({pieces[2], 2, "a.aac", {}, {}});
    reload();
    channel.skip(1); // sequence 3 is never seen
    channel.append({transport[0], 2, "b.ts", "Two", "Duo", true});
    channel.append({transport[1], 2, "b.ts", "Two", "Duo", false});
    channel.end();
    reload();

    EXPECT_TRUE(ended);
    EXPECT_TRUE(recorded == pieces[0] + pieces[1] + pieces[2] + pieces[4] + pieces[5]);
    EXPECT_EQ(follower.lostSegments(), 1);
    EXPECT_DOUBLE_EQ(follower.lostSeconds(), 2.0);
    EXPECT_EQ(discontinuities, QList<qint64>{4});
    EXPECT_EQ(titles, (QStringList{QStringLiteral("Band - One"), QStringLiteral("Band - One"),
                                   QStringLiteral("Duo - Two"), QStringLiteral("Duo - Two")}));
}
