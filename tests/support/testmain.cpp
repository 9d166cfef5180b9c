// Test entry point: every test process runs with its own temporary HOME,
// XDG folders and program folder, never touching the user's own files. The
// machine's sound card is not used: tests hand their objects stand-ins
// (tests/support/testdevices.h).
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef VORLANE_TEST_WIDGETS
#include <QApplication>
#endif

int main(int argc, char **argv)
{
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/vorlane-test-XXXXXX"));
    if (!home.isValid())
        return 2;
    const QByteArray root = QFile::encodeName(home.path());
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/.config");
    qputenv("XDG_DATA_HOME", root + "/.local/share");
    qputenv("XDG_CACHE_HOME", root + "/.cache");
    qputenv("VORLANE_HOME", root + "/vorlane");

    ::testing::InitGoogleTest(&argc, argv);
#ifdef VORLANE_TEST_WIDGETS
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
