#pragma once

#include <QWidget>

#include "ui/messagesink.h"

class Preset;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class SpinnerBox;
struct SetupSettings;

// The Advanced Options page: the recording options (time limit, listening,
// paused start, archive clean-up, reconnecting), how title files are cut and
// tagged, the external player, the web agent, the station directory server and
// the HLS variant. Reconnecting and everything after it are stored as soon as
// they change; the others go with the window's options.
class AdvancedPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AdvancedPage)

public:
    explicit AdvancedPage(MessageSink tell, QWidget *parent = nullptr);
    ~AdvancedPage() override;

    void applySettings(const SetupSettings &settings);
    void saveInto(SetupSettings &settings) const;
    void putIn(Preset &preset) const;
    void takeFrom(const Preset &preset);

    // The recording options are for a checked station only.
    void setRecordingOptionsEnabled(bool enabled);
    // Whether a station check hands the address to the external player, and
    // the player.
    bool usesExternalPlayer() const;
    QString externalPlayer() const;
    // The directory server, stored when it is a server address.
    void storeDirectoryServer();

Q_SIGNALS:
    // The user changed something the next recording would use.
    void changed();

private:
    void browsePlayer();

    MessageSink m_tell;
    QGroupBox *m_recordings = nullptr;
    QCheckBox *m_timed = nullptr;
    SpinnerBox *m_minutes = nullptr;
    QCheckBox *m_exitWhenDone = nullptr;
    QCheckBox *m_listen = nullptr;
    QCheckBox *m_startPaused = nullptr;
    QCheckBox *m_cleanup = nullptr;
    SpinnerBox *m_days = nullptr;
    SpinnerBox *m_reconnectMinutes = nullptr;
    QCheckBox *m_useExternal = nullptr;
    QLineEdit *m_externalPlayer = nullptr;
    QCheckBox *m_browserAgent = nullptr;
    QCheckBox *m_hlsLowest = nullptr; // stored at once
    // How title files are cut and tagged; stored at once.
    QCheckBox *m_splitAtPauses = nullptr;
    SpinnerBox *m_pauseSearchSeconds = nullptr;
    QCheckBox *m_id3v2Tags = nullptr;
    QLineEdit *m_directoryServer = nullptr;
};
