#include <gtest/gtest.h>

#include "sources/httpreply.h"

using sources::completeHttpReply;

TEST(completeHttpReply, ContentLengthDecidesWhenTheBodyIsComplete)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\ncontent-LENGTH: 5\r\n\r\n";
    EXPECT_FALSE(completeHttpReply("HTTP/1.1 200 OK\r\nContent-Le", false));
    EXPECT_FALSE(completeHttpReply(head, false));
    EXPECT_FALSE(completeHttpReply(QByteArray(head).append("abcd"), false));
    EXPECT_EQ(completeHttpReply(QByteArray(head).append("abcde"), false), QByteArray(head).append("abcde"));
    EXPECT_EQ(completeHttpReply(QByteArray(head).append("abcdeXYZ"), false), QByteArray(head).append("abcde"));
    // A peer that closes early still yields what came.
    EXPECT_EQ(completeHttpReply(QByteArray(head).append("ab"), true), QByteArray(head).append("ab"));
}

TEST(completeHttpReply, ChunkedBodyIsDecodedOnceTheLastChunkArrives)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n";
    const QByteArray wire = QByteArray(head).append("4;ext=1\r\nFile\r\nB\r\n1=http://a\n\r\n0\r\n\r\n");
    for (qsizetype cut = head.size(); cut < wire.size() - 4; ++cut)
        EXPECT_FALSE(completeHttpReply(wire.left(cut), false)) << cut;
    EXPECT_EQ(completeHttpReply(wire, false), QByteArray(head).append("File1=http://a\n"));
    // Cut short by the peer: decoded as far as it goes.
    EXPECT_EQ(completeHttpReply(QByteArray(head).append("4\r\nFile\r\n9\r\n1=h"), true),
              QByteArray(head).append("File"));
}

TEST(completeHttpReply, WithoutLengthTheReplyEndsWithTheConnection)
{
    EXPECT_FALSE(completeHttpReply("ICY 200 OK\r\n\r\nFile1=x\r\n", false));
    EXPECT_EQ(completeHttpReply("ICY 200 OK\r\n\r\nFile1=x\r\n", true), "ICY 200 OK\r\n\r\nFile1=x\r\n");
    EXPECT_EQ(completeHttpReply("no header at all", true), "no header at all");
    EXPECT_EQ(completeHttpReply("HTTP/1.0 200 OK\nContent-Length: 2\n\nabc", false),
              "HTTP/1.0 200 OK\nContent-Length: 2\n\nab");
}
