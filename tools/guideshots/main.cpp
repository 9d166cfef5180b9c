// The pictures of the user guide: each window as a new user sees it, drawn
// offscreen with the program's own widgets into PNG files.
//
//   QT_QPA_PLATFORM=offscreen vorlane-guideshots data/help/images
//   vorlane-guideshots --dark FOLDER   (the same in a dark palette; with
//   QT_SCALE_FACTOR=2 the pictures show the windows at twice the size)
//
// It runs in a folder of its own (VORLANE_HOME), so no settings, station list
// or task of the user's appear in the pictures or are changed.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPixmap>
#include <QStringList>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <cstdio>

#include "config/preset.h"
#include "config/stationlist.h"
#include "darkpalette.h"
#include "engine/recorder.h"
#include "platform/alsaaudiooutput.h"
#include "platform/alsamixer.h"
#include "platform/clock.h"
#include "platform/recordingscheduler.h"
#include "ui/directorysearch.h"
#include "ui/recordingdisplay.h"
#include "ui/setupwindow.h"
#include "ui/stationdialog.h"

namespace
{

bool save(QWidget &widget, const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool saved = widget.grab().save(path);
    std::printf("%s%s\n", qPrintable(path), saved ? "" : " (not written)");
    return saved;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("VORLANE_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QStringList arguments = QApplication::arguments().mid(1);
    const bool dark = arguments.removeAll(QStringLiteral("--dark")) > 0;
    QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
    const QString folder = arguments.isEmpty() ? QStringLiteral(".") : arguments.first();
    QDir().mkpath(folder);
    bool ok = true;
    // The machine's own devices, as the program has them.
    platform::AlsaMixer mixer;
    const platform::AudioDevices audio{mixer, [] { return std::make_unique<platform::AlsaAudioOutput>(); }};
    platform::SystemctlManager serviceManager;

    {
        Preset draft;
        QNetworkAccessManager network;
        platform::SystemClock clock;
        Recorder recorder(network, clock, audio, {});
        QuitQuestion quitQuestion(clock);
        SetupWindow window(
            recorder, draft, clock, [](const QString &text) { std::fprintf(stderr, "%s\n", qPrintable(text)); },
            quitQuestion, serviceManager);
        window.stations().appendEntry(QStringLiteral("Night Jazz FM"),
                                      QStringLiteral("http://radio.example.org/jazz.pls"));
        window.stations().appendEntry(QStringLiteral("Morning Talk"),
                                      QStringLiteral("http://talk.example.org/live.m3u"));
        window.selectEntry(0);
        window.show();
        const std::pair<SetupWindow::Page, const char *> pages[] = {
            {SetupWindow::Page::Radio, "setup-radio"},
            {SetupWindow::Page::AdvancedOptions, "setup-advanced"},
            {SetupWindow::Page::Scheduler, "setup-scheduler"},
        };
        for (const auto &[page, name] : pages) {
            window.showPage(page);
            QApplication::processEvents();
            ok = save(window, folder, QString::fromLatin1(name)) && ok;
        }

        DirectorySearch search(network, &window);
        search.show();
        QApplication::processEvents();
        ok = save(search, folder, QStringLiteral("station-search")) && ok;
    }
    {
        StationDialog dialog(false, QString(), QString(), nullptr);
        dialog.show();
        QApplication::processEvents();
        ok = save(dialog, folder, QStringLiteral("station-dialog")) && ok;
    }
    {
        platform::SystemClock clock;
        QuitQuestion quitQuestion(clock);
        const Preset draft;
        RecordingDisplay display(nullptr, draft, mixer, quitQuestion);
        display.show();
        RecordingStatus status;
        status.state = RecordingStatus::State::Recording;
        status.recording = true;
        status.caption = QStringLiteral("Now Recording: Miles Ahead - So What.mp3");
        status.bitRate = 128;
        status.timed = true;
        status.minutesPassed = 12;
        status.secondsPassed = 34;
        status.hoursLeft = 0;
        status.minutesLeft = 47;
        status.secondsLeft = 26;
        status.listening = true;
        display.showStatus(status);
        QApplication::processEvents();
        ok = save(display, folder, QStringLiteral("recording-display")) && ok;
    }
    return ok ? 0 : 1;
}
