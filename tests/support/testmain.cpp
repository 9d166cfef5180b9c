// Test entry point: every test process runs with its own temporary HOME,
// XDG folders and program folder, never touching the user's own files, and
// without the machine's sound card: players write to a null output and the
// master volume reads as unknown (-1) unless a test installs its own.
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "fakemixer.h"
#include "platform/audiooutput.h"
#include "platform/nullaudiooutput.h"

#ifdef VORLANE_TEST_WIDGETS
#include <QApplication>
#endif

int main(int argc, char **argv)
{
    FakeMixer noMixer;
    noMixer.hasSpeakerLine = false;
    platform::setAudioOutputFactory([] { return std::make_unique<platform::NullAudioOutput>(); });

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
