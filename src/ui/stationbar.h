#pragma once

#include <QWidget>

#include "platform/clock.h"
#include "ui/messagesink.h"

class PlaylistReader;
class QNetworkAccessManager;
class QLabel;
class QLineEdit;
class QToolButton;

// The setup window's Station row: the station address, its Check button, and
// the check's progress and result. A check reads the station's playlist (or
// takes a stream address as it is); what a checked station enables is the
// window's.
class StationBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationBar)

public:
    StationBar(MessageSink tell, QNetworkAccessManager &network, platform::Clock &clock, QWidget *parent = nullptr);
    ~StationBar() override;

    QString address() const;
    void setAddress(const QString &address);
    void clearAddress();
    QLineEdit *addressBox() const { return m_address; }
    QToolButton *checkButton() const { return m_check; }
    // The progress line, shown while a check runs; the window places it.
    QLabel *progressLabel() const { return m_connecting; }

    // Starts the check of the address; false (after saying why) when the
    // address is neither a playlist nor a stream.
    bool check();
    bool isChecking() const;
    void hideProgress();
    // Check is pressable while the address holds something, or always.
    void setCheckAlwaysEnabled(bool always);

Q_SIGNALS:
    // The check passed: the station's first title (may be empty).
    void checked(const QString &title);
    void checkFailed();
    // Return in the address box or the Check button.
    void checkRequested();

private:
    void showResult(bool ok, const QString &text);

    MessageSink m_tell;
    PlaylistReader *m_reader = nullptr;
    QLineEdit *m_address = nullptr;
    QToolButton *m_check = nullptr;
    QLabel *m_connecting = nullptr;
    QLabel *m_result = nullptr;
    bool m_checkAlwaysEnabled = false;
};
