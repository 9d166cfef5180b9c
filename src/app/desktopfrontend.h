#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "platform/frontend.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class SetupWindow;

// The front end with a display: message boxes titled "Vorlane" with an OK button,
// the tray icon with its tip and menu, and the setup window. Windows that this
// build does not have yet say so when asked for.
class DesktopFrontEnd final : public QObject, public platform::FrontEnd
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopFrontEnd)

public:
    explicit DesktopFrontEnd(QObject *parent = nullptr);
    ~DesktopFrontEnd() override;

    // What the tray menu's entries run.
    void setCommandHandler(std::function<void(platform::TrayCommand)> handler)
    {
        m_commandHandler = std::move(handler);
    }

    void showMessage(const QString &text) override;
    void showSetupWindow(bool fillFromConfiguration) override;
    void showRecordingDisplay() override;
    void captionChanged(const QString &caption) override;
    void trayChanged(const platform::TrayState &state) override;
    void exitProcess(int status) override;

private:
    void ensureTrayIcon();
    void run(platform::TrayCommand command);

    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_menu = nullptr;
    QAction *m_setup = nullptr;
    QAction *m_toggleDisplay = nullptr;
    QAction *m_listen = nullptr;
    QAction *m_startRecording = nullptr;
    QAction *m_stopRecording = nullptr;
    QAction *m_pauseRecording = nullptr;
    QAction *m_exit = nullptr;
    QPointer<SetupWindow> m_setupWindow;
    std::function<void(platform::TrayCommand)> m_commandHandler;
};
