#include "ui/setupwindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStyle>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "config/setupsettings.h"
#include "config/stationlist.h"
#include "engine/recorder.h"
#include "engine/recordingrequest.h"
#include "platform/paths.h"
#include "ui/advancedpage.h"
#include "ui/capturebox.h"
#include "ui/confirmquitdialog.h"
#include "ui/filedialogs.h"
#include "ui/helpandtools.h"
#include "ui/pagebar.h"
#include "ui/schedulerpage.h"
#include "ui/stationbar.h"
#include "ui/stationlistpanel.h"
#include "ui/stationsection.h"
#include "ui/themedicon.h"
#include "ui/windowplacement.h"

static void initUiResources()
{
    Q_INIT_RESOURCE(ui);
}

SetupWindow::SetupWindow(Recorder &recorder, Preset &draft, platform::Clock &clock, MessageSink tell,
                         QuitQuestion &quitQuestion, platform::ServiceManager &serviceManager, QWidget *parent)
    : QMainWindow(parent)
    , m_recorder(recorder)
    , m_draft(draft)
    , m_clock(clock)
    , m_tell(std::move(tell))
    , m_quitQuestion(quitQuestion)
{
    initUiResources();
    setObjectName(QStringLiteral("setupWindow"));
    setWindowTitle(QStringLiteral("Vorlane"));
    setWindowIcon(themedIcon("media-record", "record"));
    setAcceptDrops(true);

    m_stations = new StationList(this);

    buildWindow(clock, serviceManager);
    buildMenus();

    // Opening: options, station list, the Radio page, the draft.
    SetupSettings settings;
    loadSetupSettings(settings);
    m_section->captureBox()->applySettings(settings);
    m_advanced->applySettings(settings);
    m_stations->load();
    const SetupWindowState remembered = loadSetupWindowState();
    showPage(remembered.page >= 0 && remembered.page <= static_cast<int>(Page::Scheduler)
                 ? static_cast<Page>(remembered.page)
                 : Page::Radio);
    m_section->stationBar()->hideProgress();
    m_section->disablePanel();
    m_section->clearChanged();
    // The stored station is 1-based.
    const int rememberedRow = remembered.selectedStation - 1;
    if (m_draft.valid) {
        loadFromPreset();
    } else if (rememberedRow >= 0 && rememberedRow < m_stations->count()) {
        // The last station is ready for its check; nothing goes out unasked.
        selectEntry(rememberedRow);
        m_section->setAddress(m_stations->address(rememberedRow));
        m_section->stationBar()->checkButton()->setEnabled(true);
        m_section->updateStartButtons();
    }
    m_stations->resetMarks();

    // The rule for Record and Preview follows every change of the recording.
    connect(&m_recorder, &Recorder::statusChanged, m_section, &StationSection::updateStartButtons);
    connect(&m_recorder, &Recorder::recordingStarted, m_section, &StationSection::updateStartButtons);
    connect(&m_recorder, &Recorder::recordingStopped, m_section, &StationSection::updateStartButtons);
    // An ended recording (Stop, its time limit, a lost station) leaves no
    // "Record" or "Play" behind in the list.
    connect(&m_recorder, &Recorder::statusChanged, this, [this](const RecordingStatus &status) {
        if (status.state == RecordingStatus::State::Idle && !m_starting)
            m_stations->markPlaying(-1, StationList::Mark::None);
    });
    m_section->updateStartButtons();
    placeOnScreen(*this, QRect(remembered.left, remembered.top, remembered.width, remembered.height));
}

SetupWindow::~SetupWindow() = default;

// ---------------------------------------------------------------------------
// Building the window

void SetupWindow::buildWindow(platform::Clock &clock, platform::ServiceManager &serviceManager)
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);

    // Page buttons, then the page, then the station section below.
    m_pageBar = new PageBar(*m_stations, m_tell, central);
    connect(m_pageBar, &PageBar::pageChosen, this, [this](int page) { showPage(static_cast<Page>(page)); });
    connect(m_pageBar, &PageBar::directorySearchRequested, this, &SetupWindow::openDirectorySearch);

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
    // Created in the order of the pages, which is the order Tab visits them.
    m_stationPanel = new StationListPanel(*m_stations, this);
    m_pages->addWidget(m_stationPanel);
    m_advanced = new AdvancedPage(m_tell, this);
    m_pages->addWidget(scrolling(m_advanced));
    m_scheduler = new SchedulerPage(clock, serviceManager, m_tell, this);
    m_pages->addWidget(scrolling(m_scheduler));
    auto *about = new QTextBrowser(this);
    about->setObjectName(QStringLiteral("about"));
    about->setOpenExternalLinks(true);
    about->setHtml(helpandtools::aboutHtml());
    m_pages->addWidget(about);

    connect(m_stationPanel, &StationListPanel::stationActivated, this, &SetupWindow::onStationActivated);
    connect(m_stationPanel, &StationListPanel::stationEdited, this, &SetupWindow::onStationEdited);
    // A new station is loaded and checked at once: the next step is Record.
    connect(m_stationPanel, &StationListPanel::stationAdded, this, [this](const QString &address) {
        m_section->setAddress(address);
        checkStation();
    });
    connect(m_stationPanel, &StationListPanel::dropped, this, &SetupWindow::dropStation);
    connect(m_stationPanel, &StationListPanel::previewRequested, this, &SetupWindow::preview);
    connect(m_stationPanel, &StationListPanel::recordRequested, this, &SetupWindow::record);
    connect(m_stationPanel, &StationListPanel::scheduleRequested, this, &SetupWindow::scheduleSelectedStation);
    connect(m_advanced, &AdvancedPage::changed, this, &SetupWindow::markChanged);
    // A scheduled station records with the options the window shows.
    m_scheduler->setOptionsSource([this] {
        Preset preset = m_draft;
        fillPreset(preset);
        return preset;
    });

    layout->addWidget(m_pageBar);
    layout->addWidget(m_pages, 1);
    m_section = new StationSection(m_recorder, m_clock, m_tell, central);
    m_section->setObjectName(QStringLiteral("stationSection"));
    connect(m_section, &StationSection::checkRequested, this, &SetupWindow::checkStation);
    // The row was checked: it no longer shows "Connecting".
    connect(m_section, &StationSection::checkEnded, this, [this] { m_stations->markConnecting(-1); });
    connect(m_section, &StationSection::panelEnabledChanged, m_advanced, &AdvancedPage::setRecordingOptionsEnabled);
    connect(m_section, &StationSection::startAllowedChanged, m_stationPanel, &StationListPanel::setStartEnabled);
    connect(m_section, &StationSection::recordClicked, this, &SetupWindow::record);
    connect(m_section, &StationSection::previewClicked, this, &SetupWindow::preview);
    connect(m_section, &StationSection::saveClicked, this, &SetupWindow::chooseSavePreset);
    connect(m_section, &StationSection::openClicked, this, &SetupWindow::chooseOpenPreset);
    layout->addWidget(m_section);
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

void SetupWindow::buildMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->addAction(themedIcon("document-open", "open"), tr("&Open Preset File..."), this,
                    &SetupWindow::chooseOpenPreset)
        ->setShortcut(QKeySequence::Open);
    file->addAction(themedIcon("document-save", "save"), tr("&Save Preset File..."), this,
                    &SetupWindow::chooseSavePreset)
        ->setShortcut(QKeySequence::Save);
    file->addSeparator();
    file->addAction(themedIcon("application-exit", "exit"), tr("E&xit"), this, &SetupWindow::close)
        ->setShortcut(QKeySequence::Quit);

    QMenu *operation = menuBar()->addMenu(tr("&Operation"));
    operation->addAction(tr("&Add"), m_stationPanel, &StationListPanel::addStation);
    operation->addAction(tr("&Edit"), m_stationPanel, &StationListPanel::editStation);
    operation->addAction(tr("&Remove"), m_stationPanel, &StationListPanel::removeStations);
    operation->addAction(tr("Remove A&ll"), m_stationPanel, &StationListPanel::removeAllStations);
    operation->addSeparator();
    operation->addAction(themedIcon("media-playback-stop", "stop"), tr("&Stop"), this, &SetupWindow::stop);

    QMenu *search = menuBar()->addMenu(tr("&Search"));
    search->addAction(tr("&Radio Station Search"), this, &SetupWindow::openDirectorySearch);
    search->addAction(tr("Search &Presets"), m_pageBar, &PageBar::openLocalSearch);

    QMenu *tools = menuBar()->addMenu(tr("&Tools"));
    for (const QString &program : helpandtools::companionPrograms()) {
        if (program == QStringLiteral("Tonshift"))
            tools->addAction(tr("Scheduler"), this, [this] { showPage(Page::Scheduler); });
        QAction *action =
            tools->addAction(program, m_pageBar, [this, program] { m_pageBar->launchCompanion(program); });
        action->setData(program);
    }
    helpandtools::watchCompanions(tools);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(themedIcon("help-contents", "help"), tr("&Help"), m_pageBar, &PageBar::openHelp)
        ->setShortcut(QKeySequence::HelpContents);
    help->addAction(themedIcon("help-about", "about"), tr("&About...."), this, [this] { showPage(Page::About); });
}

// ---------------------------------------------------------------------------
// Pages and the station list

SetupWindow::Page SetupWindow::currentPage() const
{
    return static_cast<Page>(m_pages->currentIndex());
}

void SetupWindow::showPage(Page page)
{
    m_pages->setCurrentIndex(static_cast<int>(page));
    m_pageBar->setCurrentPage(static_cast<int>(page));
}

int SetupWindow::selectedEntry() const
{
    return m_stationPanel->selectedRow();
}

void SetupWindow::selectEntry(int row)
{
    m_stationPanel->selectRow(row);
}

void SetupWindow::addStationFor(const QString &address, const QString &name)
{
    m_stationPanel->addStationFor(address, name);
}

void SetupWindow::onStationActivated(int row)
{
    const QString address = m_stations->address(row);
    // A double click reports the click and the activation: check once.
    if (m_section->stationBar()->isChecking() && m_section->address() == address)
        return;
    m_section->setAddress(address);
    checkStation();
}

void SetupWindow::onStationEdited(int row, const QString &oldAddress, const QString &newAddress)
{
    // The loaded station was edited: the Station box and its check follow.
    if (m_section->address() == oldAddress || selectedEntry() == row) {
        m_section->setAddress(newAddress);
        checkStation();
    }
}

void SetupWindow::dropStation(const QMimeData *mime)
{
    markChanged();
    m_section->setAddress(QString());
    if (mime->hasUrls() && !mime->urls().isEmpty()) {
        const QUrl url = mime->urls().constFirst();
        if (url.isLocalFile()) {
            const QString path = url.toLocalFile();
            if (!platform::fileExists(path))
                return;
            m_section->setAddress(path);
            addStationFor(path);
            return;
        }
        m_section->setAddress(url.toString());
        addStationFor(url.toString());
        return;
    }
    if (mime->hasText()) {
        const QString text = mime->text().trimmed();
        m_section->setAddress(text);
        addStationFor(text);
    }
}

void SetupWindow::scheduleSelectedStation()
{
    const int row = selectedEntry();
    if (row >= 0)
        m_scheduler->setPlay(m_stations->address(row), m_stations->name(row));
    showPage(Page::Scheduler);
}

// ---------------------------------------------------------------------------
// The station check

void SetupWindow::checkStation()
{
    if (m_advanced->usesExternalPlayer()) {
        if (!QProcess::startDetached(m_advanced->externalPlayer(), {m_section->address()}))
            m_tell(tr("The external player could not be started!"));
        return;
    }
    m_section->check();
    m_stations->markConnecting(selectedEntry());
}

void SetupWindow::markChanged()
{
    m_section->markChanged();
}

// ---------------------------------------------------------------------------
// The draft, Record and Preview

void SetupWindow::putInPreset()
{
    fillPreset(m_draft);
}

void SetupWindow::fillPreset(Preset &preset) const
{
    m_section->putIn(preset);
    m_advanced->putIn(preset);
}

void SetupWindow::loadFromPreset()
{
    const Preset preset = m_draft;
    m_section->clearChanged();
    m_advanced->takeFrom(preset);
    m_section->takeFrom(preset);
    // A station already listed is selected, not listed again.
    int row = m_stations->findAddress(m_section->address());
    if (row == -1)
        row = m_stations->appendEntry(preset.stationTitle, m_section->address());
    selectEntry(row);
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
    m_section->clearChanged();
    // A new start never leaves the running recording's file open and untagged.
    // The station's mark stays while one recording follows the other.
    const QScopedValueRollback starting(m_starting, true);
    if (m_recorder.status().state != RecordingStatus::State::Idle)
        m_recorder.stopRecording();
    m_draft.valid = true;
    m_section->stationBar()->hideProgress();
    putInPreset();
    const QString externalPlayer = m_advanced->usesExternalPlayer() ? m_advanced->externalPlayer() : QString();
    if (!m_recorder.start(RecordingRequest{m_draft, {}, true, previewOnly, externalPlayer})) {
        m_tell(tr("Error on starting this recording!"));
        m_section->updateStartButtons();
        return;
    }
    m_stations->markPlaying(selected, previewOnly ? StationList::Mark::Playing : StationList::Mark::Recording);
    m_section->updateStartButtons();
    Q_EMIT stationStarted(m_draft.playlistAddress);
}

void SetupWindow::stop()
{
    m_recorder.stopRecording();
}

bool SetupWindow::openPresetFile(const QString &path)
{
    // A file that fails halfway leaves the draft as it was.
    Preset loaded = m_draft;
    if (!loaded.load(path)) {
        if (!loaded.failureText().isEmpty())
            m_tell(loaded.failureText());
        return false;
    }
    loaded.presetFilePath = path;
    m_draft = loaded;
    loadFromPreset();
    markChanged();
    return true;
}

bool SetupWindow::savePresetFile(const QString &path)
{
    if (m_draft.save(path)) {
        m_draft.presetFilePath = path;
        return true;
    }
    const QString reason =
        QFileInfo(path).dir().exists() ? tr("Permission denied or disk full") : tr("The folder does not exist");
    m_tell(tr("Error saving file! ") + reason);
    return false;
}

void SetupWindow::chooseOpenPreset()
{
    choosePresetFile(this, false, m_draft.presetFilePath, [this](const QString &chosen) { openPresetFile(chosen); });
}

void SetupWindow::chooseSavePreset()
{
    putInPreset();
    choosePresetFile(this, true, m_draft.presetFilePath, [this](const QString &chosen) { savePresetFile(chosen); });
}

// ---------------------------------------------------------------------------
// The station directory

void SetupWindow::openDirectorySearch()
{
    if (isSignalConnected(QMetaMethod::fromSignal(&SetupWindow::directorySearchRequested))) {
        Q_EMIT directorySearchRequested();
        return;
    }
    m_tell(tr("The station directory search is not available in this build."));
}

// ---------------------------------------------------------------------------
// Window events

void SetupWindow::saveState()
{
    if (m_saved)
        return;
    m_saved = true;
    if (!m_stations->save())
        m_tell(tr("The station list could not be saved!"));
    SetupSettings settings;
    m_section->captureBox()->saveInto(settings);
    m_advanced->saveInto(settings);
    saveSetupSettings(settings);
    SetupWindowState state;
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    state.left = isMaximized() || isMinimized() ? normal.left() : frameGeometry().left();
    state.top = isMaximized() || isMinimized() ? normal.top() : frameGeometry().top();
    state.width = normal.width();
    state.height = normal.height();
    state.page = m_pages->currentIndex();
    const int row = selectedEntry();
    state.selectedStation = row >= 0 ? row + 1 : -1;
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
    const RecordingStatus status = m_recorder.status();
    if (status.recording && !status.paused) {
        m_quitQuestion.ask(m_recorder);
        return;
    }
    // A paused recording's file is closed and tagged on the way out.
    m_recorder.exitFromMenu();
}

void SetupWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    // Back from minimised: the display docks again under the restored frame.
    if (!(windowState() & Qt::WindowMinimized))
        Q_EMIT frameMoved(frameGeometry());
    else if (m_hidesWhenMinimised)
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
