// Titles taken from metadata blocks and the file names made from them.
#include <gtest/gtest.h>

#include "engine/streamtitle.h"

TEST(extractStreamTitle, TakesTheTitleUpToItsClosingQuote)
{
    EXPECT_EQ(extractStreamTitle("StreamTitle='Artist - Song';StreamUrl='';\0\0"), QByteArray("Artist - Song.mp3"));
    EXPECT_EQ(extractStreamTitle("streamtitle='lower case key';"), QByteArray("lower case key.mp3"));
}

TEST(extractStreamTitle, StopsAtApostropheSemicolonOrTheLastCharacter)
{
    EXPECT_EQ(extractStreamTitle("StreamTitle='Don't Stop';"), QByteArray("Don.mp3"));
    EXPECT_EQ(extractStreamTitle("StreamTitle='a;b';"), QByteArray("a.mp3"));
    // No terminator: the last character of the block is never part of the title.
    EXPECT_EQ(extractStreamTitle("StreamTitle='abcd"), QByteArray("abc.mp3"));
    EXPECT_EQ(extractStreamTitle("StreamTitle='"), QByteArray(".mp3"));
}

TEST(extractStreamTitle, EmptyTitleGivesTheBareExtension)
{
    EXPECT_EQ(extractStreamTitle("StreamTitle='';"), QByteArray(".mp3"));
}

TEST(extractStreamTitle, KeepsBytesAsTheyCame)
{
    const QByteArray text = QByteArray("StreamTitle='Caf\xe9 \xc3\xa9';");
    EXPECT_EQ(extractStreamTitle(text), QByteArray("Caf\xe9 \xc3\xa9.mp3"));
}

TEST(cleanFileName, RemovesEveryForbiddenCharacterAndNul)
{
    EXPECT_EQ(cleanFileName("AC/DC - What? Now: *Live* <1> \"x\" |y| a\\b.mp3"),
              QByteArray("ACDC - What Now Live 1 x y ab.mp3"));
    EXPECT_EQ(cleanFileName(QByteArray("ab\0cd.mp3", 9)), QByteArray("abcd.mp3"));
    EXPECT_EQ(cleanFileName("plain name.mp3"), QByteArray("plain name.mp3"));
    EXPECT_EQ(cleanFileName(QByteArray()), QByteArray());
}
