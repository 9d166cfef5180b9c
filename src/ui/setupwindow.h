#pragma once

#include <QMainWindow>
#include <QPointer>

class LocalPresetSearch;
class PlaylistReader;
class QAbstractButton;
class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTextBrowser;
class QToolButton;
class QTreeView;
class Preset;
class Recorder;
class SchedulerPage;
class SpinnerBox;
class StationList;
struct SetupSettings;
struct SetupWindowState;

// The recording setup window: the station list, the station check, where and
// how to record, and Record and Preview/Listen. It fills the program's preset
// record and starts the recorder through its commands, and follows the
// recorder through its signals. Closing it saves the station list and the
// options and ends the program.
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

    // Loads the options and the station list; fills the window from the preset
    // record when that holds a complete configuration.
    explicit SetupWindow(QWidget *parent = nullptr);
    ~SetupWindow() override;

    // The recorder the window drives; taken from the program when it exists.
    void attachRecorder(Recorder *recorder);

    StationList &stations() { return *m_stations; }
    Page currentPage() const;
    void showPage(Page page);

    // The window's operations.
    // Checks the station address (or hands it to the external player).
    void checkStation();
    // Accepts or refuses the path box's text; true when accepted.
    bool acceptPath();
    void chooseCaptureMode(int mode);
    bool validateSetup(bool noUpdate);
    void putInPreset();
    void fillPreset(Preset &preset) const;
    void loadFromPreset();
    void record();
    void preview();
    void stop();
    // Ends the program, asking first while a recording runs unpaused.
    void quit();
    // Loads a preset file into the window; false (nothing changed) when it is bad.
    bool openPresetFile(const QString &path);
    // Saves the window as a preset file; false after showing why it failed.
    bool savePresetFile(const QString &path);
    // A drop of text, links or files onto the station list.
    void dropStation(const QMimeData *mime);
    // The path box's drop rule: a folder in folder mode, a file in file mode.
    void dropPath(const QMimeData *mime);
    // Opens the Add Station dialog with the address (and a name, when known)
    // filled in; a confirmed dialog adds the entry and checks it.
    void addStationFor(const QString &address, const QString &name = QString());
    // The station list's "Schedule...": the Scheduler page, set to play the
    // selected station.
    void scheduleSelectedStation();
    // The Advanced page's directory server, stored when it is a server address.
    void storeDirectoryServer();

    bool isPathAccepted() const { return m_pathOk; }
    bool isChanged() const { return m_changed; }
    bool isFolderMode() const;
    // The 1-based entry selected in the list, or -1.
    int selectedEntry() const;
    void selectEntry(int entry);

    // Pure rules, public for tests.
    // True when a file can be written at the path: an existing writable file,
    // or a new one that could be created (and is removed again).
    static bool canWriteFile(const QString &path);
    // The folder part of a single-file path (up to and including its last
    // separator) and the name after it.
    static QString folderPart(const QString &path);
    static QString namePart(const QString &path);

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
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    QWidget *buildStationSection();
    QWidget *buildRadioPage();
    QWidget *buildAdvancedPage();
    QWidget *buildSchedulerPage();
    QWidget *buildAboutPage();
    void buildMenus();
    void placeOnScreen(const SetupWindowState &remembered);
    void watchCompanions(QMenu *menu);

    void applySettings(const SetupSettings &settings);
    SetupSettings currentSettings() const;

    void onCheckFinished();
    void onCheckFailed(int code);
    void enablePanel();
    void disablePanel();
    void setPanelEnabled(bool enabled);
    void updateStartButtons();
    // Why Record and Preview cannot start now ("" when they can).
    QString startBlocker() const;
    void showCheckResult(bool ok, const QString &text);
    bool isRecorderBusy() const;
    void markChanged();
    void start(bool previewOnly);

    void browsePath();
    void browsePlayer();
    void onUseExternalToggled(bool on);
    void chooseOpenPreset();
    void chooseSavePreset();
    void showStationMenu(const QPoint &position);
    void onStationClicked(const QModelIndex &index);
    void addStation();
    void editStation();
    void removeStations();
    void removeAllStations();
    // The 1-based entry with exactly this address, or -1.
    int findEntry(const QString &address) const;
    void openLocalSearch();
    void openDirectorySearch();
    void launchCompanion(const QString &program);
    void openHelp();
    void tell(const QString &text);
    // Writes the station list and the options, once per run of the window.
    void saveState();

    StationList *m_stations = nullptr;
    PlaylistReader *m_reader = nullptr;
    QPointer<Recorder> m_recorder;
    QPointer<LocalPresetSearch> m_localSearch;

    // Station section.
    QLineEdit *m_address = nullptr;
    QToolButton *m_check = nullptr;
    QLabel *m_connecting = nullptr;
    QLabel *m_checkResult = nullptr;
    QLabel *m_startHint = nullptr;
    QLabel *m_titleLabel = nullptr;
    QLineEdit *m_title = nullptr;
    QLabel *m_pathLabel = nullptr;
    QLineEdit *m_path = nullptr;
    QToolButton *m_browsePath = nullptr;
    QRadioButton *m_streamTitles = nullptr;
    QRadioButton *m_datedArchive = nullptr;
    QRadioButton *m_singleFile = nullptr;
    QButtonGroup *m_captureGroup = nullptr;
    QGroupBox *m_setupGroup = nullptr;
    QGroupBox *m_dateMode = nullptr;
    QLineEdit *m_archivePrefix = nullptr;
    QPushButton *m_record = nullptr;
    QPushButton *m_preview = nullptr;
    QPushButton *m_save = nullptr;
    QPushButton *m_open = nullptr;

    // Pages.
    QStackedWidget *m_pages = nullptr;
    QTreeView *m_stationView = nullptr;
    QGroupBox *m_recordings = nullptr;
    QCheckBox *m_timed = nullptr;
    QLabel *m_minutesLabel = nullptr;
    SpinnerBox *m_minutes = nullptr;
    QCheckBox *m_exitWhenDone = nullptr;
    QCheckBox *m_listen = nullptr;
    QCheckBox *m_startPaused = nullptr;
    QCheckBox *m_cleanup = nullptr;
    QLabel *m_daysLabel = nullptr;
    SpinnerBox *m_days = nullptr;
    SpinnerBox *m_reconnectMinutes = nullptr;
    QCheckBox *m_useExternal = nullptr;
    QLineEdit *m_externalPlayer = nullptr;
    QToolButton *m_browsePlayer = nullptr;
    QCheckBox *m_browserAgent = nullptr;
    QLineEdit *m_directoryServer = nullptr;
    SchedulerPage *m_scheduler = nullptr;
    QTextBrowser *m_about = nullptr;
    QMenu *m_stationMenu = nullptr;
    QMenu *m_toolsMenu = nullptr;
    QMenu *m_searchMenu = nullptr;
    QButtonGroup *m_pageButtons = nullptr;

    bool m_pathOk = false;
    bool m_changed = false;
    bool m_panelEnabled = false;
    QString m_lastFolder;
    QString m_lastFile;
    int m_checkingEntry = -1;
    bool m_saved = false;
    bool m_quietSelection = false;
    bool m_starting = false;
};
