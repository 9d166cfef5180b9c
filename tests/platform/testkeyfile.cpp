#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include "platform/keyfile.h"
#include "testenv.h"

namespace
{

using platform::KeyFile;

TEST(KeyFile, AddingThenRemovingKeysGivesTheUsersFileBackUnchanged)
{
    const QString path = testenv::home() + QStringLiteral("/keyfile/mimeapps.list");
    const QByteArray original = "# chosen by hand\n"
                                "[Added Associations]\n"
                                "text/plain=gedit.desktop;\n"
                                "\n"
                                "[Default Applications]\n"
                                "audio/x-scpls=vlc.desktop\n"
                                "image/png = eog.desktop\n"
                                "\n"
                                "[Removed Associations]\n"
                                "audio/mpeg=totem.desktop;\n";
    testenv::writeFile(path, original);

    KeyFile file;
    ASSERT_TRUE(file.load(path));
    EXPECT_EQ(file.value(QStringLiteral("Default Applications"), QStringLiteral("image/png")),
              QStringLiteral("eog.desktop"));
    file.setValue(QStringLiteral("Default Applications"), QStringLiteral("application/x-a"),
                  QStringLiteral("a.desktop"));
    file.setValue(QStringLiteral("New Group"), QStringLiteral("k"), QStringLiteral("v"));
    ASSERT_TRUE(file.save(path));
    const QByteArray edited = testenv::readFile(path);
    // The new key joins its group, before the blank line that ends it.
    EXPECT_TRUE(edited.contains("image/png = eog.desktop\napplication/x-a=a.desktop\n\n[Removed Associations]"));
    EXPECT_TRUE(edited.endsWith("audio/mpeg=totem.desktop;\n\n[New Group]\nk=v\n"));

    ASSERT_TRUE(file.load(path));
    EXPECT_TRUE(file.removeKey(QStringLiteral("New Group"), QStringLiteral("k")));
    EXPECT_TRUE(file.removeKey(QStringLiteral("Default Applications"), QStringLiteral("application/x-a")));
    EXPECT_FALSE(file.removeKey(QStringLiteral("Default Applications"), QStringLiteral("application/x-a")));
    ASSERT_TRUE(file.save(path));
    EXPECT_EQ(testenv::readFile(path), original);

    // A value replaced in place keeps its line; a group emptied of keys goes.
    file.setValue(QStringLiteral("Default Applications"), QStringLiteral("audio/x-scpls"), QStringLiteral("x.desktop"));
    EXPECT_EQ(file.keys(QStringLiteral("Default Applications")),
              QStringList({QStringLiteral("audio/x-scpls"), QStringLiteral("image/png")}));
    file.removeKey(QStringLiteral("Default Applications"), QStringLiteral("audio/x-scpls"));
    file.removeKey(QStringLiteral("Default Applications"), QStringLiteral("image/png"));
    EXPECT_FALSE(file.keys(QStringLiteral("Added Associations")).isEmpty());
    file.removeKey(QStringLiteral("Added Associations"), QStringLiteral("text/plain"));
    file.removeKey(QStringLiteral("Removed Associations"), QStringLiteral("audio/mpeg"));
    // The comment keeps the file from being empty.
    EXPECT_FALSE(file.isEmpty());
}

TEST(KeyFile, StringValuesSurviveEscaping)
{
    const QString value = QStringLiteral(" lead\\back\nline\ttab\rret end ");
    const QString escaped = KeyFile::escapeValue(value);
    EXPECT_FALSE(escaped.contains(QLatin1Char('\n')));
    EXPECT_TRUE(escaped.startsWith(QStringLiteral("\\s")));
    EXPECT_EQ(KeyFile::unescapeValue(escaped), value);
    EXPECT_EQ(KeyFile::unescapeValue(QStringLiteral("a\\qb\\")), QStringLiteral("a\\qb\\"));
}

} // namespace
