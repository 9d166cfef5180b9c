#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "config/capturetarget.h"
#include "config/preset.h"

namespace
{

class CaptureTargetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QLatin1Char('/');
    }
    CaptureTarget::Refusal type(const QString &text)
    {
        target.edit(text);
        return target.accept();
    }

    QTemporaryDir dir;
    QString folder;
    CaptureTarget target;
};

} // namespace

TEST_F(CaptureTargetTest, FolderGetsItsSeparatorAndARefusedPathGivesWayToTheLastOne)
{
    EXPECT_EQ(type(folder.chopped(1)), CaptureTarget::Refusal::None);
    EXPECT_EQ(target.path(), folder);
    EXPECT_TRUE(target.isAccepted());
    EXPECT_EQ(target.problem(), CaptureTarget::Problem::None);

    EXPECT_EQ(type(folder + QStringLiteral("missing")), CaptureTarget::Refusal::MissingFolder);
    EXPECT_EQ(target.path(), folder);
    EXPECT_FALSE(target.isAccepted());
    EXPECT_EQ(target.problem(), CaptureTarget::Problem::NoPath);

    // An empty box is no refusal, and nothing to record to either.
    EXPECT_EQ(type(QString()), CaptureTarget::Refusal::None);
    EXPECT_FALSE(target.isAccepted());
    EXPECT_TRUE(target.path().isEmpty());
}

TEST_F(CaptureTargetTest, FolderAndFileModesEachKeepTheirOwnPath)
{
    type(folder);
    target.setMode(SetupSettings::CaptureSingleFile);
    EXPECT_FALSE(target.isFolderMode());
    EXPECT_TRUE(target.path().isEmpty());

    const QString file = folder + QStringLiteral("one.mp3");
    EXPECT_EQ(type(file), CaptureTarget::Refusal::None);
    EXPECT_FALSE(QFile::exists(file)) << "the write test leaves no file behind";
    // A folder is no file to record into, however it exists.
    EXPECT_EQ(type(folder), CaptureTarget::Refusal::UnwritableFile);
    EXPECT_EQ(target.path(), file);

    target.setMode(SetupSettings::CaptureDatedArchive);
    EXPECT_EQ(target.path(), folder);
    EXPECT_EQ(target.problem(), CaptureTarget::Problem::NoPath) << "the refusal stands until a path is accepted";
    target.accept();
    EXPECT_EQ(target.problem(), CaptureTarget::Problem::NoArchiveHeader);
    target.setArchiveHeader(QStringLiteral("Morning"));
    EXPECT_EQ(target.problem(), CaptureTarget::Problem::None);
    // Between two folder modes the box keeps what it shows.
    target.edit(folder + QStringLiteral("typed"));
    target.setMode(SetupSettings::CaptureStreamTitles);
    EXPECT_EQ(target.path(), folder + QStringLiteral("typed"));
    target.setMode(SetupSettings::CaptureSingleFile);
    EXPECT_EQ(target.path(), file);

    // The focus marks what a refusal goes back to.
    target.edit(folder + QStringLiteral("two.mp3"));
    target.rememberPath();
    EXPECT_EQ(type(folder), CaptureTarget::Refusal::UnwritableFile);
    EXPECT_EQ(target.path(), folder + QStringLiteral("two.mp3"));
}

TEST_F(CaptureTargetTest, PresetsRoundTripInEveryMode)
{
    struct Case
    {
        qint32 mode;
        QString name;
    };
    for (const Case &c : {Case{1, QStringLiteral("all.mp3")}, Case{2, QString()}, Case{3, QStringLiteral("Daily")}}) {
        SCOPED_TRACE(c.mode);
        Preset preset;
        preset.captureMode = c.mode;
        preset.saveFolder = folder.chopped(1);
        preset.recordingFileName = c.name;
        CaptureTarget loaded;
        loaded.takeFrom(preset);
        EXPECT_TRUE(loaded.isAccepted());
        Preset back;
        loaded.putIn(back);
        EXPECT_EQ(back.captureMode, c.mode);
        EXPECT_EQ(back.saveFolder, folder);
        EXPECT_EQ(back.recordingFileName, c.name);
    }
    EXPECT_EQ(CaptureTarget::folderPart(QStringLiteral("x.mp3")), QString());
    EXPECT_EQ(CaptureTarget::namePart(QStringLiteral("x.mp3")), QStringLiteral("x.mp3"));
}
