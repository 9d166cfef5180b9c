// Titles taken from metadata blocks and the file names made from them.
#include <gtest/gtest.h>

#include "engine/recordingnames.h"
#include "engine/streamtitle.h"

TEST(extractStreamTitle, TakesTheTitleUpToItsClosingQuote)
{
    EXPECT_EQ(extractStreamTitle("StreamTitle='Artist - Song';StreamUrl='';\0\0"), QByteArray("Artist - Song.mp3"));
    EXPECT_EQ(extractStreamTitle("streamtitle='lower case key';"), QByteArray("lower case key.mp3"));
}

TEST(extractStreamTitle, ApostrophesAndSemicolonsInsideTheTitleStay)
{
    EXPECT_EQ(extractStreamTitle("StreamTitle='Don't Stop';StreamUrl='';"), QByteArray("Don't Stop.mp3"));
    EXPECT_EQ(extractStreamTitle("StreamTitle='Rock; Roll';"), QByteArray("Rock; Roll.mp3"));
    EXPECT_EQ(extractStreamTitle("StreamTitle='It's 'Live';"), QByteArray("It's 'Live.mp3"));
}

TEST(extractStreamTitle, WithoutClosingQuoteStopsAtApostropheSemicolonOrTheLastCharacter)
{
    EXPECT_EQ(extractStreamTitle("StreamTitle='Don't"), QByteArray("Don.mp3"));
    EXPECT_EQ(extractStreamTitle("StreamTitle='a;b'"), QByteArray("a.mp3"));
    // The last character of the block is never part of the title.
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

TEST(decodeTitle, Utf8WhenValidElseWindows1252)
{
    const QString cafe = QStringLiteral("Caf\u00e9");
    EXPECT_EQ(decodeTitle("Caf\xc3\xa9"), cafe);
    EXPECT_EQ(decodeTitle("Caf\xe9"), cafe);
    EXPECT_EQ(decodeTitle("Caf\xe8"), QStringLiteral("Caf\u00e8"));
    EXPECT_EQ(decodeTitle("\x80 \x93Hi\x94 \x9f"), QStringLiteral("\u20ac \u201cHi\u201d \u0178"));
    // A UTF-8 sequence cut short is not UTF-8.
    EXPECT_EQ(decodeTitle("ab\xc3"), QStringLiteral("ab\u00c3"));
    EXPECT_EQ(decodeTitle("plain"), QStringLiteral("plain"));
}

TEST(recordingFileName, CleansDecodesAndNumbersCopies)
{
    EXPECT_EQ(engine::recordingFileName("AC/DC - T.N.T: Live?.mp3"), QStringLiteral("ACDC - T.N.T Live.mp3"));
    EXPECT_EQ(engine::recordingFileName("Caf\xe9.mp3"), QStringLiteral("Caf\u00e9.mp3"));
    EXPECT_EQ(engine::recordingFileName("Song.mp3", 2), QStringLiteral("Song (2).mp3"));
    EXPECT_EQ(engine::recordingFileName("show", 3), QStringLiteral("show (3)"));
    // Nothing but the extension left: no name at all, never the hidden ".mp3".
    EXPECT_EQ(engine::recordingFileName("???.mp3"), QString());
    EXPECT_EQ(engine::recordingFileName(".mp3"), QString());
}

TEST(recordingFileName, NamesNeverHideOrNameTheFolder)
{
    EXPECT_EQ(engine::recordingFileName(".hidden.mp3"), QStringLiteral("hidden.mp3"));
    EXPECT_EQ(engine::recordingFileName(". . .Song.aac"), QStringLiteral("Song.aac"));
    for (const QByteArray name : {"..mp3", "  .mp3", ".", "..", "./..", " \t.ogg"})
        EXPECT_EQ(engine::recordingFileName(name, 2), QString()) << name.constData();
}

TEST(recordingFileName, CopiesAndShortenedNamesKeepTheirAudioExtension)
{
    EXPECT_EQ(engine::recordingFileName("Artist - Title.aac", 2), QStringLiteral("Artist - Title (2).aac"));
    EXPECT_EQ(engine::recordingFileName("Live.OGG", 3), QStringLiteral("Live (3).OGG"));
    EXPECT_EQ(engine::recordingFileName("notes.txt", 2), QStringLiteral("notes.txt (2)"));
    const QString shortened = engine::recordingFileName(QByteArray(300, 'a') + ".aac", 7);
    EXPECT_EQ(shortened.toUtf8().size(), engine::kMaxFileNameBytes);
    EXPECT_TRUE(shortened.endsWith(QStringLiteral("a (7).aac")));
}

TEST(recordingFileName, LongNamesAreShortenedOnACharacterBoundaryToFit)
{
    const QString ascii = engine::recordingFileName(QByteArray(300, 'a') + ".mp3", 12);
    EXPECT_EQ(ascii.toUtf8().size(), engine::kMaxFileNameBytes);
    EXPECT_TRUE(ascii.endsWith(QStringLiteral("a (12).mp3")));

    // Two bytes per character: 247 bytes are left for the stem, room for 123.
    QByteArray accents;
    for (int i = 0; i < 200; ++i)
        accents += "\xc3\xa9";
    const QString accented = engine::recordingFileName(accents + ".mp3", 2);
    EXPECT_EQ(accented, QString(123, QChar(0xe9)) + QStringLiteral(" (2).mp3"));

    // A character outside the basic plane is never cut in half.
    QByteArray emoji = QByteArray(249, 'x') + "\xf0\x9f\x8e\xb5.mp3";
    EXPECT_EQ(engine::recordingFileName(emoji), QString(249, QLatin1Char('x')) + QStringLiteral(".mp3"));
    emoji = QByteArray(247, 'x') + "\xf0\x9f\x8e\xb5\xf0\x9f\x8e\xb5.mp3";
    EXPECT_EQ(engine::recordingFileName(emoji).toUtf8(), QByteArray(247, 'x') + "\xf0\x9f\x8e\xb5.mp3");
}
