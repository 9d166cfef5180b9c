// The stream request, the screening of server answers, header values and file names.
#include <gtest/gtest.h>

#include "engine/headercollector.h"
#include "engine/playlistreply.h"
#include "engine/recordingnames.h"
#include "engine/responseheader.h"
#include "engine/streamoverlap.h"
#include "engine/streamrequest.h"
#include "engine/streamtype.h"

using namespace engine;

TEST(StreamRequest, TitleModeRequestIsExact)
{
    EXPECT_EQ(buildStreamRequest("radio.example", "8000", "/stream", "", true, false),
              QByteArray("GET /stream HTTP/1.1\r\n"
                         "Host: radio.example:8000\r\n"
                         "User-Agent: WinampMPEG/2.8\r\n"
                         "Accept: */*\r\n"
                         "Icy-MetaData:1\r\n"
                         "Connection: close\r\n"
                         "\r\n"));
}

TEST(StreamRequest, QueryFollowsThePathAfterAQuestionMark)
{
    const QByteArray request = buildStreamRequest("h", "80", "/a/b", "id=5&x=y", false, false);
    EXPECT_TRUE(request.startsWith("GET /a/b?id=5&x=y HTTP/1.1\r\n"));
    EXPECT_TRUE(request.contains("\r\nIcy-MetaData:0\r\n"));
}

TEST(StreamRequest, BrowserAgentChangesOnlyTheAgentLine)
{
    const QByteArray player = buildStreamRequest("h", "80", "/", "", true, false);
    const QByteArray browser = buildStreamRequest("h", "80", "/", "", true, true);
    QByteArray expected = player;
    expected.replace("User-Agent: WinampMPEG/2.8", "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)");
    EXPECT_EQ(browser, expected);
    EXPECT_TRUE(browser.contains("Icy-MetaData:1"));
}

TEST(StreamRequest, ServerTextsAreNeverTakenForPlaceholders)
{
    const QByteArray request = buildStreamRequest("[PORT]", "81", "/[STREAM]", "", true, false);
    EXPECT_TRUE(request.startsWith("GET /[STREAM] HTTP/1.1\r\nHost: [PORT]:81\r\n"));
}

TEST(StreamRequest, ValuesFromStationsCannotAddLines)
{
    const QByteArray request =
        buildStreamRequest("evil\r\nX-A: 1", "80\n", "/next\nX-Injected: yes", "a=1\0\r\n", true, false);
    EXPECT_TRUE(request.startsWith("GET /next HTTP/1.1\r\nHost: evil:80\r\n")) << request.constData();
    EXPECT_EQ(request.count('\n'), 7);
    EXPECT_FALSE(request.contains("Injected"));
}

TEST(Screening, FirstRuleThatAppliesDecides)
{
    EXPECT_EQ(screenPacket("ICY 401 Service Unavailable\r\n<html>SHOUTcast server</html> 302 Found"),
              PacketKind::Refusal);
    EXPECT_EQ(screenPacket("HTTP/1.0 200 OK\r\n\r\n<title>shoutcast SERVER</title> 302 Found"),
              PacketKind::BrowserPage);
    EXPECT_EQ(screenPacket("HTTP/1.1 302 Found\r\nLocation: http://x/\r\n\r\n"), PacketKind::Redirect);
    EXPECT_EQ(screenPacket("HTTP/1.1 302 found\r\n"), PacketKind::Stream) << "the redirect rule is case-sensitive";
    EXPECT_EQ(screenPacket("icy 404 lower case"), PacketKind::Stream) << "the refusal rule is case-sensitive";
    EXPECT_EQ(screenPacket("ICY 200 OK\r\nicy-name:x\r\n\r\n"), PacketKind::Stream);
}

// Audio is screened too: a text is found wherever it lies in binary data,
// at the very start and end included, and a cut one is not.
TEST(Screening, TextsAreFoundAnywhereInAudio)
{
    const QByteArray audio = QByteArray::fromHex("fffb9064 20 00 ff 2020 c3") + QByteArray(3000, '\xff');
    const struct
    {
        QByteArray text;
        PacketKind kind;
    } cases[] = {{"ICY 40", PacketKind::Refusal},
                 {"sHoUtCaSt SeRvEr", PacketKind::BrowserPage},
                 {"302 Found", PacketKind::Redirect}};
    for (const auto &c : cases) {
        for (const qsizetype at : {qsizetype(0), qsizetype(5), qsizetype(1500), audio.size()}) {
            QByteArray packet = audio;
            packet.insert(at, c.text);
            EXPECT_EQ(screenPacket(packet), c.kind) << c.text.constData() << " at " << at;
            EXPECT_EQ(screenPacket(packet.left(at + c.text.size() - 1)), PacketKind::Stream) << c.text.constData();
            EXPECT_EQ(screenPacket(packet.mid(at + 1)), PacketKind::Stream) << c.text.constData();
        }
    }
}

TEST(Screening, RefusalTextsHaveTheirExactBlanks)
{
    const QString name = QStringLiteral("Jazz FM");
    auto texts = refusalTexts("ICY 404 Resource Not Found", name, 2);
    EXPECT_EQ(texts.tip, QStringLiteral("Jazz FM -- NETWORK: Server error, resource not found... trying server 2"));
    EXPECT_EQ(texts.caption, QStringLiteral("[ERR]: Resource not found, trying server 2..."));
    texts = refusalTexts("ICY 400 Server Full", name, 1);
    EXPECT_EQ(texts.tip, QStringLiteral("Jazz FM -- Server Full... trying server 1"));
    EXPECT_EQ(texts.caption, QStringLiteral("[ERR]: Server full, trying server 1..."));
    texts = refusalTexts("ICY 403 Forbidden", name, 12);
    EXPECT_EQ(texts.tip, QStringLiteral("Jazz FM -- NETWORK: Server error, forbidden... trying server 12"));
    EXPECT_EQ(texts.caption, QStringLiteral("[ERR]: Resource forbidden, trying server 12..."));
    texts = refusalTexts("ICY 401 Service Unavailable", name, 3);
    EXPECT_EQ(texts.tip, QStringLiteral("Jazz FM --  General ICY error -- trying server 3"));
    EXPECT_EQ(texts.caption, QStringLiteral("[ERR]: General ICY error -- trying server 3..."));
    // 404 wins over 400 and 403 when a packet holds several.
    EXPECT_EQ(refusalTexts("ICY 403 ICY 400 ICY 404", name, 1).caption,
              QStringLiteral("[ERR]: Resource not found, trying server 1..."));
}

TEST(Screening, HttpStatusAtTheStartOfAReply)
{
    EXPECT_EQ(screenPacket("HTTP/1.0 403 Forbidden\r\n\r\n<html>", true), PacketKind::Refusal);
    EXPECT_EQ(screenPacket("HTTP/1.1 503 Service Unavailable\r\n", true), PacketKind::Refusal);
    for (const char *code : {"301", "302", "303", "307", "308"})
        EXPECT_EQ(screenPacket("HTTP/1.1 " + QByteArray(code) + " Moved\r\nLocation: /x\r\n\r\n", true),
                  PacketKind::Redirect)
            << code;
    EXPECT_EQ(screenPacket("HTTP/1.0 200 OK\r\nicy-name:x\r\n\r\n", true), PacketKind::Stream);
    // Inside a running stream the same bytes are audio.
    EXPECT_EQ(screenPacket("HTTP/1.0 404 File Not Found\r\n", false), PacketKind::Stream);
}

TEST(Screening, HttpRefusalsReadLikeTheirIcyMatch)
{
    const QString name = QStringLiteral("Jazz FM");
    EXPECT_EQ(refusalTexts("HTTP/1.0 404 File Not Found\r\n", name, 2).caption,
              QStringLiteral("[ERR]: Resource not found, trying server 2..."));
    EXPECT_EQ(refusalTexts("HTTP/1.0 403 Forbidden\r\n", name, 1).tip,
              QStringLiteral("Jazz FM -- NETWORK: Server error, forbidden... trying server 1"));
    EXPECT_EQ(refusalTexts("HTTP/1.0 403 Listener limit reached\r\n", name, 1).caption,
              QStringLiteral("[ERR]: Server full, trying server 1..."));
    EXPECT_EQ(refusalTexts("HTTP/1.1 503 Server Full\r\n", name, 1).caption,
              QStringLiteral("[ERR]: Server full, trying server 1..."));
    EXPECT_EQ(refusalTexts("HTTP/1.1 400 Bad Request\r\n", name, 4).caption,
              QStringLiteral("[ERR]: General ICY error -- trying server 4..."));
}

TEST(StreamTypes, ContentTypeDecidesTheFileKind)
{
    using engine::StreamType;
    EXPECT_EQ(engine::streamType(std::nullopt), StreamType::Mp3);
    EXPECT_EQ(engine::streamType(QByteArray("Audio/MPEG")), StreamType::Mp3);
    EXPECT_EQ(engine::streamType(QByteArray("audio/aacp")), StreamType::Aac);
    EXPECT_EQ(engine::streamType(QByteArray("audio/x-aac; rate=44100")), StreamType::Aac);
    EXPECT_EQ(engine::streamType(QByteArray("application/ogg")), StreamType::Ogg);
    EXPECT_EQ(engine::streamType(QByteArray("text/html")), StreamType::Other);
    EXPECT_EQ(engine::streamType(QByteArray("")), StreamType::Other);

    EXPECT_EQ(engine::withStreamExtension("Artist - Song.mp3", StreamType::Aac), "Artist - Song.aac");
    EXPECT_EQ(engine::withStreamExtension("show.MP3", StreamType::Ogg), "show.ogg");
    EXPECT_EQ(engine::withStreamExtension("show", StreamType::Aac), "show.aac");
    EXPECT_EQ(engine::withStreamExtension("show.aac", StreamType::Aac), "show.aac");
    EXPECT_EQ(engine::withStreamExtension("show", StreamType::Mp3), "show");
}

TEST(HeaderValues, StationNameIsTrimmedAndNeedsALineEnd)
{
    EXPECT_EQ(icyName("ICY 200 OK\r\nicy-name:  Jazz  FM \r\n\r\n"), std::optional<QByteArray>("Jazz  FM"));
    EXPECT_EQ(icyName("ICY 200 OK\r\nicy-name:Unended"), std::nullopt);
    EXPECT_EQ(icyName("ICY 200 OK\r\nIcy-Name:Jazz\r\n"), std::nullopt) << "the key is case-sensitive";
}

TEST(HeaderValues, MetadataIntervalReadsBlanksAndDigits)
{
    EXPECT_EQ(metaInterval("icy-metaint:8192\r\n"), 8192);
    EXPECT_EQ(metaInterval("icy-metaint: 16000\r\n"), 16000);
    EXPECT_EQ(metaInterval("icy-metaint: 1 6\r\n"), 16);
    EXPECT_EQ(metaInterval("icy-metaint:x8192\r\n"), std::nullopt);
    EXPECT_EQ(metaInterval("icy-metaint:0\r\n"), std::nullopt);
    EXPECT_EQ(metaInterval("icy-metaint:99999999999\r\n"), std::nullopt);
    EXPECT_EQ(metaInterval("icy-name:x\r\n"), std::nullopt);
}

TEST(HeaderValues, BitRateRunsToTheNextKey)
{
    EXPECT_EQ(bitRate("icy-br:128\r\nicy-metaint:8192\r\n\r\n"), 128);
    EXPECT_EQ(bitRate("icy-br: \t96 \r\nicy-pub:1\r\n"), 96);
    // As the last header line the value runs into the blank line and the audio.
    EXPECT_EQ(bitRate(QByteArray("icy-metaint:8192\r\nicy-br:128\r\n\r\n\xff\xfb\x90") + QByteArray(10, '\0')),
              std::nullopt);
    EXPECT_EQ(bitRate("icy-br:12a\r\nicy-x:1"), std::nullopt);
}

TEST(HeaderValues, RedirectLocationAnyCase)
{
    EXPECT_EQ(redirectLocation("HTTP/1.1 302 Found\r\nlocation:  http://b:9/x?y=1 \r\n\r\n"),
              std::optional<QByteArray>("http://b:9/x?y=1"));
    EXPECT_EQ(redirectLocation("HTTP/1.1 302 Found\r\nLOCATION: http://c/"), std::optional<QByteArray>("http://c/"));
    EXPECT_EQ(redirectLocation("HTTP/1.1 302 Found\r\n\r\n"), std::nullopt);
    // A bare LF ends the value as it ends the line.
    EXPECT_EQ(redirectLocation("HTTP/1.1 302 Found\r\nLocation: /next\nX-Injected: yes\r\n\r\n"),
              std::optional<QByteArray>("/next"));
}

TEST(HeaderValues, HeaderEndIsOneBased)
{
    EXPECT_EQ(findHeaderEnd("ICY 200 OK\r\n\r\naudio"), 11);
    EXPECT_EQ(findHeaderEnd("no end"), 0);
}

TEST(HeaderCollector, GathersUntilTheBlankLineEvenWhenItIsSplit)
{
    HeaderCollector collector;
    EXPECT_FALSE(collector.add("ICY 200 OK\r\nicy-name:A\r"));
    EXPECT_FALSE(collector.add("\nicy-metaint:8192\r\n\r"));
    EXPECT_TRUE(collector.add("\naudio"));
    EXPECT_EQ(collector.take(), QByteArray("ICY 200 OK\r\nicy-name:A\r\nicy-metaint:8192\r\n\r\naudio"));
    EXPECT_TRUE(collector.collected().isEmpty());
}

TEST(HeaderCollector, ReplyWithoutBlankLineReachesTheLimitUnended)
{
    HeaderCollector collector;
    EXPECT_FALSE(collector.add("ICY 200 OK\r\nicy-notice1:" + QByteArray(HeaderCollector::kLimit - 30, 'a')));
    EXPECT_TRUE(collector.add("bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb"));
    EXPECT_FALSE(collector.ended());
    collector.take();
    // A blank line split over two packets ends it; so does one in a packet that passes the limit.
    EXPECT_FALSE(collector.add("ICY 200 OK\r\n\r"));
    EXPECT_TRUE(collector.add("\n"));
    EXPECT_TRUE(collector.ended());
    collector.clear();
    EXPECT_FALSE(collector.ended());
    EXPECT_TRUE(collector.add("ICY 200 OK\r\n\r\n" + QByteArray(HeaderCollector::kLimit, 'x')));
    EXPECT_TRUE(collector.ended());
}

namespace
{

const QByteArray kHlsText = "\xEF\xBB\xBF\r\n#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\na.aac\n";

// Feeds a reply to a reader: the header and the body up to cut, then the
// rest, then the close, as long as the reader wants more.
struct Fed
{
    PlaylistReply::Verdict verdict;
    QByteArray given;
};
Fed feed(PlaylistReply &reply, const QByteArray &wire, qsizetype cut, bool close)
{
    cut = std::max(cut, wire.indexOf("\r\n\r\n") + 4);
    Fed fed{reply.begin(wire.left(cut)), wire.left(cut)};
    if (cut < wire.size() && fed.verdict == PlaylistReply::Verdict::Reading) {
        fed.verdict = reply.add(wire.mid(cut));
        fed.given = wire;
    }
    if (close && fed.verdict == PlaylistReply::Verdict::Reading)
        fed.verdict = reply.finish();
    return fed;
}

} // namespace

TEST(PlaylistReply, OnlyHttpRepliesOfNoRecordedTypeMayBePlaylists)
{
    EXPECT_TRUE(PlaylistReply::mayBePlaylist("HTTP/1.0 200 OK\r\n\r\n"));
    EXPECT_TRUE(PlaylistReply::mayBePlaylist("HTTP/1.1 200 OK\r\nContent-Type: application/vnd.apple.mpegurl\r\n\r\n"));
    EXPECT_FALSE(PlaylistReply::mayBePlaylist("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n"));
    EXPECT_FALSE(PlaylistReply::mayBePlaylist("ICY 200 OK\r\n\r\n"));
    EXPECT_FALSE(PlaylistReply::mayBePlaylist("HTTP/1.0 300 Multiple Choices\r\n\r\n"));
}

TEST(PlaylistReply, PlaylistIsKnownByItsTextWhereverTheReplyIsCut)
{
    QByteArray chunked;
    for (qsizetype at = 0; at < kHlsText.size(); at += 7)
        chunked += QByteArray::number(std::min<qsizetype>(7, kHlsText.size() - at), 16) + ";x=1\r\n" +
                   kHlsText.mid(at, 7) + "\r\n";
    chunked += "0\r\n\r\n";
    const struct
    {
        QByteArray header;
        QByteArray body;
        bool needsClose;
    } replies[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(kHlsText.size()) + "\r\n\r\n", kHlsText, false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", chunked, false},
        {"HTTP/1.0 200 OK\r\nContent-Type: application/x-mpegURL\r\n\r\n", kHlsText, true},
    };
    for (const auto &r : replies) {
        const QByteArray wire = r.header + r.body;
        for (qsizetype split = r.header.size(); split <= wire.size(); ++split) {
            PlaylistReply reply;
            EXPECT_EQ(feed(reply, wire, split, r.needsClose).verdict, PlaylistReply::Verdict::Playlist)
                << wire.constData() << " cut at " << split;
            EXPECT_EQ(reply.takePlaylist(), kHlsText);
        }
    }
}

TEST(PlaylistReply, AnythingElseComesBackExactlyAsItCame)
{
    const QByteArray ok = "HTTP/1.0 200 OK\r\n\r\n";
    const struct
    {
        QByteArray wire;
        bool close;
    } replies[] = {
        {ok + "\xFF\xFB\x90\x64" + QByteArray(500, '\0'), false},                         // audio without a type
        {ok + "#EXTM3U\r\n#EXTINF:-1,Radio\r\nhttp://radio.example/stream\r\n", true},    // M3U of streams
        {ok + "#EXT", true},                                                              // too short to tell
        {"HTTP/1.0 200 OK\r\nContent-Length: 900\r\n\r\n" + kHlsText, true},              // cut short
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n#EXTM3U\r\n", false}, // bad chunk
        {ok + "#EXTM3U\n" + QByteArray(PlaylistReply::kLimit, '#'), false},               // larger than any
        {ok + QByteArray(100, ' ') + "#EXTM3U\n#EXT-X-ENDLIST\n", true},                  // no opening tag
    };
    for (const auto &r : replies) {
        PlaylistReply reply;
        const Fed fed = feed(reply, r.wire, r.wire.size() / 2, r.close);
        EXPECT_EQ(fed.verdict, PlaylistReply::Verdict::Stream) << r.wire.left(80).constData();
        EXPECT_EQ(reply.takeReply(), fed.given);
    }
}

TEST(RecordingNames, DatePartIsMonthDayYearWithLeadingZeros)
{
    const QDate day(2026, 3, 7);
    EXPECT_EQ(datePart(day), QByteArray("03072026"));
    EXPECT_EQ(datedFileName("Morning Show", day), QByteArray("Morning Show-03072026.mp3"));
    EXPECT_EQ(unknownFileName(day), QByteArray("unknown-03072026.mp3"));
    EXPECT_EQ(fallbackFileName(4711, QDate(2027, 11, 23)), QByteArray("unknown-4711-11232027.mp3"));
}

namespace
{

// MPEG-1 Layer III frames at 128 kbit/s, 44.1 kHz: 417 bytes each, the bytes
// after the header differing from frame to frame.
QByteArray mp3Frames(int count, int first = 0)
{
    QByteArray frames;
    for (int n = first; n < first + count; ++n) {
        QByteArray frame(417, '\0');
        frame[0] = '\xFF';
        frame[1] = '\xFB';
        frame[2] = '\x90';
        frame[3] = '\x00';
        quint32 x = static_cast<quint32>(n) * 2654435761u + 1;
        for (qsizetype i = 4; i < frame.size(); ++i) {
            x = x * 1664525u + 1013904223u;
            frame[i] = static_cast<char>(0x20 + (x >> 24) % 0x5F); // never a frame sync
        }
        frames += frame;
    }
    return frames;
}

} // namespace

TEST(StreamOverlap, FramesAreMeasuredFromTheirHeaders)
{
    EXPECT_EQ(audioFrameLength("\xFF\xFB\x90\x00\0\0\0", 7), 417);
    EXPECT_EQ(audioFrameLength("\xFF\xFB\x92\x00\0\0\0", 7), 418); // padded
    EXPECT_EQ(audioFrameLength("\xFF\xFB\x90\x00", 4), 0);         // too short to tell
    EXPECT_EQ(audioFrameLength("\xFF\xFB\xF0\x00\0\0\0", 7), 0);   // bit rate index 15
    // ADTS: 0x123 bytes long.
    EXPECT_EQ(audioFrameLength("\xFF\xF1\x50\x80\x24\x60\xFC", 7), 0x123);
    const QByteArray stream = "junk" + mp3Frames(3);
    EXPECT_EQ(firstFrameRun(stream), 4);
    EXPECT_EQ(firstFrameRun(stream.chopped(1)), -1);
}

TEST(StreamOverlap, BurstThatRepeatsTheEndIsSkippedToTheFirstNewByte)
{
    const QByteArray all = mp3Frames(40);
    // The file ends in the middle of frame 30; the burst starts in frame 20.
    const QByteArray written = all.left(30 * 417 + 100);
    const QByteArray fresh = all.mid(20 * 417 + 55);
    const Overlap overlap = findOverlap(written, fresh, false);
    ASSERT_EQ(overlap.outcome, Overlap::Outcome::Repeats);
    EXPECT_EQ(written + fresh.mid(overlap.skip), all);

    // Not yet past the end of what was written: wait for more, or take it all as a repeat.
    const QByteArray partial = all.mid(20 * 417 + 55, 5 * 417);
    EXPECT_EQ(findOverlap(written, partial, false).outcome, Overlap::Outcome::Undecided);
    const Overlap last = findOverlap(written, partial, true);
    EXPECT_EQ(last.outcome, Overlap::Outcome::Repeats);
    EXPECT_EQ(last.skip, partial.size());
}

TEST(StreamOverlap, NothingIsDroppedWithoutAWholeFrameOfRepeat)
{
    const QByteArray written = mp3Frames(30);
    // New audio after an outage.
    EXPECT_EQ(findOverlap(written, mp3Frames(10, 100), false).outcome, Overlap::Outcome::New);
    // A fresh stream that shares only the last few bytes with the file.
    const QByteArray chance = written.right(20) + mp3Frames(10, 200);
    EXPECT_EQ(findOverlap(written, chance, true).skip, 0);
    // The same frame where the rest differs (a source that starts alike).
    const QByteArray alike = written.mid(10 * 417, 417) + mp3Frames(10, 300);
    EXPECT_EQ(findOverlap(written, alike, false).outcome, Overlap::Outcome::New);
    // A stream without frames is not held back for long.
    EXPECT_EQ(findOverlap(written, QByteArray(100, 'a'), false).outcome, Overlap::Outcome::Undecided);
    EXPECT_EQ(findOverlap(written, QByteArray(9000, 'a'), false).outcome, Overlap::Outcome::New);
}

// The tail holds exactly what appending every block to one array and cutting
// it back to the newest 256 KiB once it passes 512 KiB would hold.
TEST(WrittenTail, HoldsTheNewestBytesAsOneArrayWould)
{
    WrittenTail tail;
    QByteArray expected;
    EXPECT_TRUE(tail.isEmpty());
    for (int i = 0; i < 400; ++i) {
        const qsizetype size = (i * 7919) % 9000 + (i % 50 == 0 ? 300000 : 0);
        QByteArray block(size, Qt::Uninitialized);
        for (qsizetype k = 0; k < size; ++k)
            block[k] = static_cast<char>((i * 31 + k) % 251);
        tail.append(block);
        expected.append(block);
        if (expected.size() > 2 * WrittenTail::kKeepBytes)
            expected.remove(0, expected.size() - WrittenTail::kKeepBytes);
        if (i % 37 == 0) {
            ASSERT_EQ(tail.bytes(), expected) << "after block " << i;
        }
    }
    EXPECT_EQ(tail.bytes(), expected);
    tail.clear();
    EXPECT_TRUE(tail.isEmpty());
    EXPECT_TRUE(tail.bytes().isEmpty());
}
