#include "app/desktopfrontend.h"

#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>

#include "app/headlessfrontend.h"

namespace
{

const QString kProgramName = QStringLiteral("Vorlane");

QIcon programIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(64, 0, 0), 2));
    painter.setBrush(QColor(255, 0, 0));
    painter.drawEllipse(QRectF(4, 4, 24, 24));
    return QIcon(pixmap);
}

void notBuilt(const QString &window)
{
    QMessageBox::information(nullptr, kProgramName, window + QStringLiteral(" is not available in this build."),
                             QMessageBox::Ok);
}

void applyEntry(QAction *action, const platform::TrayMenuEntry &entry)
{
    action->setText(entry.caption);
    action->setEnabled(entry.enabled);
}

} // namespace

DesktopFrontEnd::DesktopFrontEnd(QObject *parent)
    : QObject(parent)
{}

DesktopFrontEnd::~DesktopFrontEnd()
{
    delete m_menu;
}

void DesktopFrontEnd::showMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, kProgramName, HeadlessFrontEnd::messageText(text), QMessageBox::Ok);
    box.exec();
}

void DesktopFrontEnd::showSetupWindow(bool)
{
    notBuilt(QStringLiteral("The recording setup window"));
}

void DesktopFrontEnd::showRecordingDisplay()
{
    notBuilt(QStringLiteral("The recording display"));
}

void DesktopFrontEnd::captionChanged(const QString &)
{
    // Shown by the recording display, which polls the engine itself.
}

void DesktopFrontEnd::trayChanged(const platform::TrayState &state)
{
    ensureTrayIcon();
    m_tray->setToolTip(state.tip);
    applyEntry(m_setup, state.setup);
    applyEntry(m_toggleDisplay, state.toggleDisplay);
    applyEntry(m_listen, state.listen);
    applyEntry(m_startRecording, state.startRecording);
    applyEntry(m_stopRecording, state.stopRecording);
    applyEntry(m_pauseRecording, state.pauseRecording);
    applyEntry(m_exit, state.exit);
}

void DesktopFrontEnd::exitProcess(int status)
{
    if (m_tray)
        m_tray->hide();
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

void DesktopFrontEnd::ensureTrayIcon()
{
    if (m_tray)
        return;
    m_menu = new QMenu;
    m_setup = m_menu->addAction(QString());
    m_menu->addSeparator();
    m_toggleDisplay = m_menu->addAction(QString());
    m_listen = m_menu->addAction(QString());
    m_startRecording = m_menu->addAction(QString());
    m_stopRecording = m_menu->addAction(QString());
    m_pauseRecording = m_menu->addAction(QString());
    m_menu->addSeparator();
    m_exit = m_menu->addAction(QString());
    connect(m_setup, &QAction::triggered, this, [this] { showSetupWindow(false); });
    connect(m_exit, &QAction::triggered, this, [this] {
        if (m_exitHandler)
            m_exitHandler();
    });

    m_tray = new QSystemTrayIcon(programIcon(), this);
    m_tray->setContextMenu(m_menu);
    m_tray->show();
}
