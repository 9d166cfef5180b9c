#include "app/desktopfrontend.h"

#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "app/headlessfrontend.h"
#include "app/programcontext.h"
#include "engine/recorder.h"
#include "platform/clock.h"
#include "ui/directorysearch.h"
#include "ui/recordingdisplay.h"
#include "ui/setupwindow.h"

namespace
{

const QString kProgramName = QStringLiteral("Vorlane");

// Shown without a nested event loop: the recorder goes on while it is open.
void showBox(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, kProgramName, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

// The tray tip holds 64 characters.
constexpr int kTipLength = 64;

void applyEntry(QAction *action, const platform::TrayMenuEntry &entry, const QString &caption)
{
    action->setText(caption);
    action->setEnabled(entry.enabled);
}

} // namespace

QString DesktopFrontEnd::trayCaption(const platform::TrayState &state, platform::TrayCommand entry)
{
    switch (entry) {
    case platform::TrayCommand::Setup:
        return tr("Set up new recording");
    case platform::TrayCommand::ToggleDisplay:
        return state.toggleDisplay.on ? tr("Hide Recording Display") : tr("Show Recording Display");
    case platform::TrayCommand::Listen:
        return state.listen.on ? tr("Stop listening to recording") : tr("Listen to recording");
    case platform::TrayCommand::StartRecording:
        return tr("Start Recording");
    case platform::TrayCommand::StopRecording:
        return tr("Stop Recording");
    case platform::TrayCommand::PauseRecording:
        return state.pauseRecording.on ? tr("Unpause Recording") : tr("Pause Recording");
    case platform::TrayCommand::Exit:
        if (state.exit.on)
            return tr("Stop Recording and Exit");
        return state.beforeFirstRecording ? tr("E&xit") : tr("Exit");
    case platform::TrayCommand::DoubleClick:
        break;
    }
    return QString();
}

QIcon DesktopFrontEnd::trayIcon(platform::TrayLook look)
{
    // The panel's theme where it has the picture; our own drawings, outlined
    // for light and dark panels alike, where it does not.
    const auto themed = [](const char *theme, const char *fallback) {
        return QIcon::fromTheme(
            QString::fromLatin1(theme),
            QIcon(QStringLiteral(":/vorlane/icons/") + QString::fromLatin1(fallback) + QStringLiteral(".svg")));
    };
    switch (look) {
    case platform::TrayLook::Recording:
        return themed("media-record", "tray-recording");
    case platform::TrayLook::Paused:
        return themed("media-playback-pause", "tray-paused");
    case platform::TrayLook::Error:
        return themed("dialog-error", "tray-error");
    case platform::TrayLook::Idle:
        break;
    }
    return QIcon(QStringLiteral(":/vorlane/icons/tray-idle.svg"));
}

DesktopFrontEnd::DesktopFrontEnd(platform::Clock &clock, QNetworkAccessManager &network,
                                 const platform::AudioDevices &audio, platform::ServiceManager &serviceManager,
                                 QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_serviceManager(serviceManager)
    , m_quitQuestion(clock)
    , m_context(*this, clock, network, audio)
{}

DesktopFrontEnd::~DesktopFrontEnd()
{
    // The windows refer to this object and to the context's recorder: they go first.
    m_context.unloadAll();
    delete m_menu;
}

void DesktopFrontEnd::showMessage(const QString &text)
{
    showBox(HeadlessFrontEnd::messageText(text));
}

void DesktopFrontEnd::showSetupWindow(bool fillFromDraft)
{
    if (!m_setupWindow) {
        // At start-up the window is asked for before the recorder is loaded;
        // loading it may have opened the window already.
        Recorder *recorder = m_context.loadRecorder();
        if (m_setupWindow) {
            showSetupWindow(fillFromDraft);
            return;
        }
        // A new window fills itself from a complete preset record.
        m_setupWindow = new SetupWindow(
            *recorder, m_context.configuration(), m_clock, [this](const QString &text) { showMessage(text); },
            m_quitQuestion, m_serviceManager);
        m_setupWindow->setAttribute(Qt::WA_DeleteOnClose);
        // Every way out of the program (the tray's Exit, a signal) keeps the
        // station list and the options, not only closing the window.
        m_context.setWindowUnloader(ProgramWindow::Setup, [window = m_setupWindow] {
            if (window) {
                window->saveState();
                window->hide();
                window->deleteLater();
            }
        });
        // The display, once it exists, lives docked under the setup window.
        connect(m_setupWindow, &SetupWindow::frameMoved, this, [this] {
            if (loadedRecordingDisplay())
                dockDisplay();
        });
        connect(m_setupWindow, &SetupWindow::displayWanted, this, [this] {
            if (loadedRecordingDisplay())
                showRecordingDisplay();
        });
        connect(m_setupWindow, &SetupWindow::directorySearchRequested, this, &DesktopFrontEnd::showDirectorySearch);
        connect(m_setupWindow, &SetupWindow::stationStarted, this, [this](const QString &address) {
            if (m_directorySearch)
                m_directorySearch->stationStarted(address);
            // Record and Preview always show what they started, tray or not.
            showRecordingDisplay();
        });
    } else if (fillFromDraft) {
        m_setupWindow->loadFromPreset();
    }
    // Opened from the tray, the window goes back to the tray when minimised.
    m_setupWindow->setHidesWhenMinimised(m_context.setupOpenedFromTray);
    if (m_setupWindow->isMinimized())
        m_setupWindow->showNormal();
    else
        m_setupWindow->show();
    m_setupWindow->raise();
    m_setupWindow->activateWindow();
}

void DesktopFrontEnd::showDirectorySearch()
{
    if (!m_setupWindow)
        return;
    if (!m_directorySearch) {
        // A child of the setup window: it goes with it, and it remembers the
        // stations it offered for as long as their clicks may be counted.
        m_directorySearch = new DirectorySearch(m_context.network(), m_setupWindow);
        connect(m_directorySearch, &DirectorySearch::stationChosen, m_setupWindow,
                [window = m_setupWindow](const QString &name, const QString &address) {
                    if (window)
                        window->addStationFor(address, name);
                });
        m_context.setWindowUnloader(ProgramWindow::DirectorySearch, [search = m_directorySearch] {
            if (search)
                search->deleteLater();
        });
    }
    if (m_directorySearch->isMinimized()) {
        m_directorySearch->showNormal();
    } else {
        if (!m_directorySearch->isVisible())
            placeBeside(m_directorySearch, m_setupWindow);
        m_directorySearch->show();
    }
    m_directorySearch->raise();
    m_directorySearch->activateWindow();
}

void DesktopFrontEnd::placeBeside(QWidget *window, const QWidget *anchor)
{
    const QScreen *screen = anchor->screen();
    if (!screen)
        return;
    // Right of the anchor if there is room, else left, else as far right as fits.
    const QRect area = screen->availableGeometry();
    const QRect frame = anchor->frameGeometry();
    const QSize size = window->size().boundedTo(area.size());
    int left = frame.right() + 1;
    if (left + size.width() > area.right() + 1)
        left =
            frame.left() - size.width() >= area.left() ? frame.left() - size.width() : area.right() + 1 - size.width();
    const int top = std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    window->move(left, top);
}

void DesktopFrontEnd::showRecordingDisplay()
{
    ensureMenu();
    recordingDisplay().setContextMenu(m_menu);
    // Placed before it is shown, so it never appears somewhere else first.
    dockDisplay();
    recordingDisplay().showAndRaise();
}

void DesktopFrontEnd::dockDisplay()
{
    RecordingDisplay *display = loadedRecordingDisplay();
    if (!display || !m_setupWindow || !m_setupWindow->isVisible() || m_setupWindow->isMinimized())
        return;
    const QScreen *screen = m_setupWindow->screen();
    if (!screen)
        return;
    const QRect frame = m_setupWindow->frameGeometry();
    const QSize decoration = frame.size() - m_setupWindow->size();
    const DockedPlaces places = fitDockedPair(frame, display->height(), screen->availableGeometry(),
                                              m_setupWindow->minimumSizeHint().height() + decoration.height());
    // Moving the window docks the display again through its frameMoved; a
    // place it is already at changes nothing, so this settles at once.
    // Set as the client area: the frame's offset is the one the window manager gave it.
    if (places.frame != frame)
        m_setupWindow->setGeometry(
            QRect(places.frame.topLeft() + (m_setupWindow->geometry().topLeft() - frame.topLeft()),
                  places.frame.size() - decoration));
    display->setGeometry(places.display);
}

void DesktopFrontEnd::toggleRecordingDisplay()
{
    ensureMenu();
    recordingDisplay().setContextMenu(m_menu);
    dockDisplay();
    // Without a tray a hidden display could not be brought back.
    recordingDisplay().toggle(hasTray());
}

RecordingDisplay *DesktopFrontEnd::loadedRecordingDisplay() const
{
    return m_display.data();
}

RecordingDisplay &DesktopFrontEnd::recordingDisplay()
{
    if (!m_display) {
        m_display = new RecordingDisplay(m_context.recorder(), m_context.configuration(), m_context.audio().mixer,
                                         m_quitQuestion);
        m_context.setWindowUnloader(ProgramWindow::RecordingDisplay, [display = m_display] {
            if (display) {
                display->hide();
                // The exit may start inside one of the display's own handlers.
                display->deleteLater();
            }
        });
    }
    return *m_display;
}

void DesktopFrontEnd::bringWindowsForward()
{
    QList<QWidget *> windows;
    if (RecordingDisplay *display = loadedRecordingDisplay(); display && display->isVisible())
        windows.append(display);
    const QList<QWidget *> topLevels = QApplication::topLevelWidgets();
    for (QWidget *window : topLevels) {
        if (window->isVisible() && !windows.contains(window) && window != m_menu &&
            !(window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip))
            windows.append(window);
    }
    for (QWidget *window : std::as_const(windows)) {
        if (window->isMinimized())
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->raise();
        window->activateWindow();
    }
}

QAction *DesktopFrontEnd::addOption(const QString &caption, bool checked, std::function<void(bool)> changed)
{
    ensureMenu();
    auto *action = new QAction(caption, m_menu);
    action->setCheckable(true);
    action->setChecked(checked);
    connect(action, &QAction::toggled, this, [changed = std::move(changed)](bool on) { changed(on); });
    m_menu->insertAction(m_optionsEnd, action);
    return action;
}

void DesktopFrontEnd::captionChanged(const QString &)
{
    // Shown by the recording display, which polls the engine itself.
}

void DesktopFrontEnd::trayChanged(const platform::TrayState &state)
{
    ensureTrayIcon();
    if (m_tray)
        m_tray->setToolTip(state.tip.left(kTipLength));
    if (m_look != state.look) {
        m_look = state.look;
        if (m_tray)
            m_tray->setIcon(trayIcon(m_look));
    }
    applyEntry(m_setup, state.setup, trayCaption(state, platform::TrayCommand::Setup));
    applyEntry(m_toggleDisplay, state.toggleDisplay, trayCaption(state, platform::TrayCommand::ToggleDisplay));
    applyEntry(m_listen, state.listen, trayCaption(state, platform::TrayCommand::Listen));
    applyEntry(m_startRecording, state.startRecording, trayCaption(state, platform::TrayCommand::StartRecording));
    applyEntry(m_stopRecording, state.stopRecording, trayCaption(state, platform::TrayCommand::StopRecording));
    applyEntry(m_pauseRecording, state.pauseRecording, trayCaption(state, platform::TrayCommand::PauseRecording));
    applyEntry(m_exit, state.exit, trayCaption(state, platform::TrayCommand::Exit));
    // Stop is offered exactly while a recording runs. Without a tray the
    // display is the only handle on a recording, so it opens with each one.
    const bool recording = state.stopRecording.enabled;
    if (!m_tray && recording && !m_wasRecording)
        showRecordingDisplay();
    m_wasRecording = recording;
}

void DesktopFrontEnd::exitProcess(int status)
{
    if (m_tray)
        m_tray->hide();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

void DesktopFrontEnd::run(platform::TrayCommand command)
{
    if (m_commandHandler)
        m_commandHandler(command);
}

void DesktopFrontEnd::ensureMenu()
{
    if (m_menu)
        return;
    m_menu = new QMenu;
    m_setup = m_menu->addAction(QString());
    m_menu->addSeparator();
    m_toggleDisplay = m_menu->addAction(QString());
    m_listen = m_menu->addAction(QString());
    m_startRecording = m_menu->addAction(QString());
    m_stopRecording = m_menu->addAction(QString());
    m_pauseRecording = m_menu->addAction(QString());
    m_optionsEnd = m_menu->addSeparator();
    m_exit = m_menu->addAction(QString());
    const std::pair<QAction *, platform::TrayCommand> commands[] = {
        {m_setup, platform::TrayCommand::Setup},
        {m_toggleDisplay, platform::TrayCommand::ToggleDisplay},
        {m_listen, platform::TrayCommand::Listen},
        {m_startRecording, platform::TrayCommand::StartRecording},
        {m_stopRecording, platform::TrayCommand::StopRecording},
        {m_pauseRecording, platform::TrayCommand::PauseRecording},
        {m_exit, platform::TrayCommand::Exit},
    };
    for (const auto &[action, command] : commands)
        connect(action, &QAction::triggered, this, [this, command = command] { run(command); });
}

void DesktopFrontEnd::ensureTrayIcon()
{
    ensureMenu();
    // Plain GNOME has no tray: then there is no icon, and nothing fails.
    if (m_tray || m_trayChecked)
        return;
    m_trayChecked = true;
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray = new QSystemTrayIcon(trayIcon(m_look), this);
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            bringWindowsForward();
        else if (reason == QSystemTrayIcon::DoubleClick)
            run(platform::TrayCommand::DoubleClick);
    });
    m_tray->show();
}
