#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "config/stationlist.h"
#include "platform/folders.h"
#include "testenv.h"

namespace
{

class StationListFile : public ::testing::Test
{
protected:
    StationListFile()
    {
        static int serial = 0;
        folder = testenv::home() + QStringLiteral("/stations%1").arg(++serial);
        QDir().mkpath(folder);
        path = folder + QStringLiteral("/PlayList.txt");
    }

    static QString markName(StationList::Mark mark)
    {
        switch (mark) {
        case StationList::Mark::Connecting:
            return QStringLiteral("Connecting");
        case StationList::Mark::Recording:
            return QStringLiteral("Record");
        case StationList::Mark::Playing:
            return QStringLiteral("Play");
        case StationList::Mark::None:
            break;
        }
        return {};
    }
    // The rows as "name|address|mark", checking on the way that the model's
    // cells and roles say the same.
    QStringList entries() const
    {
        QStringList result;
        EXPECT_EQ(list.rowCount(), list.count());
        for (int row = 0; row < list.count(); ++row) {
            EXPECT_EQ(list.data(list.index(row, StationList::UrlColumn)).toString(), list.address(row));
            EXPECT_EQ(list.data(list.index(row, StationList::NameColumn), StationList::MarkRole).toInt(),
                      static_cast<int>(list.mark(row)));
            result.append(list.name(row) + QLatin1Char('|') + list.address(row) + QLatin1Char('|') +
                          markName(list.mark(row)));
        }
        return result;
    }
    QString status(int row) const { return markName(list.mark(row)); }

    void fill(int stations)
    {
        for (int i = 1; i <= stations; ++i)
            list.appendEntry(QStringLiteral("S%1").arg(i), QStringLiteral("http://s%1/listen.pls").arg(i));
    }

    QString folder;
    QString path;
    StationList list;
};

TEST_F(StationListFile, ReadsStationsAndWritesTheSameLinesBack)
{
    const QByteArray bytes = "A\r\nhttp://a.example/a.pls\r\nB\r\nhttp://b.example/b.m3u\r\n";
    testenv::writeFile(path, bytes);
    ASSERT_TRUE(list.load(path));
    EXPECT_EQ(entries(),
              QStringList({QStringLiteral("A|http://a.example/a.pls|"), QStringLiteral("B|http://b.example/b.m3u|")}));
    EXPECT_EQ(list.data(list.index(1, StationList::UrlColumn)).toString(), QStringLiteral("http://b.example/b.m3u"));
    EXPECT_EQ(list.headerData(StationList::StatusColumn, Qt::Horizontal).toString(), QStringLiteral("Status"));

    QFile::remove(path);
    ASSERT_TRUE(list.save(path));
    EXPECT_EQ(testenv::readFile(path), bytes);
}

TEST_F(StationListFile, AcceptsLfAndCrLineEndsAndKeepsATrailingNameWithoutAddress)
{
    testenv::writeFile(path, "A\naddrA\nB\raddrB\r\nLast");
    ASSERT_TRUE(list.load(path));
    EXPECT_EQ(entries(),
              QStringList({QStringLiteral("A|addrA|"), QStringLiteral("B|addrB|"), QStringLiteral("Last||")}));
    ASSERT_TRUE(list.save(path));
    EXPECT_EQ(testenv::readFile(path), QByteArray("A\r\naddrA\r\nB\r\naddrB\r\nLast\r\n\r\n"));

    // Empty names and addresses are stations too.
    testenv::writeFile(path, "\r\n\r\nC\r\n\r\n");
    ASSERT_TRUE(list.load(path));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("||"), QStringLiteral("C||")}));
}

TEST_F(StationListFile, MissingFileLeavesTheListAndAnExistingOneReplacesIt)
{
    fill(2);
    EXPECT_FALSE(list.load(path));
    EXPECT_EQ(list.count(), 2);

    testenv::writeFile(path, "Only\r\nhttp://only/x.pls\r\n");
    EXPECT_TRUE(list.load(path));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("Only|http://only/x.pls|")}));

    // An empty file empties the list.
    testenv::writeFile(path, QByteArray());
    EXPECT_TRUE(list.load(path));
    EXPECT_EQ(list.count(), 0);
}

TEST_F(StationListFile, FindsTheFileWhateverTheCaseOfItsName)
{
    testenv::writeFile(folder + QStringLiteral("/Playlist.txt"), "Copied\r\nhttp://c/x.pls\r\n");
    ASSERT_TRUE(list.load(path));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("Copied|http://c/x.pls|")}));
}

TEST_F(StationListFile, KeepsEightBitTextAndCharactersBeyondIt)
{
    // Latin-1 bytes read back byte for byte.
    const QByteArray latin = "Caf\xe9 FM\r\nhttp://cafe/x.pls\r\n";
    testenv::writeFile(path, latin);
    ASSERT_TRUE(list.load(path));
    EXPECT_EQ(list.name(0), QStringLiteral("Caf\u00e9 FM"));
    ASSERT_TRUE(list.save(path));
    EXPECT_EQ(testenv::readFile(path), latin);

    // A name no 8-bit file can hold is not lost.
    const QString cyrillic = QStringLiteral("\u0420\u0430\u0434\u0438\u043e");
    list.appendEntry(cyrillic, QStringLiteral("http://r/x.pls"));
    ASSERT_TRUE(list.save(path));
    StationList again;
    ASSERT_TRUE(again.load(path));
    EXPECT_EQ(again.name(0), QStringLiteral("Caf\u00e9 FM"));
    EXPECT_EQ(again.name(1), cyrillic);
}

TEST_F(StationListFile, RemoveAllThenWritingLeavesAnEmptyFile)
{
    fill(3);
    list.markPlaying(1, StationList::Mark::Recording);
    ASSERT_TRUE(list.save(path));
    list.removeAll();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.playingRow(), -1);
    ASSERT_TRUE(list.save(path));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(testenv::readFile(path), QByteArray());
}

TEST_F(StationListFile, DefaultFileLivesInTheProgramFolder)
{
    EXPECT_EQ(StationList::defaultFilePath(),
              platform::programFolder() + QDir::separator() + QStringLiteral("PlayList.txt"));
    fill(1);
    ASSERT_TRUE(list.save());
    StationList again;
    ASSERT_TRUE(again.load());
    EXPECT_EQ(again.name(0), QStringLiteral("S1"));
}

TEST_F(StationListFile, RemovingTwoOfFiveKeepsTheOthersInOrderWithTheirMarks)
{
    fill(5);
    list.markConnecting(1);
    list.markPlaying(4, StationList::Mark::Recording);
    int removed = 0;
    QObject::connect(&list, &QAbstractItemModel::rowsRemoved, &list, [&removed] { ++removed; });

    list.removeEntries({1, 3});
    EXPECT_EQ(removed, 2);
    EXPECT_EQ(entries(),
              QStringList({QStringLiteral("S1|http://s1/listen.pls|"), QStringLiteral("S3|http://s3/listen.pls|"),
                           QStringLiteral("S5|http://s5/listen.pls|Record")}));
    // The playing station moved from row 4 to 2; the checking one is gone.
    EXPECT_EQ(list.playingRow(), 2);
    EXPECT_EQ(list.connectingRow(), -1);

    // Rows that do not exist, and repeats, are ignored.
    list.removeEntries({-1, 9, 0, 0});
    EXPECT_EQ(entries(), QStringList({QStringLiteral("S3|http://s3/listen.pls|"),
                                      QStringLiteral("S5|http://s5/listen.pls|Record")}));
    EXPECT_EQ(list.playingRow(), 1);
}

TEST_F(StationListFile, EditReplacesNameAndAddressAndKeepsTheMark)
{
    fill(2);
    list.markConnecting(1);
    EXPECT_TRUE(list.editEntry(1, QStringLiteral("New"), QStringLiteral("http://new/x.m3u")));
    EXPECT_EQ(entries(), QStringList({QStringLiteral("S1|http://s1/listen.pls|"),
                                      QStringLiteral("New|http://new/x.m3u|Connecting")}));
    EXPECT_FALSE(list.editEntry(2, QStringLiteral("x"), QStringLiteral("y")));
    EXPECT_FALSE(list.editEntry(-1, QStringLiteral("x"), QStringLiteral("y")));
    EXPECT_EQ(list.count(), 2);
}

TEST_F(StationListFile, StatusMarksFollowChecksRecordingsAndPreviews)
{
    fill(3);
    list.markConnecting(0);
    list.markPlaying(0, StationList::Mark::Recording);
    EXPECT_EQ(status(0), QStringLiteral("Record"));

    // Checking another row marks it, and leaves the recording entry alone.
    list.markConnecting(1);
    EXPECT_EQ(status(0), QStringLiteral("Record"));
    EXPECT_EQ(status(1), QStringLiteral("Connecting"));

    // Checking a third row clears the second, not the recording one.
    list.markConnecting(2);
    EXPECT_EQ(status(1), QString());
    EXPECT_EQ(status(2), QStringLiteral("Connecting"));

    // Previewing the third moves the playing mark to it.
    list.markPlaying(2, StationList::Mark::Playing);
    EXPECT_EQ(status(0), QString());
    EXPECT_EQ(status(2), QStringLiteral("Play"));
    EXPECT_EQ(list.playingRow(), 2);

    // The playing row keeps its status when checked or started again.
    list.markConnecting(2);
    list.markPlaying(2, StationList::Mark::Recording);
    EXPECT_EQ(status(2), QStringLiteral("Play"));

    // Nothing selected: stale marks go, no row is named.
    list.markConnecting(1);
    list.markConnecting(-1);
    EXPECT_EQ(status(1), QString());
    EXPECT_EQ(list.connectingRow(), -1);
    list.markPlaying(7, StationList::Mark::Recording);
    EXPECT_EQ(status(2), QString());
    EXPECT_EQ(list.playingRow(), -1);
}

} // namespace
