// Server addresses read out of playlist text: M3U lines, PLS entries, and the
// screening that keeps control characters out of request lines.
#include <gtest/gtest.h>

#include "config/stationaddress.h"
#include "sources/playlistentries.h"
#include "sources/requestvalue.h"

using sources::m3uAddresses;
using sources::plsAddresses;
using sources::screenEntry;

TEST(M3uReader, EveryHttpLineWhateverTheLineEnds)
{
    const QList<QByteArray> two = {"http://a.example.com:8000/live", "https://b.example.com/x?y=1"};
    EXPECT_EQ(m3uAddresses("#EXTM3U\r\n#EXTINF:-1,A\r\nhttp://a.example.com:8000/live\r\n"
                           "#EXTINF:-1,B\r\nhttps://b.example.com/x?y=1\r\n"),
              two);
    EXPECT_EQ(m3uAddresses("http://a.example.com:8000/live\nhttps://b.example.com/x?y=1"), two);
    EXPECT_EQ(m3uAddresses("  http://a.example.com:8000/live\t\n\n# http://c.example.com/comment\n"
                           "relative/file.mp3\nHTTPS://b.example.com/x?y=1\n")
                  .size(),
              2);
    EXPECT_TRUE(m3uAddresses("#EXTM3U\r\nftp://a.example.com/x\r\n").isEmpty());
}

TEST(PlsReader, EntriesEndAtCrOrLfOrTheEnd)
{
    EXPECT_EQ(plsAddresses("[playlist]\r\nFile1=http://a/x\r\nFile2=http://b/y\nFile3=http://c/z"),
              (QList<QByteArray>{"http://a/x", "http://b/y", "http://c/z"}));
    // A bare CR ends the address: what follows is never request text.
    EXPECT_EQ(plsAddresses("File1=http://a/stream\rX-Injected: yes\r\n"), QList<QByteArray>{"http://a/stream"});
    EXPECT_EQ(sources::plsTitle("File1=http://a/x\r\nTitle1=No line end"), QByteArray("No line end"));
    EXPECT_FALSE(sources::plsTitle("File1=http://a/x\r\n").has_value());
}

TEST(PlsReader, KeysInAnyCaseAndBlanksAroundTheEqualsSign)
{
    const QByteArray text = "[playlist]\nnumberofentries=2\nfile1 = http://a/x \nFILE2=\thttp://b/y\n"
                            "Title1 =  Jazz Radio \nFileName=not an entry\nprofile1=http://c/z\n";
    EXPECT_EQ(plsAddresses(text), (QList<QByteArray>{"http://a/x", "http://b/y"}));
    EXPECT_TRUE(sources::hasPlsEntries(text));
    EXPECT_EQ(sources::plsTitle(text), QByteArray("Jazz Radio"));
    EXPECT_FALSE(sources::hasPlsEntries("[playlist]\nNumberOfEntries=0\nFileName=x\n"));
}

TEST(PlsReader, ValuesNeverRunIntoOtherEntries)
{
    // "File=" over and over on one line: each value is that line's rest, once,
    // so what comes out is never more than what came in.
    QByteArray hostile = "[playlist]\n";
    while (hostile.size() < 256 * 1024)
        hostile += "File=";
    const QList<QByteArray> values = plsAddresses(hostile);
    ASSERT_EQ(values.size(), 1);
    EXPECT_EQ(values.first().size(), hostile.size() - 16);
    // Many lines with an "=" only at the very end are each looked at once as well.
    EXPECT_EQ(plsAddresses(QByteArray(100000, '\n') + "File1=http://a/x").size(), 1);
}

TEST(PlaylistKinds, HlsAndTheTypeFromThePath)
{
    EXPECT_TRUE(sources::isHlsPlaylist("#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\nseg1.ts\n"));
    EXPECT_FALSE(sources::isHlsPlaylist("#EXTM3U\n#EXTINF:-1,Radio\nhttp://a/x\n"));

    EXPECT_EQ(playlistTypeOf("http://a/listen.m3u?sid=1"), PlaylistType::M3u);
    EXPECT_EQ(playlistTypeOf("http://a/listen.pls?sid=1"), PlaylistType::Pls);
    EXPECT_EQ(playlistTypeOf("HTTP://A/LISTEN.M3U"), PlaylistType::M3u);
    EXPECT_EQ(playlistTypeOf("http://a/live.m3u8#top"), PlaylistType::M3u);
    EXPECT_EQ(playlistTypeOf("/home/me/Radio.PLS "), PlaylistType::Pls);
    EXPECT_EQ(playlistTypeOf("http://a/stream?file=x.pls"), PlaylistType::None);
    EXPECT_TRUE(isStreamAddress("https://a/stream?file=x.pls"));
    EXPECT_FALSE(isStreamAddress("http://a/listen.pls?sid=1"));
    EXPECT_FALSE(isStreamAddress("http://a/index.html"));
    EXPECT_FALSE(isStreamAddress("ftp://a/stream"));
}

TEST(RequestValues, ControlBytesEndOrRejectAValue)
{
    EXPECT_EQ(sources::cutAtControl("/next\nX-Injected: yes"), "/next");
    EXPECT_EQ(sources::cutAtControl(QByteArray("/a\0b", 4)), "/a");
    EXPECT_EQ(sources::cutAtControl("/caf\xc3\xa9 ok"), "/caf\xc3\xa9 ok");
    EXPECT_TRUE(sources::isRequestSafe("http://a/x?y=1"));
    EXPECT_FALSE(sources::isRequestSafe("http://a/x\x7f"));
    EXPECT_FALSE(sources::isRequestSafe("http://a/x\ty"));
}

TEST(EntryScreening, OnlyUsableAddressesPass)
{
    const auto entry = screenEntry(" https://radio.example.com/live?sid=2 ");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->host, "radio.example.com");
    EXPECT_EQ(entry->port, "443");
    EXPECT_EQ(entry->path, "/live");
    EXPECT_EQ(entry->query, "sid=2");
    EXPECT_TRUE(entry->secure);
    EXPECT_FALSE(screenEntry("http://a.example.com:8000/x")->secure);
    EXPECT_EQ(screenEntry("http://a.example.com/x\r\nHost: evil")->path, "/x");
    EXPECT_EQ(screenEntry("http://a.example.com/x\nHost: evil")->path, "/x");
    ASSERT_TRUE(screenEntry("HTTPS://a.example.com/x").has_value());
    EXPECT_EQ(screenEntry("HTTPS://a.example.com/x")->port, "443");
    EXPECT_TRUE(screenEntry("HTTPS://a.example.com/x")->secure);

    for (const QByteArray &bad :
         {QByteArray("http://a.example.com/x\x01y"), QByteArray("http://a.example.com/\tx"),
          QByteArray("http://a.example.com:65536/x"), QByteArray("rtsp://a.example.com/x"), QByteArray("http:///x"),
          QByteArray("   "), QByteArray("http://a/\x7f"), QByteArray("ftp://a.example.com:8000/x"),
          QByteArray("icy://a.example.com:8000/x"), QByteArray("HTTP://a.example.com/x\0y", 24)})
        EXPECT_FALSE(screenEntry(bad).has_value()) << bad.toPercentEncoding().constData();
}
