// The stream request, the screening of server answers, header values and file names.
#include <gtest/gtest.h>

#include "engine/headercollector.h"
#include "engine/recordingnames.h"
#include "engine/responseheader.h"
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

TEST(HeaderCollector, GivesUpOnAStreamWithoutHeader)
{
    HeaderCollector collector;
    EXPECT_FALSE(collector.add(QByteArray(HeaderCollector::kLimit - 1, 'a')));
    EXPECT_TRUE(collector.add("b"));
    EXPECT_EQ(collector.take().size(), HeaderCollector::kLimit);
}

TEST(RecordingNames, DatePartIsMonthDayYearWithLeadingZeros)
{
    const QDate day(2026, 3, 7);
    EXPECT_EQ(datePart(day), QByteArray("03072026"));
    EXPECT_EQ(datedFileName("Morning Show", day), QByteArray("Morning Show-03072026.mp3"));
    EXPECT_EQ(unknownFileName(day), QByteArray("unknown-03072026.mp3"));
    EXPECT_EQ(fallbackFileName(4711, QDate(2027, 11, 23)), QByteArray("unknown-4711-11232027.mp3"));
}
