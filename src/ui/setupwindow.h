#pragma once

#include <QMainWindow>

#include "config/preset.h"
#include "ui/messagesink.h"

class AdvancedPage;
class PageBar;
class QMimeData;
class QStackedWidget;
class QuitQuestion;
class Recorder;
class SchedulerPage;
class StationSection;
class StationList;
class StationListPanel;

namespace platform
{
class Clock;
class ServiceManager;
} // namespace platform

// The recording setup window: the station list, the station check, where and
// how to record, and Record and Preview/Listen. It edits the draft preset and
// starts each recording from a copy of it; it follows the recorder through its
// signals. Closing it asks the recorder to end the program, which saves the
// window's station list and options through saveState.
class SetupWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SetupWindow)

public:
    enum class Page
    {
        Radio,
        AdvancedOptions,
        Scheduler,
        About,
    };

    // Loads the options and the station list; fills the window from the draft
    // when that holds a complete configuration.
    // Closing it during a recording asks quitQuestion; schedules go to serviceManager.
    SetupWindow(Recorder &recorder, Preset &draft, platform::Clock &clock, MessageSink tell, QuitQuestion &quitQuestion,
                platform::ServiceManager &serviceManager, QWidget *parent = nullptr);
    ~SetupWindow() override;

    StationList &stations() { return *m_stations; }
    Page currentPage() const;
    void showPage(Page page);
    // Opened from the tray, the window goes back to the tray when minimised.
    void setHidesWhenMinimised(bool hides) { m_hidesWhenMinimised = hides; }

    // The window's operations.
    // Checks the station address (or hands it to the external player).
    void checkStation();
    // The window's fields into the draft, and back.
    void putInPreset();
    void fillPreset(Preset &preset) const;
    void loadFromPreset();
    void record();
    void preview();
    void stop();
    // Ends the program, asking first while a recording runs unpaused.
    void quit();
    // Loads a preset file into the draft and the window; false (nothing
    // changed) when it is bad.
    bool openPresetFile(const QString &path);
    // Saves the window as a preset file; false after showing why it failed.
    bool savePresetFile(const QString &path);
    // A drop of text, links or files onto the station list.
    void dropStation(const QMimeData *mime);
    // Opens the Add Station dialog with the address (and a name, when known)
    // filled in; a confirmed dialog adds the entry and checks it.
    void addStationFor(const QString &address, const QString &name = QString());
    // The station list's "Schedule...": the Scheduler page, set to play the
    // selected station.
    void scheduleSelectedStation();
    // Writes the station list and the options, once per run of the window.
    void saveState();

    // The selected row of the station list, or -1.
    int selectedEntry() const;
    void selectEntry(int row);

Q_SIGNALS:
    // Where the window's frame now is: the recording display docks beneath it.
    void frameMoved(const QRect &frame);
    // The window opened: the recording display, once there is one, shows too.
    void displayWanted();
    // The Search menu's station directory search.
    void directorySearchRequested();
    // Record or Preview/Listen started a recording of this station address.
    void stationStarted(const QString &address);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildWindow(platform::Clock &clock, platform::ServiceManager &serviceManager);
    void buildMenus();

    void onStationActivated(int row);
    void onStationEdited(int row, const QString &oldAddress, const QString &newAddress);
    void markChanged();
    void start(bool previewOnly);

    void chooseOpenPreset();
    void chooseSavePreset();
    void openDirectorySearch();

    Recorder &m_recorder;
    Preset &m_draft;
    platform::Clock &m_clock;
    MessageSink m_tell;
    QuitQuestion &m_quitQuestion;
    StationList *m_stations = nullptr;

    StationSection *m_section = nullptr;

    // Pages.
    QStackedWidget *m_pages = nullptr;
    PageBar *m_pageBar = nullptr;
    StationListPanel *m_stationPanel = nullptr;
    AdvancedPage *m_advanced = nullptr;
    SchedulerPage *m_scheduler = nullptr;

    bool m_saved = false;
    bool m_starting = false;
    bool m_hidesWhenMinimised = false;
};
