#pragma once

#include <QWidget>

#include "platform/clock.h"
#include "ui/messagesink.h"

class CaptureBox;
class Preset;
class QLabel;
class QPushButton;
class Recorder;
class StationBar;

// The lower part of the setup window, below the pages: the station and its
// check, where and how to record, and the Record, Preview/Listen and preset
// buttons with the rule for when a recording can start. Only a station that
// passed its check is recorded, and a running recording is started again only
// after an option changed.
class StationSection final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationSection)

public:
    StationSection(const Recorder &recorder, platform::Clock &clock, MessageSink tell, QWidget *parent = nullptr);
    ~StationSection() override;

    StationBar *stationBar() const { return m_station; }
    CaptureBox *captureBox() const { return m_capture; }
    QString address() const;
    void setAddress(const QString &address);

    // Checks the address; a check that cannot start clears the title.
    void check();
    // Whether the target can be recorded to, and why a start is refused ("" when it can).
    bool isTargetReady() const;
    QString startBlocker() const;
    void updateStartButtons();
    // The user changed something the next recording would use.
    void markChanged();
    bool isChanged() const { return m_changed; }
    void clearChanged() { m_changed = false; }
    // The window opens with nothing checked.
    void disablePanel();

    // The address, title and target into a preset and back; loading counts
    // the station as checked.
    void putIn(Preset &preset) const;
    void takeFrom(const Preset &preset);

Q_SIGNALS:
    void checkRequested();
    // The check passed or failed.
    void checkEnded();
    // The recording options follow the station: offered once it passed its check.
    void panelEnabledChanged(bool enabled);
    // Whether Record and Preview are offered.
    void startAllowedChanged(bool allowed);
    void recordClicked();
    void previewClicked();
    void saveClicked();
    void openClicked();

private:
    void enablePanel();
    void setPanelEnabled(bool enabled);

    const Recorder &m_recorder;
    StationBar *m_station = nullptr;
    CaptureBox *m_capture = nullptr;
    QPushButton *m_record = nullptr;
    QPushButton *m_preview = nullptr;
    QPushButton *m_save = nullptr;
    QLabel *m_startHint = nullptr;
    bool m_changed = false;
    bool m_panelEnabled = false;
};
