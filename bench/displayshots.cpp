// Pictures of the recording display in each of its states, in a light and a
// dark palette, to look at after a change of its look. The scale follows
// QT_SCALE_FACTOR (run once with 1 and once with 2).
//
//   QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 display_shots <folder>
#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QPixmap>
#include <QStyle>
#include <QStyleFactory>

#include <cstdio>

#include "config/preset.h"
#include "darkpalette.h"
#include "platform/alsamixer.h"
#include "platform/clock.h"
#include "ui/recordingdisplay.h"
#include "ui/slider.h"

namespace
{

RecordingStatus recording(const QString &caption)
{
    RecordingStatus status;
    status.state = RecordingStatus::State::Recording;
    status.recording = true;
    status.caption = caption;
    status.bitRate = 128;
    status.timed = true;
    status.hoursPassed = 0;
    status.minutesPassed = 12;
    status.secondsPassed = 34;
    status.hoursLeft = 1;
    status.minutesLeft = 47;
    status.secondsLeft = 26;
    return status;
}

void save(QWidget &widget, const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
    widget.grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);
    platform::SystemClock clock;
    platform::AlsaMixer mixer;
    QuitQuestion quitQuestion(clock);
    const QString scale = QString::number(qRound(qApp->devicePixelRatio())) + QStringLiteral("x");

    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        const QString suffix = (dark ? QStringLiteral("-dark-") : QStringLiteral("-light-")) + scale;
        const Preset draft;
        RecordingDisplay display(nullptr, draft, mixer, quitQuestion);
        display.volumeSlider()->setValue(-71);
        display.show();
        save(display, folder, QStringLiteral("stopped") + suffix);

        RecordingStatus status = recording(QStringLiteral("Now Recording: Miles Ahead - So What.mp3"));
        status.listening = true;
        display.showStatus(status);
        save(display, folder, QStringLiteral("recording") + suffix);

        status.paused = true;
        status.state = RecordingStatus::State::Paused;
        status.caption = QStringLiteral("PAUSED...Miles Ahead - So What.mp3");
        display.showStatus(status);
        save(display, folder, QStringLiteral("paused") + suffix);

        status = recording(QStringLiteral("[ERR] NETWORK: Awaiting data..."));
        status.bitRate = 0;
        display.showStatus(status);
        save(display, folder, QStringLiteral("error") + suffix);

        status = recording(QStringLiteral(
            "Now Recording: The Long Ensemble - A Very Long Song Title That Keeps Scrolling Across The Display.mp3"));
        display.showStatus(status);
        for (int i = 0; i < 137; ++i)
            display.tick();
        save(display, folder, QStringLiteral("scrolling") + suffix);

        display.toggleTimeMode();
        display.tick();
        save(display, folder, QStringLiteral("remaining") + suffix);

        // Docked under a wider window: everything keeps its proportion.
        display.dockUnder(QRect(0, 0, 560, 300));
        display.tick();
        save(display, folder, QStringLiteral("wide") + suffix);
    }
    return 0;
}
