// The 128-byte ID3v1 tag and how it is written to a recording.
#include <QFile>

#include <gtest/gtest.h>

#include "engine/id3v1tag.h"
#include "testenv.h"

namespace
{
QByteArray field(const QByteArray &tag, int offset, int size)
{
    return tag.mid(offset, size);
}
QByteArray padded(const QByteArray &text, int size)
{
    return text + QByteArray(size - text.size(), '\0');
}
} // namespace

TEST(ID3Tag, BytesFollowTheLayout)
{
    const QByteArray tag = buildId3v1Tag({"The Artist", "The Title", QByteArray()}, QDate(2026, 3, 7));
    ASSERT_EQ(tag.size(), 128);
    EXPECT_EQ(field(tag, 0, 3), QByteArray("TAG"));
    EXPECT_EQ(field(tag, 3, 30), padded("The Title", 30));
    EXPECT_EQ(field(tag, 33, 30), padded("The Artist", 30));
    EXPECT_EQ(field(tag, 63, 30), QByteArray(30, '\0'));
    EXPECT_EQ(field(tag, 93, 4), QByteArray("2026"));
    EXPECT_EQ(field(tag, 97, 30), padded("Rec: Ombrex 2026-03-07", 30));
    EXPECT_EQ(static_cast<unsigned char>(tag.at(127)), 0xFF);
}

TEST(ID3Tag, LongTextsAreCutToThirtyBytes)
{
    const QByteArray longText(45, 'x');
    const QByteArray tag = buildId3v1Tag({longText, longText + "y", "album"}, QDate(2026, 12, 31));
    EXPECT_EQ(field(tag, 3, 30), QByteArray(30, 'x'));
    EXPECT_EQ(field(tag, 33, 30), QByteArray(30, 'x'));
    EXPECT_EQ(field(tag, 63, 30), padded("album", 30));
    EXPECT_EQ(field(tag, 97, 30), padded("Rec: Ombrex 2026-12-31", 30));
}

class WriteID3TagTest : public ::testing::Test
{
protected:
    const QDate kDay{2026, 3, 7};
    QString path = testenv::home() + QStringLiteral("/tagged.mp3");
};

TEST_F(WriteID3TagTest, TenByteFileGetsTheTagAppendedAtByteEleven)
{
    testenv::writeFile(path, QByteArray("0123456789"));
    ASSERT_TRUE(writeId3v1Tag(path, {"A", "T", {}}, kDay));
    const QByteArray bytes = testenv::readFile(path);
    ASSERT_EQ(bytes.size(), 138);
    EXPECT_EQ(bytes.left(10), QByteArray("0123456789"));
    EXPECT_EQ(bytes.mid(10), buildId3v1Tag({"A", "T", {}}, QDate(2026, 3, 7)));
}

TEST_F(WriteID3TagTest, ExistingTagIsReplacedAndTheFileDoesNotGrow)
{
    const QByteArray audio(1000, 'a');
    testenv::writeFile(path, audio);
    ASSERT_TRUE(writeId3v1Tag(path, {"First", "One", {}}, kDay));
    ASSERT_TRUE(writeId3v1Tag(path, {"Second", "Two", {}}, kDay));
    const QByteArray bytes = testenv::readFile(path);
    ASSERT_EQ(bytes.size(), 1128);
    EXPECT_EQ(bytes.left(1000), audio);
    EXPECT_EQ(bytes.mid(1000), buildId3v1Tag({"Second", "Two", {}}, QDate(2026, 3, 7)));
}

TEST_F(WriteID3TagTest, AllFieldsEmptyLeavesTheFileAlone)
{
    testenv::writeFile(path, QByteArray("abc"));
    EXPECT_FALSE(writeId3v1Tag(path, {}, kDay));
    EXPECT_EQ(testenv::readFile(path), QByteArray("abc"));
}

TEST_F(WriteID3TagTest, UnwritablePathReportsFailure)
{
    EXPECT_FALSE(writeId3v1Tag(testenv::home() + QStringLiteral("/no/such/folder/x.mp3"), {"a", "b", {}}, kDay));
}
