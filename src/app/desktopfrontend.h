#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "app/programcontext.h"
#include "app/programwindows.h"
#include "platform/audiodevices.h"
#include "platform/clock.h"
#include "platform/frontend.h"
#include "ui/confirmquitdialog.h"

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;
class QWidget;
class DirectorySearch;
class QNetworkAccessManager;
class RecordingDisplay;
class SetupWindow;

namespace platform
{
class ServiceManager;
} // namespace platform

// The front end with a display: message boxes titled "Vorlane" with an OK button,
// the recording display, the setup window, and the tray icon with its tip and
// menu. Where the desktop has no tray, the display opens with each recording
// and its right click offers the same menu. It owns the run's context, which
// reports to it, and the one quit question, and builds its windows from them
// and the service manager it is given.
class DesktopFrontEnd final : public QObject, public platform::FrontEnd, public ProgramWindows
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopFrontEnd)

public:
    DesktopFrontEnd(platform::Clock &clock, QNetworkAccessManager &network, const platform::AudioDevices &audio,
                    platform::ServiceManager &serviceManager, QObject *parent = nullptr);
    ~DesktopFrontEnd() override;

    ProgramContext &context() { return m_context; }

    // What the tray menu's entries and the icon's clicks run.
    void setCommandHandler(std::function<void(platform::TrayCommand)> handler)
    {
        m_commandHandler = std::move(handler);
    }

    void showMessage(const QString &text) override;
    void showSetupWindow(bool fillFromDraft) override;
    void showRecordingDisplay() override;
    void toggleRecordingDisplay() override;
    void captionChanged(const QString &caption) override;
    void trayChanged(const platform::TrayState &state) override;
    void exitProcess(int status) override;

    // A checkable menu entry of our own, placed before the exit entry.
    QAction *addOption(const QString &caption, bool checked, std::function<void(bool)> changed);
    bool hasTray() const { return m_tray != nullptr; }
    QMenu *menu() const { return m_menu; }
    // The look the tray icon shows (also kept where the desktop has no tray).
    platform::TrayLook trayLook() const { return m_look; }
    static QIcon trayIcon(platform::TrayLook look);
    // The words of a tray menu entry in the given state.
    static QString trayCaption(const platform::TrayState &state, platform::TrayCommand entry);
    // The icon was pressed: the open windows come forward, the display first.
    void bringWindowsForward();
    // The program's one display, created on first use for the program's
    // recorder; the exit routine unloads it.
    RecordingDisplay &recordingDisplay();
    // The display if it was created, else nullptr.
    RecordingDisplay *loadedRecordingDisplay() const;

private:
    void ensureMenu();
    void ensureTrayIcon();
    void run(platform::TrayCommand command);
    void showDirectorySearch();
    // Keeps the display docked under the setup window, the two wholly on its screen.
    void dockDisplay();
    static void placeBeside(QWidget *window, const QWidget *anchor);

    platform::Clock &m_clock;
    platform::ServiceManager &m_serviceManager;
    // Outlives the context: its question goes with the recorder.
    QuitQuestion m_quitQuestion;
    // Declared after what it is given, and first among what goes with it.
    ProgramContext m_context;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_setup = nullptr;
    QAction *m_toggleDisplay = nullptr;
    QAction *m_listen = nullptr;
    QAction *m_startRecording = nullptr;
    QAction *m_stopRecording = nullptr;
    QAction *m_pauseRecording = nullptr;
    QAction *m_exit = nullptr;
    QAction *m_optionsEnd = nullptr; // the separator before the exit entry
    bool m_wasRecording = false;
    platform::TrayLook m_look = platform::TrayLook::Idle;
    bool m_trayChecked = false; // whether the desktop has a tray was asked once
    QPointer<SetupWindow> m_setupWindow;
    QPointer<RecordingDisplay> m_display;
    QPointer<DirectorySearch> m_directorySearch; // lives with the setup window
    std::function<void(platform::TrayCommand)> m_commandHandler;
};
