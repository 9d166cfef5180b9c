#include "ui/setupwindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include <QVBoxLayout>
#include <algorithm>

#include "config/inivalues.h"
#include "config/preset.h"
#include "config/setupsettings.h"
#include "config/stationlist.h"
#include "engine/programcontext.h"
#include "engine/recorder.h"
#include "engine/startup.h"
#include "platform/frontend.h"
#include "platform/paths.h"
#include "sources/playlistreader.h"
#include "sources/stationdirectory.h"
#include "ui/confirmquitdialog.h"
#include "ui/helpandtools.h"
#include "ui/localpresetsearch.h"
#include "ui/schedulerpage.h"
#include "ui/spinnerbox.h"
#include "ui/stationdialog.h"

static void initUiResources()
{
    Q_INIT_RESOURCE(ui);
}

namespace
{

const QString kFolderCaption = QStringLiteral("Save MP3s to:");
const QString kFileCaption = QStringLiteral("MP3 file:");

QIcon themedIcon(const char *themeName, const char *fallback)
{
    return QIcon::fromTheme(
        QString::fromLatin1(themeName),
        QIcon(QStringLiteral(":/vorlane/icons/") + QString::fromLatin1(fallback) + QStringLiteral(".svg")));
}

QIcon folderIcon()
{
    return themedIcon("folder-open", "folder");
}

QIcon fileIcon()
{
    return themedIcon("document-save-as", "file");
}

// Where a file dialog opens: the folder of the path when it exists, else the
// default recording folder, else home (never the process's working folder).
QString dialogFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isAbsolute()) {
        if (info.isDir())
            return info.absoluteFilePath();
        if (info.absoluteDir().exists())
            return info.absolutePath();
    }
    const QString fallback = defaultRecordingFolder(false);
    if (!fallback.isEmpty() && QFileInfo(fallback).isDir())
        return fallback;
    return QDir::homePath();
}

// The part of a path that ends with its last separator (either kind, so that
// paths written on another platform split too).
qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(platform::pathSeparator()));
}

} // namespace

SetupWindow::SetupWindow(QWidget *parent)
    : QMainWindow(parent)
{
    initUiResources();
    setObjectName(QStringLiteral("setupWindow"));
    setWindowTitle(QStringLiteral("Vorlane"));
    setWindowIcon(themedIcon("media-record", "record"));
    setAcceptDrops(true);

    m_stations = new StationList(this);
    m_reader = new PlaylistReader(this);
    connect(m_reader, &PlaylistReader::finished, this, &SetupWindow::onCheckFinished);
    connect(m_reader, &PlaylistReader::failed, this, &SetupWindow::onCheckFailed);

    buildWindow();
    buildMenus();

    // Opening: options, station list, the Radio page, the preset record.
    SetupSettings settings;
    loadSetupSettings(settings);
    applySettings(settings);
    m_stations->load();
    const SetupWindowState remembered = loadSetupWindowState();
    showPage(remembered.page >= 0 && remembered.page <= static_cast<int>(Page::Scheduler)
                 ? static_cast<Page>(remembered.page)
                 : Page::Radio);
    m_connecting->hide();
    disablePanel();
    m_changed = false;
    m_browserAgent->setChecked(browserAgentEnabled());
    if (program().configuration().valid) {
        loadFromPreset();
    } else if (remembered.selectedStation >= 1 && remembered.selectedStation <= m_stations->count()) {
        // The last station is ready for its check; nothing goes out unasked.
        selectEntry(remembered.selectedStation);
        m_address->setText(m_stations->address(remembered.selectedStation));
        m_check->setEnabled(true);
        updateStartButtons();
    }
    const QString player = loadExternalPlayer();
    m_useExternal->setChecked(!player.isEmpty());
    m_externalPlayer->setText(player);
    m_stations->resetMarks();

    attachRecorder(program().recorder());
    // At start-up the window opens before the recorder is loaded.
    QTimer::singleShot(0, this, [this] { attachRecorder(program().recorder()); });
    // Every way out of the program (the tray's Exit, a signal) keeps the
    // station list and the options, not only closing the window.
    program().setWindowUnloader(ProgramWindow::Setup, [window = QPointer<SetupWindow>(this)] {
        if (window) {
            window->saveState();
            window->hide();
            window->deleteLater();
        }
    });
    placeOnScreen(remembered);
}

SetupWindow::~SetupWindow()
{
    if (m_localSearch)
        delete m_localSearch.data();
}

void SetupWindow::attachRecorder(Recorder *recorder)
{
    if (!recorder || recorder == m_recorder)
        return;
    m_recorder = recorder;
    // The rule for Record and Preview follows every change of the recording.
    connect(recorder, &Recorder::statusChanged, this, &SetupWindow::updateStartButtons);
    connect(recorder, &Recorder::recordingStarted, this, &SetupWindow::updateStartButtons);
    connect(recorder, &Recorder::recordingStopped, this, &SetupWindow::updateStartButtons);
    // An ended recording (Stop, its time limit, a lost station) leaves no
    // "Record" or "Play" behind in the list.
    connect(recorder, &Recorder::statusChanged, this, [this](const RecordingStatus &status) {
        if (status.state == RecordingStatus::State::Idle && !m_starting)
            m_stations->markPlaying(-1, QString());
    });
    updateStartButtons();
}

// ---------------------------------------------------------------------------
// Building the window

void SetupWindow::buildWindow()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    // Page buttons, then the page, then the station section below.
    auto *pageRow = new QHBoxLayout;
    const std::pair<const char *, Page> pageButtons[] = {
        {"&Radio", Page::Radio},
        {"Ad&vanced Options", Page::AdvancedOptions},
        {"Schedu&ler", Page::Scheduler},
    };
    m_pageButtons = new QButtonGroup(this);
    for (const auto &[caption, page] : pageButtons) {
        auto *button = new QPushButton(QString::fromLatin1(caption), central);
        button->setObjectName(QStringLiteral("page") + QString::number(static_cast<int>(page)));
        // The open page's button stays pressed, and its caption is bold: some
        // dark palettes draw a pressed button just like the others.
        button->setCheckable(true);
        connect(button, &QPushButton::toggled, button, [button](bool checked) {
            QFont font = button->font();
            font.setBold(checked);
            button->setFont(font);
        });
        m_pageButtons->addButton(button, static_cast<int>(page));
        connect(button, &QPushButton::clicked, this, [this, page = page] { showPage(page); });
        pageRow->addWidget(button);
    }
    pageRow->addStretch(1);
    auto *search = new QToolButton(central);
    search->setText(QStringLiteral("Search"));
    search->setIcon(themedIcon("edit-find", "search"));
    search->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    search->setPopupMode(QToolButton::InstantPopup);
    search->setObjectName(QStringLiteral("searchButton"));
    auto *tools = new QToolButton(central);
    tools->setText(QStringLiteral("Tools"));
    tools->setIcon(themedIcon("applications-utilities", "tools"));
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tools->setPopupMode(QToolButton::InstantPopup);
    tools->setObjectName(QStringLiteral("toolsButton"));
    auto *help = new QToolButton(central);
    help->setText(QStringLiteral("Help"));
    help->setIcon(themedIcon("help-contents", "help"));
    help->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    help->setObjectName(QStringLiteral("helpButton"));
    connect(help, &QToolButton::clicked, this, &SetupWindow::openHelp);
    pageRow->addWidget(search);
    pageRow->addWidget(tools);
    pageRow->addWidget(help);

    m_searchMenu = new QMenu(this);
    connect(m_searchMenu->addAction(QStringLiteral("ShoutCast")), &QAction::triggered, this,
            &SetupWindow::openDirectorySearch);
    connect(m_searchMenu->addAction(QStringLiteral("Presets")), &QAction::triggered, this,
            &SetupWindow::openLocalSearch);
    search->setMenu(m_searchMenu);
    m_toolsMenu = new QMenu(this);
    m_toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    for (const QString &program : {QStringLiteral("Cutwane"), QStringLiteral("Tonshift"), QStringLiteral("Discwell")}) {
        QAction *action = m_toolsMenu->addAction(program);
        action->setData(program);
        connect(action, &QAction::triggered, this, [this, program] { launchCompanion(program); });
    }
    watchCompanions(m_toolsMenu);
    tools->setMenu(m_toolsMenu);

    m_pages = new QStackedWidget(central);
    m_pages->setObjectName(QStringLiteral("pages"));
    // Long pages scroll, so the window fits a small or magnified screen.
    const auto scrolling = [central](QWidget *page) {
        auto *area = new QScrollArea(central);
        area->setWidget(page);
        area->setWidgetResizable(true);
        area->setFrameShape(QFrame::NoFrame);
        return area;
    };
    m_pages->addWidget(buildRadioPage());
    m_pages->addWidget(scrolling(buildAdvancedPage()));
    m_pages->addWidget(scrolling(buildSchedulerPage()));
    m_pages->addWidget(buildAboutPage());

    layout->addLayout(pageRow);
    layout->addWidget(m_pages, 1);
    layout->addWidget(buildStationSection());
    // Lower than its content (a small screen with the display docked below),
    // the window scrolls rather than hiding Record and Preview.
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("windowScroll"));
    scroll->setWidget(central);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setMinimumHeight(std::min(central->minimumSizeHint().height(), 240));
    // As wide as the content with its scroll bar: it never scrolls sideways.
    scroll->setMinimumWidth(central->minimumSizeHint().width() + style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setCentralWidget(scroll);
    resize(sizeHint().expandedTo(QSize(640, 600)));
}

QWidget *SetupWindow::buildStationSection()
{
    auto *section = new QWidget(this);
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *addressRow = new QHBoxLayout;
    m_address = new QLineEdit(section);
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setPlaceholderText(QStringLiteral("Playlist address (.pls or .m3u), stream address or playlist file"));
    auto *addressLabel = new QLabel(QStringLiteral("Statio&n:"), section);
    addressLabel->setBuddy(m_address);
    m_check = new QToolButton(section);
    m_check->setObjectName(QStringLiteral("check"));
    m_check->setIcon(themedIcon("view-refresh", "check"));
    m_check->setText(QStringLiteral("Chec&k"));
    m_check->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_check->setToolTip(QStringLiteral("Check the station's playlist"));
    m_connecting = new QLabel(QStringLiteral("Connecting... Please Wait..."), section);
    m_connecting->setObjectName(QStringLiteral("connecting"));
    m_checkResult = new QLabel(section);
    m_checkResult->setObjectName(QStringLiteral("checkResult"));
    addressRow->addWidget(addressLabel);
    addressRow->addWidget(m_address, 1);
    addressRow->addWidget(m_check);
    addressRow->addWidget(m_checkResult);
    // A result names the address it was got for.
    connect(m_address, &QLineEdit::textEdited, m_checkResult, &QLabel::clear);
    connect(m_check, &QToolButton::clicked, this, &SetupWindow::checkStation);
    connect(m_address, &QLineEdit::returnPressed, this, &SetupWindow::checkStation);
    connect(m_address, &QLineEdit::textChanged, this, [this] {
        if (!m_panelEnabled)
            m_check->setEnabled(!m_address->text().isEmpty());
    });

    m_setupGroup = new QGroupBox(QStringLiteral("Recording"), section);
    auto *grid = new QGridLayout(m_setupGroup);
    m_title = new QLineEdit(m_setupGroup);
    m_title->setObjectName(QStringLiteral("title"));
    m_titleLabel = new QLabel(QStringLiteral("T&itle:"), m_setupGroup);
    m_titleLabel->setBuddy(m_title);
    connect(m_title, &QLineEdit::textEdited, this, &SetupWindow::markChanged);

    m_path = new QLineEdit(m_setupGroup);
    m_path->setObjectName(QStringLiteral("path"));
    m_path->installEventFilter(this);
    m_path->setAcceptDrops(true);
    m_pathLabel = new QLabel(kFolderCaption, m_setupGroup);
    m_pathLabel->setObjectName(QStringLiteral("pathLabel"));
    m_pathLabel->setBuddy(m_path);
    m_browsePath = new QToolButton(m_setupGroup);
    m_browsePath->setObjectName(QStringLiteral("browsePath"));
    m_browsePath->setIcon(folderIcon());
    m_browsePath->setToolTip(QStringLiteral("Browse"));
    connect(m_path, &QLineEdit::editingFinished, this, &SetupWindow::acceptPath);
    connect(m_browsePath, &QToolButton::clicked, this, &SetupWindow::browsePath);

    m_streamTitles = new QRadioButton(QStringLiteral("Capt&ure as stream titles"), m_setupGroup);
    m_streamTitles->setObjectName(QStringLiteral("streamTitles"));
    m_datedArchive = new QRadioButton(QStringLiteral("Capture as a &dated archive"), m_setupGroup);
    m_datedArchive->setObjectName(QStringLiteral("datedArchive"));
    m_singleFile = new QRadioButton(QStringLiteral("Capture as a sin&gle file"), m_setupGroup);
    m_singleFile->setObjectName(QStringLiteral("singleFile"));
    m_captureGroup = new QButtonGroup(this);
    m_captureGroup->addButton(m_singleFile, SetupSettings::CaptureSingleFile);
    m_captureGroup->addButton(m_streamTitles, SetupSettings::CaptureStreamTitles);
    m_captureGroup->addButton(m_datedArchive, SetupSettings::CaptureDatedArchive);
    connect(m_captureGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            chooseCaptureMode(id);
    });

    m_dateMode = new QGroupBox(QStringLiteral("Date Mode"), m_setupGroup);
    m_dateMode->setObjectName(QStringLiteral("dateMode"));
    auto *dateLayout = new QFormLayout(m_dateMode);
    m_archivePrefix = new QLineEdit(m_dateMode);
    m_archivePrefix->setObjectName(QStringLiteral("archivePrefix"));
    dateLayout->addRow(QStringLiteral("Archive File Header:"), m_archivePrefix);
    connect(m_archivePrefix, &QLineEdit::textChanged, this, [this] {
        markChanged();
        validateSetup(false);
    });

    // Two rows, not three: the window must stay low enough for small screens.
    auto *modes = new QGridLayout;
    modes->addWidget(m_streamTitles, 0, 0);
    modes->addWidget(m_datedArchive, 0, 1);
    modes->addWidget(m_singleFile, 1, 0);
    modes->setColumnStretch(2, 1);

    grid->addWidget(m_titleLabel, 0, 0);
    grid->addWidget(m_title, 0, 1, 1, 2);
    grid->addWidget(m_pathLabel, 1, 0);
    grid->addWidget(m_path, 1, 1);
    grid->addWidget(m_browsePath, 1, 2);
    grid->addLayout(modes, 2, 1);
    grid->addWidget(m_dateMode, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    m_record = new QPushButton(themedIcon("media-record", "record"), QStringLiteral("Re&cord"), section);
    m_record->setObjectName(QStringLiteral("record"));
    m_preview = new QPushButton(themedIcon("media-playback-start", "play"), QStringLiteral("&Preview/Listen"), section);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_save = new QPushButton(themedIcon("document-save", "save"), QStringLiteral("Save Preset File"), section);
    m_save->setObjectName(QStringLiteral("save"));
    m_open = new QPushButton(themedIcon("document-open", "open"), QStringLiteral("Open Preset File"), section);
    m_open->setObjectName(QStringLiteral("open"));
    m_startHint = new QLabel(section);
    m_startHint->setObjectName(QStringLiteral("startHint"));
    m_startHint->setWordWrap(true);
    buttons->addWidget(m_record);
    buttons->addWidget(m_preview);
    buttons->addWidget(m_startHint, 1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_open);
    connect(m_record, &QPushButton::clicked, this, &SetupWindow::record);
    connect(m_preview, &QPushButton::clicked, this, &SetupWindow::preview);
    connect(m_save, &QPushButton::clicked, this, &SetupWindow::chooseSavePreset);
    connect(m_open, &QPushButton::clicked, this, &SetupWindow::chooseOpenPreset);

    layout->addLayout(addressRow);
    layout->addWidget(m_connecting);
    layout->addWidget(m_setupGroup);
    layout->addLayout(buttons);

    setTabOrder(m_address, m_check);
    setTabOrder(m_check, m_title);
    setTabOrder(m_title, m_path);
    setTabOrder(m_path, m_browsePath);
    setTabOrder(m_browsePath, m_streamTitles);
    setTabOrder(m_streamTitles, m_archivePrefix);
    setTabOrder(m_archivePrefix, m_record);
    setTabOrder(m_record, m_preview);
    setTabOrder(m_preview, m_save);
    setTabOrder(m_save, m_open);
    return section;
}

QWidget *SetupWindow::buildRadioPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_stationView = new QTreeView(page);
    m_stationView->setObjectName(QStringLiteral("stationView"));
    m_stationView->setModel(m_stations);
    m_stationView->setRootIsDecorated(false);
    m_stationView->setUniformRowHeights(true);
    m_stationView->setAlternatingRowColors(true);
    m_stationView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_stationView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_stationView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_stationView->setAcceptDrops(true);
    m_stationView->viewport()->setAcceptDrops(true);
    m_stationView->viewport()->installEventFilter(this);
    m_stationView->header()->setStretchLastSection(false);
    m_stationView->header()->setSectionResizeMode(StationList::NameColumn, QHeaderView::Interactive);
    m_stationView->header()->setSectionResizeMode(StationList::UrlColumn, QHeaderView::Stretch);
    m_stationView->header()->setSectionResizeMode(StationList::StatusColumn, QHeaderView::ResizeToContents);
    m_stationView->header()->resizeSection(StationList::NameColumn, 200);
    connect(m_stationView, &QTreeView::clicked, this, &SetupWindow::onStationClicked);
    connect(m_stationView, &QTreeView::activated, this, &SetupWindow::onStationClicked);
    // Moving through the list with the keys loads each row as a click does;
    // rows the window selects itself are already loaded.
    connect(m_stationView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (!m_quietSelection && current.isValid())
                    onStationClicked(current);
            });
    m_stationView->installEventFilter(this); // Delete removes the selected stations
    connect(m_stationView, &QTreeView::customContextMenuRequested, this, &SetupWindow::showStationMenu);

    auto *buttons = new QHBoxLayout;
    const std::tuple<const char *, const char *, const char *, void (SetupWindow::*)()> entries[] = {
        {"&Add Station", "list-add", "add", &SetupWindow::addStation},
        {"&Edit Station", "document-edit", "edit", &SetupWindow::editStation},
        {"Re&move Station", "list-remove", "remove", &SetupWindow::removeStations},
    };
    for (const auto &[caption, theme, fallback, handler] : entries) {
        auto *button = new QPushButton(themedIcon(theme, fallback), QString::fromLatin1(caption), page);
        button->setObjectName(QString::fromLatin1(fallback) + QStringLiteral("Station"));
        connect(button, &QPushButton::clicked, this, handler);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);

    layout->addWidget(m_stationView, 1);
    layout->addLayout(buttons);

    m_stationMenu = new QMenu(this);
    m_stationMenu->setObjectName(QStringLiteral("stationMenu"));
    return page;
}

QWidget *SetupWindow::buildAdvancedPage()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);

    m_recordings = new QGroupBox(QStringLiteral("Recordings"), page);
    auto *grid = new QGridLayout(m_recordings);
    m_timed = new QCheckBox(QStringLiteral("Ti&med Recording"), m_recordings);
    m_timed->setObjectName(QStringLiteral("timed"));
    connect(m_timed, &QCheckBox::clicked, this, &SetupWindow::markChanged);
    m_minutes = new SpinnerBox(m_recordings);
    m_minutes->setObjectName(QStringLiteral("minutes"));
    // A timed recording lasts at least a minute.
    m_minutes->setRange(1, 999);
    m_minutes->setValue(60);
    m_minutesLabel = new QLabel(QStringLiteral("Time of Recording (in minutes):"), m_recordings);
    m_minutesLabel->setBuddy(m_minutes);
    m_exitWhenDone = new QCheckBox(QStringLiteral("E&xit when timed recording is finished!"), m_recordings);
    m_exitWhenDone->setObjectName(QStringLiteral("exitWhenDone"));
    m_listen = new QCheckBox(QStringLiteral("Listen to Stream"), m_recordings);
    m_listen->setObjectName(QStringLiteral("listen"));
    m_startPaused = new QCheckBox(QStringLiteral("St&art Paused"), m_recordings);
    m_startPaused->setObjectName(QStringLiteral("startPaused"));
    m_cleanup = new QCheckBox(QStringLiteral("Delete archives after a specified time"), m_recordings);
    m_cleanup->setObjectName(QStringLiteral("cleanup"));
    m_days = new SpinnerBox(m_recordings);
    m_days->setObjectName(QStringLiteral("daysToKeep"));
    m_days->setRange(0, 999);
    m_days->setValue(30);
    m_daysLabel = new QLabel(QStringLiteral("Da&ys to keep recordings:"), m_recordings);
    m_daysLabel->setBuddy(m_days);
    for (SpinnerBox *spinner : {m_minutes, m_days}) {
        connect(spinner, &SpinnerBox::rejectedText, this, &SetupWindow::tell);
        connect(spinner, &SpinnerBox::valueChanged, this, &SetupWindow::markChanged);
    }

    grid->addWidget(m_timed, 0, 0, 1, 2);
    grid->addWidget(m_minutesLabel, 1, 0);
    grid->addWidget(m_minutes, 1, 1);
    grid->addWidget(m_exitWhenDone, 2, 0, 1, 2);
    grid->addWidget(m_listen, 3, 0, 1, 2);
    grid->addWidget(m_startPaused, 4, 0, 1, 2);
    grid->addWidget(m_cleanup, 5, 0, 1, 2);
    grid->addWidget(m_daysLabel, 6, 0);
    grid->addWidget(m_days, 6, 1);
    // How long a lost station is called again; stored at once, like the web agent.
    m_reconnectMinutes = new SpinnerBox(m_recordings);
    m_reconnectMinutes->setObjectName(QStringLiteral("reconnectMinutes"));
    m_reconnectMinutes->setRange(0, kMaxReconnectMinutes);
    m_reconnectMinutes->setValue(reconnectPeriodMinutes());
    m_reconnectMinutes->setToolTip(QStringLiteral("0 ends a recording when its station cannot be reached"));
    auto *reconnectLabel = new QLabel(QStringLiteral("Reconnect after an outage for (minutes):"), m_recordings);
    reconnectLabel->setBuddy(m_reconnectMinutes);
    connect(m_reconnectMinutes, &SpinnerBox::rejectedText, this, &SetupWindow::tell);
    connect(m_reconnectMinutes, &SpinnerBox::valueChanged, this,
            [this] { setReconnectPeriodMinutes(m_reconnectMinutes->value()); });
    grid->addWidget(reconnectLabel, 7, 0);
    grid->addWidget(m_reconnectMinutes, 7, 1);
    grid->setColumnStretch(2, 1);

    auto *playerBox = new QGroupBox(QStringLiteral("Player and web agent"), page);
    auto *playerGrid = new QGridLayout(playerBox);
    m_useExternal = new QCheckBox(QStringLiteral("Use External Player"), playerBox);
    m_useExternal->setObjectName(QStringLiteral("useExternal"));
    m_externalPlayer = new QLineEdit(playerBox);
    m_externalPlayer->setObjectName(QStringLiteral("externalPlayer"));
    m_browsePlayer = new QToolButton(playerBox);
    m_browsePlayer->setIcon(themedIcon("document-open", "open"));
    m_browsePlayer->setToolTip(QStringLiteral("Choose the player"));
    m_browserAgent = new QCheckBox(QStringLiteral("Fake Internet Explorer as &web agent"), playerBox);
    m_browserAgent->setObjectName(QStringLiteral("browserAgent"));
    playerGrid->addWidget(m_useExternal, 0, 0, 1, 2);
    playerGrid->addWidget(m_externalPlayer, 1, 0);
    playerGrid->addWidget(m_browsePlayer, 1, 1);
    playerGrid->addWidget(m_browserAgent, 2, 0, 1, 2);
    // The station search's server, kept as "[Directory] Server" of ombrex.ini.
    auto *directoryLabel = new QLabel(QStringLiteral("&Directory server:"), playerBox);
    m_directoryServer = new QLineEdit(StationDirectory::configuredServer(), playerBox);
    m_directoryServer->setObjectName(QStringLiteral("directoryServer"));
    m_directoryServer->setPlaceholderText(QStringLiteral("automatic"));
    m_directoryServer->setToolTip(QStringLiteral("A station directory host name; empty picks one by itself"));
    directoryLabel->setBuddy(m_directoryServer);
    playerGrid->addWidget(directoryLabel, 3, 0, 1, 2);
    playerGrid->addWidget(m_directoryServer, 4, 0, 1, 2);
    connect(m_directoryServer, &QLineEdit::editingFinished, this, &SetupWindow::storeDirectoryServer);
    connect(m_useExternal, &QCheckBox::clicked, this, &SetupWindow::onUseExternalToggled);
    connect(m_browsePlayer, &QToolButton::clicked, this, &SetupWindow::browsePlayer);
    connect(m_browserAgent, &QCheckBox::clicked, this, [this] { m_browserAgent->setChecked(toggleBrowserAgent()); });

    layout->addWidget(m_recordings);
    layout->addWidget(playerBox);
    layout->addStretch(1);
    return page;
}

QWidget *SetupWindow::buildSchedulerPage()
{
    m_scheduler = new SchedulerPage(this);
    // A scheduled station records with the options the window shows.
    m_scheduler->setOptionsSource([this] {
        Preset preset = program().configuration();
        fillPreset(preset);
        return preset;
    });
    return m_scheduler;
}

QWidget *SetupWindow::buildAboutPage()
{
    m_about = new QTextBrowser(this);
    m_about->setObjectName(QStringLiteral("about"));
    m_about->setOpenExternalLinks(true);
    m_about->setHtml(helpandtools::aboutHtml());
    return m_about;
}

void SetupWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(themedIcon("document-open", "open"), QStringLiteral("&Open Preset File..."), this,
                    &SetupWindow::chooseOpenPreset)
        ->setShortcut(QKeySequence::Open);
    file->addAction(themedIcon("document-save", "save"), QStringLiteral("&Save Preset File..."), this,
                    &SetupWindow::chooseSavePreset)
        ->setShortcut(QKeySequence::Save);
    file->addSeparator();
    file->addAction(themedIcon("application-exit", "exit"), QStringLiteral("E&xit"), this, &SetupWindow::close)
        ->setShortcut(QKeySequence::Quit);

    QMenu *operation = menuBar()->addMenu(QStringLiteral("&Operation"));
    operation->addAction(QStringLiteral("&Add"), this, &SetupWindow::addStation);
    operation->addAction(QStringLiteral("&Edit"), this, &SetupWindow::editStation);
    operation->addAction(QStringLiteral("&Remove"), this, &SetupWindow::removeStations);
    operation->addAction(QStringLiteral("Remove A&ll"), this, &SetupWindow::removeAllStations);
    operation->addSeparator();
    operation->addAction(themedIcon("media-playback-stop", "stop"), QStringLiteral("&Stop"), this, &SetupWindow::stop);

    QMenu *search = menuBar()->addMenu(QStringLiteral("&Search"));
    search->addAction(QStringLiteral("&Radio Station Search"), this, &SetupWindow::openDirectorySearch);
    search->addAction(QStringLiteral("Search &Presets"), this, &SetupWindow::openLocalSearch);

    QMenu *tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    for (const QString &program : helpandtools::companionPrograms()) {
        if (program == QStringLiteral("Tonshift"))
            tools->addAction(QStringLiteral("Scheduler"), this, [this] { showPage(Page::Scheduler); });
        QAction *action = tools->addAction(program, this, [this, program] { launchCompanion(program); });
        action->setData(program);
    }
    watchCompanions(tools);

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(themedIcon("help-contents", "help"), QStringLiteral("&Help"), this, &SetupWindow::openHelp)
        ->setShortcut(QKeySequence::HelpContents);
    help->addAction(themedIcon("help-about", "about"), QStringLiteral("&About...."), this,
                    [this] { showPage(Page::About); });
}

void SetupWindow::placeOnScreen(const SetupWindowState &remembered)
{
    QRect wanted(remembered.left, remembered.top, remembered.width, remembered.height);
    const QScreen *screen = remembered.width > 0 ? QGuiApplication::screenAt(wanted.center()) : nullptr;
    if (!screen) {
        // Never stored, or its screen is gone: centred on the main screen.
        screen = QGuiApplication::primaryScreen();
        wanted = QRect();
    }
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize minimum = minimumSizeHint();
    QSize size = wanted.isValid() ? wanted.size() : this->size();
    // Never larger than the screen, so every control can be reached.
    size = size.boundedTo(area.size() - QSize(16, 48)).expandedTo(minimum);
    resize(size);
    QPoint place = wanted.isValid() ? wanted.topLeft()
                                    : QPoint(area.x() + (area.width() - size.width()) / 2,
                                             area.y() + std::max(0, (area.height() - size.height()) / 3));
    place.setX(std::clamp(place.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    place.setY(std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    move(place);
}

// ---------------------------------------------------------------------------
// Pages and settings

SetupWindow::Page SetupWindow::currentPage() const
{
    return static_cast<Page>(m_pages->currentIndex());
}

void SetupWindow::showPage(Page page)
{
    m_pages->setCurrentIndex(static_cast<int>(page));
    // The About page has no button of its own: then none is pressed.
    m_pageButtons->setExclusive(false);
    for (QAbstractButton *button : m_pageButtons->buttons())
        button->setChecked(m_pageButtons->id(button) == static_cast<int>(page));
    m_pageButtons->setExclusive(true);
}

void SetupWindow::watchCompanions(QMenu *menu)
{
    // Looked at each time the menu opens, so a program installed meanwhile is offered.
    menu->setToolTipsVisible(true);
    const auto update = [menu] {
        for (QAction *action : menu->actions()) {
            const QString program = action->data().toString();
            if (program.isEmpty())
                continue;
            const bool installed = helpandtools::companionInstalled(program);
            action->setEnabled(installed);
            action->setText(installed ? program : program + QStringLiteral(" (not installed)"));
            action->setToolTip(installed ? QString()
                                         : QStringLiteral("%1 is not installed: %2 was not found in %3")
                                               .arg(program, helpandtools::companionFile(program),
                                                    QDir::toNativeSeparators(QDir::currentPath())));
        }
    };
    connect(menu, &QMenu::aboutToShow, this, update);
    update();
}

void SetupWindow::applySettings(const SetupSettings &settings)
{
    // The mode first, so that the stored path lands in its own mode's box.
    m_captureGroup->setExclusive(false);
    for (QAbstractButton *button : m_captureGroup->buttons())
        button->setChecked(false);
    m_captureGroup->setExclusive(true);
    if (QAbstractButton *button = m_captureGroup->button(settings.captureMode))
        button->setChecked(true);
    else
        m_dateMode->hide();
    m_path->setText(settings.saveFolder);
    m_browserAgent->setChecked(settings.browserAgent);
    m_timed->setChecked(settings.timed);
    m_listen->setChecked(settings.listen);
    m_minutes->setValueIfInRange(settings.minutes);
    m_exitWhenDone->setChecked(settings.exitWhenDone);
    m_startPaused->setChecked(settings.startPaused);
    m_archivePrefix->setText(settings.archivePrefix);
    m_cleanup->setChecked(settings.cleanup);
    m_days->setValueIfInRange(settings.daysToKeep);
}

SetupSettings SetupWindow::currentSettings() const
{
    SetupSettings settings;
    settings.saveFolder = m_path->text();
    settings.browserAgent = m_browserAgent->isChecked();
    const int mode = m_captureGroup->checkedId();
    settings.captureMode = mode > 0 ? static_cast<SetupSettings::CaptureMode>(mode) : SetupSettings::CaptureNone;
    settings.timed = m_timed->isChecked();
    settings.listen = m_listen->isChecked();
    settings.minutes = m_minutes->value();
    settings.exitWhenDone = m_exitWhenDone->isChecked();
    settings.startPaused = m_startPaused->isChecked();
    settings.archivePrefix = m_archivePrefix->text();
    settings.cleanup = m_cleanup->isChecked();
    settings.daysToKeep = m_days->value();
    return settings;
}

// ---------------------------------------------------------------------------
// The station check

int SetupWindow::selectedEntry() const
{
    const QModelIndex current = m_stationView->currentIndex();
    if (!current.isValid() || !m_stationView->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return -1;
    return current.row() + 1;
}

void SetupWindow::selectEntry(int entry)
{
    const QModelIndex index = m_stations->index(entry - 1, StationList::NameColumn);
    const QScopedValueRollback quiet(m_quietSelection, true);
    m_stationView->setCurrentIndex(index);
}

void SetupWindow::checkStation()
{
    const QString address = m_address->text();
    if (m_useExternal->isChecked()) {
        if (!QProcess::startDetached(m_externalPlayer->text(), {address}))
            tell(QStringLiteral("The external player could not be started!"));
        return;
    }
    markChanged();
    if (!address.contains(QStringLiteral(".m3u"), Qt::CaseInsensitive) &&
        !address.contains(QStringLiteral(".pls"), Qt::CaseInsensitive) &&
        !PlaylistReader::isDirectStream(QFile::encodeName(address))) {
        tell(QStringLiteral("This is not a valid Shoutcast streaming playlist, configuration file, or accepted URL "
                            "file!"));
        m_title->clear();
        showCheckResult(false, QStringLiteral("Not a playlist or stream address"));
    } else {
        showCheckResult(false, QString());
        m_connecting->show();
        m_reader->start(QFile::encodeName(address));
    }
    m_stations->markConnecting(selectedEntry());
}

void SetupWindow::onStationClicked(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const QString address = m_stations->address(index.row() + 1);
    // A double click reports the click and the activation: check once.
    if (m_reader->isRequestPending() && m_address->text() == address)
        return;
    m_address->setText(address);
    checkStation();
}

void SetupWindow::onCheckFinished()
{
    m_connecting->hide();
    // The entry was checked: it no longer shows "Connecting".
    m_stations->markConnecting(-1);
    enablePanel();
    m_title->setText(QString::fromLocal8Bit(m_reader->firstTitle));
    showCheckResult(true, m_title->text().isEmpty() ? QStringLiteral("Station OK")
                                                    : QStringLiteral("Station OK: ") + m_title->text());
    if (!isFolderMode()) {
        // A single file keeps its name; a folder is no file to record into.
        if (!m_path->text().isEmpty())
            acceptPath();
        return;
    }
    const QString folder = defaultRecordingFolder(false);
    if (!folder.isEmpty()) {
        m_path->setText(folder);
        acceptPath();
    } else {
        m_path->setFocus();
    }
}

void SetupWindow::onCheckFailed(int code)
{
    m_connecting->hide();
    m_stations->markConnecting(-1);
    m_reader->showError(code);
    const QString reason = PlaylistReader::errorMessage(code);
    showCheckResult(false, QStringLiteral("Check failed") +
                               (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason.left(80)));
    m_address->clear();
    disablePanel();
}

void SetupWindow::enablePanel()
{
    setPanelEnabled(true);
    const bool hasPath = !m_path->text().isEmpty();
    m_record->setEnabled(hasPath);
    m_preview->setEnabled(hasPath);
    m_save->setEnabled(hasPath);
    m_connecting->hide();
    validateSetup(false);
}

void SetupWindow::disablePanel()
{
    setPanelEnabled(false);
    m_connecting->hide();
    m_title->clear();
    m_check->setEnabled(!m_address->text().isEmpty());
    updateStartButtons();
}

void SetupWindow::setPanelEnabled(bool enabled)
{
    m_panelEnabled = enabled;
    m_setupGroup->setEnabled(enabled);
    m_recordings->setEnabled(enabled);
    m_preview->setEnabled(enabled && m_preview->isEnabled());
    if (enabled)
        m_check->setEnabled(true);
}

// ---------------------------------------------------------------------------
// The save path and the capture mode

bool SetupWindow::isFolderMode() const
{
    return m_pathLabel->text() == kFolderCaption;
}

bool SetupWindow::canWriteFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    // A folder, or a file we may not write, is no place for a recording.
    if (info.exists())
        return info.isFile() && info.isWritable();
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const bool written = probe.write("test\r\n") == 6;
    probe.close();
    return probe.remove() && written;
}

QString SetupWindow::folderPart(const QString &path)
{
    return path.left(lastSeparator(path) + 1);
}

QString SetupWindow::namePart(const QString &path)
{
    return path.mid(lastSeparator(path) + 1);
}

bool SetupWindow::acceptPath()
{
    markChanged();
    QString text = m_path->text();
    if (text.isEmpty()) {
        m_pathOk = false;
    } else if (isFolderMode()) {
        text = platform::withTrailingSeparator(text);
        m_path->setText(text);
        m_pathOk = platform::folderExists(text);
        if (!m_pathOk) {
            tell(QStringLiteral("The path is invalid!"));
            m_path->setText(m_lastFolder);
        }
    } else {
        m_pathOk = canWriteFile(text);
        if (!m_pathOk) {
            tell(QStringLiteral("Invalid MP3 file name!"));
            m_path->setText(m_lastFile);
        }
    }
    if (!m_pathOk && !text.isEmpty()) {
        m_path->setFocus();
        m_path->end(false);
    }
    validateSetup(false);
    if (m_pathOk) {
        setLastPath(m_path->text());
        if (isFolderMode())
            m_lastFolder = m_path->text();
        else
            m_lastFile = m_path->text();
    }
    return m_pathOk;
}

void SetupWindow::chooseCaptureMode(int mode)
{
    if (QAbstractButton *button = m_captureGroup->button(mode); button && !button->isChecked()) {
        // Checking it runs this again through the group.
        button->setChecked(true);
        return;
    }
    markChanged();
    m_dateMode->setVisible(mode == SetupSettings::CaptureDatedArchive);
    if (mode == SetupSettings::CaptureSingleFile) {
        if (isFolderMode()) {
            m_lastFolder = m_path->text();
            m_pathLabel->setText(kFileCaption);
            m_path->setText(m_lastFile);
            m_browsePath->setIcon(fileIcon());
        }
    } else if (!isFolderMode()) {
        m_lastFile = m_path->text();
        m_pathLabel->setText(kFolderCaption);
        m_path->setText(m_lastFolder);
        m_browsePath->setIcon(folderIcon());
    }
    validateSetup(false);
}

bool SetupWindow::validateSetup(bool noUpdate)
{
    bool ok = m_pathOk && !m_path->text().isEmpty();
    if (m_datedArchive->isChecked() && m_archivePrefix->text().isEmpty())
        ok = false;
    if (!noUpdate) {
        m_save->setEnabled(ok);
        updateStartButtons();
    }
    return ok;
}

bool SetupWindow::isRecorderBusy() const
{
    return m_recorder && m_recorder->status().state != RecordingStatus::State::Idle;
}

QString SetupWindow::startBlocker() const
{
    // A running recording is started again only after an option changed, and
    // only a station that passed its check is recorded.
    if (!m_panelEnabled)
        return m_address->text().isEmpty() ? QStringLiteral("Choose or add a station, then Check it.")
                                           : QStringLiteral("Check the station first.");
    if (!m_pathOk || m_path->text().isEmpty())
        return isFolderMode() ? QStringLiteral("Choose the folder to save to.")
                              : QStringLiteral("Choose the MP3 file to record into.");
    if (m_datedArchive->isChecked() && m_archivePrefix->text().isEmpty())
        return QStringLiteral("Enter the archive file header.");
    if (isRecorderBusy() && !m_changed)
        return QStringLiteral("Recording. Change an option to start again.");
    return QString();
}

void SetupWindow::updateStartButtons()
{
    const QString blocker = startBlocker();
    m_record->setEnabled(blocker.isEmpty());
    m_preview->setEnabled(blocker.isEmpty());
    m_record->setToolTip(blocker.isEmpty() ? QStringLiteral("Record the station") : blocker);
    m_preview->setToolTip(blocker.isEmpty() ? QStringLiteral("Listen without recording") : blocker);
    m_startHint->setText(blocker);
    m_save->setEnabled(m_panelEnabled && validateSetup(true));
}

void SetupWindow::showCheckResult(bool ok, const QString &text)
{
    m_checkResult->setText(text);
    QPalette palette = m_checkResult->palette();
    palette.setColor(QPalette::WindowText, ok ? QColor(0x2e, 0x9d, 0x3e) : QColor(0xd0, 0x30, 0x30));
    m_checkResult->setPalette(palette);
}

void SetupWindow::markChanged()
{
    m_changed = true;
    updateStartButtons();
}

void SetupWindow::browsePath()
{
    markChanged();
    if (isFolderMode()) {
        auto *dialog = new QFileDialog(this, QStringLiteral("Select a Path To Save To"), dialogFolder(m_path->text()));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        connect(dialog, &QFileDialog::rejected, this, [this] {
            m_pathOk = !m_path->text().isEmpty();
            validateSetup(false);
        });
        connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &chosen) {
            const QString folder = platform::withTrailingSeparator(QDir::toNativeSeparators(chosen));
            if (folder != m_path->text())
                m_path->setText(folder);
            // The folder the dialog returns exists; the box shows it either way.
            m_pathOk = true;
            m_lastFolder = folder;
            setLastPath(folder);
            validateSetup(false);
        });
        dialog->open();
        return;
    }
    auto *dialog = new QFileDialog(this, QStringLiteral("Save MP3 File"), dialogFolder(m_path->text()),
                                   QStringLiteral("MP3 music file (*.mp3 *.MP3)"));
    if (!namePart(m_path->text()).isEmpty())
        dialog->selectFile(namePart(m_path->text()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("mp3"));
    dialog->setFileMode(QFileDialog::AnyFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &chosen) {
        const QString file = QDir::toNativeSeparators(chosen);
        if (canWriteFile(file)) {
            m_path->setText(file);
            m_path->selectAll();
            m_lastFile = file;
        } else {
            tell(QStringLiteral("Invalid MP3 file name!"));
        }
    });
    connect(dialog, &QFileDialog::finished, this, [this] {
        m_pathOk = !m_path->text().isEmpty();
        validateSetup(false);
    });
    dialog->open();
}

void SetupWindow::dropPath(const QMimeData *mime)
{
    if (!mime->hasUrls() || mime->urls().isEmpty() || !mime->urls().constFirst().isLocalFile())
        return;
    const QString path = QDir::toNativeSeparators(mime->urls().constFirst().toLocalFile());
    const bool fits = isFolderMode() ? platform::folderExists(path) : platform::fileExists(path);
    if (!fits)
        return;
    m_path->setText(path);
    acceptPath();
}

// ---------------------------------------------------------------------------
// The preset record, Record and Preview

void SetupWindow::putInPreset()
{
    fillPreset(program().configuration());
}

void SetupWindow::fillPreset(Preset &preset) const
{
    preset.playlistAddress = m_address->text();
    preset.stationTitle = m_title->text();
    preset.listenAtStart = m_listen->isChecked();
    preset.startPaused = m_startPaused->isChecked();
    const QString path = m_path->text();
    switch (m_captureGroup->checkedId()) {
    case SetupSettings::CaptureSingleFile:
        preset.captureMode = 1;
        preset.saveFolder = folderPart(path);
        preset.recordingFileName = namePart(path);
        break;
    case SetupSettings::CaptureDatedArchive:
        preset.captureMode = 3;
        preset.saveFolder = path;
        preset.recordingFileName = m_archivePrefix->text();
        break;
    default:
        preset.captureMode = 2;
        preset.saveFolder = path;
        break;
    }
    if (m_timed->isChecked()) {
        preset.timeLimited = true;
        preset.timeLimitMinutes = m_minutes->value();
        preset.exitAfterRecording = m_exitWhenDone->isChecked();
    } else {
        preset.timeLimited = false;
        preset.exitAfterRecording = false;
    }
    preset.deleteOldArchives = m_cleanup->isChecked();
    if (preset.deleteOldArchives)
        preset.daysToKeep = m_days->value();
}

void SetupWindow::loadFromPreset()
{
    const Preset preset = program().configuration();
    m_address->setText(preset.playlistAddress);
    m_title->setText(preset.stationTitle);
    m_changed = false;
    m_listen->setChecked(preset.listenAtStart);
    m_startPaused->setChecked(preset.startPaused);
    switch (preset.captureMode) {
    case 1:
        chooseCaptureMode(SetupSettings::CaptureSingleFile);
        m_path->setText(platform::withTrailingSeparator(preset.saveFolder) + preset.recordingFileName);
        break;
    case 3:
        chooseCaptureMode(SetupSettings::CaptureDatedArchive);
        m_path->setText(platform::withTrailingSeparator(preset.saveFolder));
        m_archivePrefix->setText(preset.recordingFileName);
        break;
    default:
        chooseCaptureMode(SetupSettings::CaptureStreamTitles);
        m_path->setText(platform::withTrailingSeparator(preset.saveFolder));
        break;
    }
    m_timed->setChecked(preset.timeLimited);
    if (preset.timeLimited) {
        m_minutes->setValueIfInRange(preset.timeLimitMinutes);
        m_exitWhenDone->setChecked(preset.exitAfterRecording);
    }
    m_cleanup->setChecked(preset.deleteOldArchives);
    if (preset.deleteOldArchives)
        m_days->setValueIfInRange(preset.daysToKeep);
    m_pathOk = !m_path->text().isEmpty();
    enablePanel();
    validateSetup(false);
    // A station already listed is selected, not listed again.
    int entry = findEntry(m_address->text());
    if (entry == -1)
        entry = m_stations->appendEntry(m_title->text(), m_address->text());
    selectEntry(entry);
}

void SetupWindow::record()
{
    start(false);
}

void SetupWindow::preview()
{
    start(true);
}

void SetupWindow::start(bool previewOnly)
{
    const int selected = selectedEntry();
    m_changed = false;
    if (!m_recorder)
        attachRecorder(program().recorder());
    // A new start never leaves the running recording's file open and untagged.
    // The station's mark stays while one recording follows the other.
    const QScopedValueRollback starting(m_starting, true);
    if (m_recorder && isRecorderBusy())
        m_recorder->stopRecording();
    program().configuration().valid = true;
    m_connecting->hide();
    putInPreset();
    if (!m_recorder || !m_recorder->startRecording(true, previewOnly)) {
        tell(QStringLiteral("Error on starting this recording!"));
        updateStartButtons();
        return;
    }
    m_stations->markPlaying(selected, previewOnly ? StationList::playStatus() : StationList::recordStatus());
    updateStartButtons();
    Q_EMIT stationStarted(program().configuration().playlistAddress);
}

void SetupWindow::stop()
{
    if (m_recorder)
        m_recorder->stopRecording();
}

bool SetupWindow::openPresetFile(const QString &path)
{
    Preset &preset = program().configuration();
    if (!preset.load(path))
        return false;
    preset.presetFilePath = path;
    loadFromPreset();
    markChanged();
    return true;
}

bool SetupWindow::savePresetFile(const QString &path)
{
    Preset &preset = program().configuration();
    if (preset.save(path)) {
        preset.presetFilePath = path;
        return true;
    }
    const QString reason = QFileInfo(path).dir().exists() ? QStringLiteral("Permission denied or disk full")
                                                          : QStringLiteral("The folder does not exist");
    tell(QStringLiteral("Error saving file! ") + reason);
    return false;
}

void SetupWindow::chooseOpenPreset()
{
    const QString start = program().configuration().presetFilePath.isEmpty() ? LocalPresetSearch::presetsFolder()
                                                                             : program().configuration().presetFilePath;
    auto *dialog = new QFileDialog(this, QStringLiteral("Open Preset File"), dialogFolder(start),
                                   QStringLiteral("Preset File (*.mvr)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setDefaultSuffix(QStringLiteral("mvr"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &chosen) { openPresetFile(chosen); });
    dialog->open();
}

void SetupWindow::chooseSavePreset()
{
    putInPreset();
    const QString start = program().configuration().presetFilePath.isEmpty() ? LocalPresetSearch::presetsFolder()
                                                                             : program().configuration().presetFilePath;
    QDir().mkpath(LocalPresetSearch::presetsFolder());
    auto *dialog =
        new QFileDialog(this, QStringLiteral("Save Preset File"), start, QStringLiteral("Preset File (*.mvr)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("mvr"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &chosen) { savePresetFile(chosen); });
    dialog->open();
}

// ---------------------------------------------------------------------------
// The station list

void SetupWindow::showStationMenu(const QPoint &position)
{
    m_stationMenu->clear();
    m_stationMenu->addAction(QStringLiteral("&Add"), this, &SetupWindow::addStation);
    m_stationMenu->addAction(QStringLiteral("&Remove"), this, &SetupWindow::removeStations);
    m_stationMenu->addAction(QStringLiteral("Remove A&ll"), this, &SetupWindow::removeAllStations);
    m_stationMenu->addAction(QStringLiteral("&Edit"), this, &SetupWindow::editStation);
    m_stationMenu->addSeparator();
    m_stationMenu->addAction(QStringLiteral("&Play"), this, &SetupWindow::preview)->setEnabled(m_preview->isEnabled());
    m_stationMenu->addAction(QStringLiteral("Re&cord"), this, &SetupWindow::record)->setEnabled(m_record->isEnabled());
    m_stationMenu->addSeparator();
    m_stationMenu->addAction(QStringLiteral("&Schedule..."), this, &SetupWindow::scheduleSelectedStation);
    m_stationMenu->popup(m_stationView->viewport()->mapToGlobal(position));
}

void SetupWindow::addStation()
{
    addStationFor(QString());
}

void SetupWindow::addStationFor(const QString &address, const QString &name)
{
    auto *dialog = new StationDialog(false, name, address, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The new station is loaded and checked at once: the next step is Record.
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const QString added = dialog->stationAddress();
        int entry = findEntry(added);
        if (entry == -1)
            entry = m_stations->appendEntry(dialog->stationName(), added);
        selectEntry(entry);
        m_address->setText(added);
        checkStation();
    });
    dialog->open();
}

int SetupWindow::findEntry(const QString &address) const
{
    for (int entry = 1; entry <= m_stations->count(); ++entry) {
        if (m_stations->address(entry) == address)
            return entry;
    }
    return -1;
}

void SetupWindow::editStation()
{
    const int entry = selectedEntry();
    if (entry == -1)
        return;
    auto *dialog = new StationDialog(true, m_stations->name(entry), m_stations->address(entry), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The entry is found again by its place when the dialog closes; a removal
    // meanwhile must not let the edit land on another station.
    const QString oldAddress = m_stations->address(entry);
    const QString oldName = m_stations->name(entry);
    connect(dialog, &QDialog::accepted, this, [this, dialog, entry, oldName, oldAddress] {
        if (m_stations->name(entry) != oldName || m_stations->address(entry) != oldAddress)
            return;
        const QString address = dialog->stationAddress();
        m_stations->editEntry(entry, dialog->stationName(), address);
        // The loaded station was edited: the Station box and its check follow.
        if (address != oldAddress && (m_address->text() == oldAddress || selectedEntry() == entry)) {
            m_address->setText(address);
            checkStation();
        }
    });
    dialog->open();
}

void SetupWindow::removeStations()
{
    QList<int> entries;
    const QModelIndexList rows = m_stationView->selectionModel()->selectedRows();
    for (const QModelIndex &row : rows)
        entries.append(row.row() + 1);
    const QScopedValueRollback quiet(m_quietSelection, true);
    m_stations->removeEntries(entries);
}

void SetupWindow::removeAllStations()
{
    if (m_stations->count() == 0)
        return;
    // There is no undo: the whole list is gone once the window closes.
    auto *box = new QMessageBox(QMessageBox::Question, QStringLiteral("Remove All"),
                                QStringLiteral("Remove all %1 stations from the list?").arg(m_stations->count()),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("removeAllQuestion"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this](int answer) {
        if (answer == QMessageBox::Yes) {
            const QScopedValueRollback quiet(m_quietSelection, true);
            m_stations->removeAll();
        }
    });
    box->open();
}

void SetupWindow::dropStation(const QMimeData *mime)
{
    markChanged();
    m_address->clear();
    if (mime->hasUrls() && !mime->urls().isEmpty()) {
        const QUrl url = mime->urls().constFirst();
        if (url.isLocalFile()) {
            const QString path = url.toLocalFile();
            if (!platform::fileExists(path))
                return;
            m_address->setText(path);
            addStationFor(path);
            return;
        }
        m_address->setText(url.toString());
        addStationFor(url.toString());
        return;
    }
    if (mime->hasText()) {
        const QString text = mime->text().trimmed();
        m_address->setText(text);
        addStationFor(text);
    }
}

// ---------------------------------------------------------------------------
// Search, tools, help, scheduling

void SetupWindow::openLocalSearch()
{
    if (!m_localSearch) {
        m_localSearch = new LocalPresetSearch(*m_stations);
        m_localSearch->setAttribute(Qt::WA_DeleteOnClose);
        program().setWindowUnloader(ProgramWindow::LocalSearch, [search = m_localSearch] {
            if (search)
                search->deleteLater();
        });
    }
    m_localSearch->show();
    m_localSearch->raise();
    m_localSearch->activateWindow();
}

void SetupWindow::openDirectorySearch()
{
    if (isSignalConnected(QMetaMethod::fromSignal(&SetupWindow::directorySearchRequested))) {
        Q_EMIT directorySearchRequested();
        return;
    }
    tell(QStringLiteral("The station directory search is not available in this build."));
}

void SetupWindow::storeDirectoryServer()
{
    const QString server = m_directoryServer->text().trimmed();
    if (server == StationDirectory::configuredServer())
        return;
    if (!server.isEmpty() && !StationDirectory::isServerAddress(server)) {
        tell(QStringLiteral("Not a directory server: ") + server);
        m_directoryServer->setText(StationDirectory::configuredServer());
        return;
    }
    writeIniValue(QStringLiteral("Directory"), QStringLiteral("Server"), server, ombrexIniPath());
}

void SetupWindow::scheduleSelectedStation()
{
    const int entry = selectedEntry();
    if (entry > 0)
        m_scheduler->setPlay(m_stations->address(entry), m_stations->name(entry));
    showPage(Page::Scheduler);
}

void SetupWindow::launchCompanion(const QString &program)
{
    const QString problem = helpandtools::launchCompanion(program);
    if (!problem.isEmpty())
        tell(problem);
}

void SetupWindow::openHelp()
{
    const QString problem = helpandtools::openHelp(this);
    if (!problem.isEmpty())
        tell(problem);
}

void SetupWindow::onUseExternalToggled(bool on)
{
    if (!on) {
        m_externalPlayer->clear();
        saveExternalPlayer(QString());
    }
}

void SetupWindow::browsePlayer()
{
    auto *dialog =
        new QFileDialog(this, QStringLiteral("Choose the External Player"), dialogFolder(m_externalPlayer->text()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &chosen) {
        m_externalPlayer->setText(QDir::toNativeSeparators(chosen));
        m_useExternal->setChecked(true);
        saveExternalPlayer(m_externalPlayer->text());
    });
    dialog->open();
}

void SetupWindow::tell(const QString &text)
{
    platform::frontEnd().showMessage(text);
}

// ---------------------------------------------------------------------------
// Window events

void SetupWindow::saveState()
{
    if (m_saved)
        return;
    m_saved = true;
    if (!m_stations->save())
        tell(QStringLiteral("The station list could not be saved!"));
    saveSetupSettings(currentSettings());
    SetupWindowState state;
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    state.left = isMaximized() || isMinimized() ? normal.left() : frameGeometry().left();
    state.top = isMaximized() || isMinimized() ? normal.top() : frameGeometry().top();
    state.width = normal.width();
    state.height = normal.height();
    state.page = m_pages->currentIndex();
    state.selectedStation = selectedEntry();
    saveSetupWindowState(state);
}

void SetupWindow::closeEvent(QCloseEvent *event)
{
    // The exit route unloads this window (saving what it holds); closing it
    // here would end a running recording unasked.
    event->ignore();
    quit();
}

void SetupWindow::quit()
{
    if (!m_recorder)
        attachRecorder(program().recorder());
    if (!m_recorder) {
        exitProgram(kExitNormal);
        return;
    }
    const RecordingStatus status = m_recorder->status();
    if (status.recording && !status.paused) {
        askToQuit(m_recorder);
        return;
    }
    // A paused recording's file is closed and tagged on the way out.
    m_recorder->exitFromMenu();
}

void SetupWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Back from minimised: the display docks again under the restored frame.
    if (event->type() == QEvent::WindowStateChange && !(windowState() & Qt::WindowMinimized))
        Q_EMIT frameMoved(frameGeometry());
    // Opened from the tray, the window goes back to the tray when minimised.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        program().setupOpenedFromTray)
        hide();
}

void SetupWindow::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    Q_EMIT frameMoved(frameGeometry());
}

void SetupWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Q_EMIT frameMoved(frameGeometry());
}

void SetupWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    attachRecorder(program().recorder());
    Q_EMIT displayWanted();
    Q_EMIT frameMoved(frameGeometry());
}

void SetupWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void SetupWindow::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    dropStation(event->mimeData());
}

bool SetupWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_path) {
        switch (event->type()) {
        case QEvent::FocusIn:
            if (isFolderMode())
                m_lastFolder = m_path->text();
            else
                m_lastFile = m_path->text();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (drag->mimeData()->hasUrls())
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            drop->acceptProposedAction();
            dropPath(drop->mimeData());
            return true;
        }
        default:
            break;
        }
    } else if (watched == m_stationView && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent *>(event)->matches(QKeySequence::Delete)) {
        removeStations();
        return true;
    } else if (watched == m_stationView->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (drag->mimeData()->hasUrls() || drag->mimeData()->hasText())
                drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            drop->acceptProposedAction();
            dropStation(drop->mimeData());
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
