// Titles taken from metadata blocks and the file names made from them.
#include <gtest/gtest.h>

#include "engine/streamtitle.h"

TEST(ExtractStreamTitle, TakesTheTitleUpToItsClosingQuote)
{
    EXPECT_EQ(ExtractStreamTitle("StreamTitle='Artist - Song';StreamUrl='';\0\0"), QByteArray("Artist - Song.mp3"));
    EXPECT_EQ(ExtractStreamTitle("streamtitle='lower case key';"), QByteArray("lower case key.mp3"));
}

TEST(ExtractStreamTitle, StopsAtApostropheSemicolonOrTheLastCharacter)
{
    EXPECT_EQ(ExtractStreamTitle("StreamTitle='Don't Stop';"), QByteArray("Don.mp3"));
    EXPECT_EQ(ExtractStreamTitle("StreamTitle='a;b';"), QByteArray("a.mp3"));
    // No terminator: the last character of the block is never part of the title.
    EXPECT_EQ(ExtractStreamTitle("StreamTitle='abcd"), QByteArray("abc.mp3"));
    EXPECT_EQ(ExtractStreamTitle("StreamTitle='"), QByteArray(".mp3"));
}

TEST(ExtractStreamTitle, EmptyTitleGivesTheBareExtension)
{
    EXPECT_EQ(ExtractStreamTitle("StreamTitle='';"), QByteArray(".mp3"));
}

TEST(ExtractStreamTitle, KeepsBytesAsTheyCame)
{
    const QByteArray text = QByteArray("StreamTitle='Caf\xe9 \xc3\xa9';");
    EXPECT_EQ(ExtractStreamTitle(text), QByteArray("Caf\xe9 \xc3\xa9.mp3"));
}

TEST(CleanFileName, RemovesEveryForbiddenCharacterAndNul)
{
    EXPECT_EQ(CleanFileName("AC/DC - What? Now: *Live* <1> \"x\" |y| a\\b.mp3"),
              QByteArray("ACDC - What Now Live 1 x y ab.mp3"));
    EXPECT_EQ(CleanFileName(QByteArray("ab\0cd.mp3", 9)), QByteArray("abcd.mp3"));
    EXPECT_EQ(CleanFileName("plain name.mp3"), QByteArray("plain name.mp3"));
    EXPECT_EQ(CleanFileName(QByteArray()), QByteArray());
}
