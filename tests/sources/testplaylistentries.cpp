// Server addresses read out of playlist text: M3U lines, PLS entries, and the
// screening that keeps control characters out of request lines.
#include <gtest/gtest.h>

#include "sources/playlistentries.h"

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

    for (const QByteArray &bad : {QByteArray("http://a.example.com/x\x01y"), QByteArray("http://a.example.com/\tx"),
                                  QByteArray("http://a.example.com:65536/x"), QByteArray("rtsp://a.example.com/x"),
                                  QByteArray("http:///x"), QByteArray("   "), QByteArray("http://a/\x7f")})
        EXPECT_FALSE(screenEntry(bad).has_value()) << bad.toPercentEncoding().constData();
}
