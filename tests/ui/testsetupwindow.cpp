// The recording setup window on the offscreen platform: the rules of its path
// box and capture modes, the preset record in and out, the Record/Preview rule
// while a recording runs, presets on disk, the station list and drops, the
// stored options, and one recording driven through the window end to end.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

#include "app/desktopfrontend.h"
#include "app/programcontext.h"
#include "audiofiles.h"
#include "config/inivalues.h"
#include "config/preset.h"
#include "config/stationlist.h"
#include "engine/recorder.h"
#include "engine/startup.h"
#include "eventwait.h"
#include "fakeclock.h"
#include "platform/folders.h"
#include "programrun.h"
#include "recordertestpeer.h"
#include "recordingfrontend.h"
#include "testenv.h"
#include "testprogram.h"
#include "teststation/station.h"
#include "ui/capturebox.h"
#include "ui/confirmquitdialog.h"
#include "ui/helpandtools.h"
#include "ui/localpresetsearch.h"
#include "ui/schedulerpage.h"
#include "ui/setupwindow.h"
#include "ui/spinnerbox.h"
#include "ui/stationdialog.h"
#include "ui/stationsection.h"

namespace
{

class SetupWindowTest : public ::testing::Test, protected TestProgram
{
protected:
    void SetUp() override
    {
        // A program folder and a recordings folder of its own: what one test
        // stores never reaches the next.
        ASSERT_TRUE(home.isValid());
        savedHome = qgetenv("VORLANE_HOME");
        qputenv("VORLANE_HOME", QFile::encodeName(home.filePath(QStringLiteral("program"))));
        folder = home.filePath(QStringLiteral("records")) + QLatin1Char('/');
        QDir().mkpath(folder);
        openWindow();
    }
    void TearDown() override
    {
        window.reset();
        restartProgram();
        qputenv("VORLANE_HOME", savedHome);
    }
    // The window as the desktop opens it: on the program's recorder and draft,
    // saved by the exit route.
    void openWindow()
    {
        Recorder *recorder = program().loadRecorder();
        window = std::make_unique<SetupWindow>(
            *recorder, program().configuration(), clock, [this](const QString &text) { frontEnd.showMessage(text); },
            quitQuestion, devices.serviceManager);
        program().setWindowUnloader(ProgramWindow::Setup, [this] {
            if (window)
                window->saveState();
        });
    }

    template <typename T = QWidget> T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit *path() const { return child<QLineEdit>("path"); }
    CaptureBox *capture() const { return child<CaptureBox>("captureBox"); }
    QAbstractButton *button(const char *name) const { return child<QAbstractButton>(name); }
    bool startButtonsEnabled() const { return button("record")->isEnabled() && button("preview")->isEnabled(); }

    // A checked station as after a successful check, without the network.
    void checkedStation(const QString &address = QStringLiteral("http://127.0.0.1:1/listen.pls"))
    {
        program().configuration().playlistAddress = address;
        program().configuration().stationTitle = QStringLiteral("Test FM");
        program().configuration().saveFolder = folder;
        program().configuration().captureMode = 2;
        window->loadFromPreset();
    }
    void typePath(const QString &text)
    {
        path()->setText(text);
        capture()->acceptPath();
    }
    StationDialog *openDialog() const
    {
        const QList<StationDialog *> dialogs = window->findChildren<StationDialog *>();
        for (StationDialog *dialog : dialogs) {
            if (dialog->isVisible())
                return dialog;
        }
        return nullptr;
    }

    RecordingFrontEnd &frontEnd = ui;
    QTemporaryDir home;
    QByteArray savedHome;
    QString folder;
    QuitQuestion quitQuestion{clock};
    std::unique_ptr<SetupWindow> window;
};

} // namespace

// The path box shows the capture target (its rules are tested without
// widgets) and says why a path is refused.
TEST_F(SetupWindowTest, PathBoxFollowsTheModeAndSaysWhyAPathIsRefused)
{
    checkedStation();
    typePath(folder.chopped(1));
    EXPECT_EQ(path()->text(), folder);
    EXPECT_TRUE(startButtonsEnabled());
    typePath(folder + QStringLiteral("no/such/folder"));
    EXPECT_EQ(frontEnd.messages, QStringList{QStringLiteral("The path is invalid!")});
    EXPECT_EQ(path()->text(), folder);
    EXPECT_FALSE(startButtonsEnabled());

    capture()->chooseCaptureMode(1);
    EXPECT_EQ(child<QLabel>("pathLabel")->text(), QStringLiteral("MP3 file:"));
    EXPECT_TRUE(path()->text().isEmpty());
    EXPECT_FALSE(child<QGroupBox>("dateMode")->isVisibleTo(window.get()));
    typePath(folder);
    EXPECT_EQ(frontEnd.messages.last(), QStringLiteral("Invalid MP3 file name!"));
    capture()->chooseCaptureMode(3);
    EXPECT_EQ(child<QLabel>("pathLabel")->text(), QStringLiteral("Save MP3s to:"));
    EXPECT_EQ(path()->text(), folder);
    EXPECT_TRUE(child<QGroupBox>("dateMode")->isVisibleTo(window.get()));
}

TEST_F(SetupWindowTest, DatedModeWithoutHeaderAllowsNoStart)
{
    checkedStation();
    typePath(folder);
    EXPECT_TRUE(startButtonsEnabled());
    capture()->chooseCaptureMode(3);
    child<QLineEdit>("archivePrefix")->clear();
    EXPECT_EQ(capture()->target().problem(), CaptureTarget::Problem::NoArchiveHeader);
    EXPECT_FALSE(startButtonsEnabled());
    EXPECT_FALSE(button("save")->isEnabled());
    child<QLineEdit>("archivePrefix")->setText(QStringLiteral("Morning"));
    EXPECT_TRUE(startButtonsEnabled());
    EXPECT_TRUE(button("save")->isEnabled());
}

TEST_F(SetupWindowTest, AddressesWithoutPlaylistNameAreRefusedOthersAreChecked)
{
    // A web page is neither a playlist nor a stream.
    child<QLineEdit>("address")->setText(QStringLiteral("http://127.0.0.1:1/stations.html"));
    window->checkStation();
    EXPECT_EQ(frontEnd.messages,
              QStringList{QStringLiteral("This is not a valid Shoutcast streaming playlist, configuration file, or "
                                         "accepted URL file!")});
    // ".pls" anywhere passes, a query behind it included; nothing listens there.
    child<QLineEdit>("address")->setText(QStringLiteral("http://127.0.0.1:1/listen.pls?sid=2"));
    window->checkStation();
    EXPECT_TRUE(child<QLabel>("connecting")->isVisibleTo(window.get()));
    ASSERT_TRUE(waitUntil([&] { return frontEnd.messages.size() == 2; }));
    EXPECT_TRUE(child<QLineEdit>("address")->text().isEmpty());
    EXPECT_FALSE(child<QLabel>("connecting")->isVisibleTo(window.get()));
    EXPECT_FALSE(startButtonsEnabled()) << "a station that failed its check is not recorded";
}

TEST_F(SetupWindowTest, PresetRecordRoundTripsThroughTheWindowInEveryMode)
{
    struct Case
    {
        qint32 mode;
        QString name;
    };
    for (const Case &c : {Case{1, QStringLiteral("all.mp3")}, Case{2, QString()}, Case{3, QStringLiteral("Daily")}}) {
        SCOPED_TRACE(c.mode);
        Preset &preset = program().configuration();
        preset.playlistAddress = QStringLiteral("http://radio.example/listen.pls");
        preset.stationTitle = QStringLiteral("Round FM");
        preset.saveFolder = folder.chopped(1); // without its separator
        preset.captureMode = c.mode;
        preset.recordingFileName = c.name;
        preset.timeLimited = true;
        preset.timeLimitMinutes = 90;
        preset.exitAfterRecording = true;
        preset.deleteOldArchives = true;
        preset.daysToKeep = 7;
        preset.listenAtStart = false;
        preset.startPaused = true;
        const Preset before = preset;
        window->loadFromPreset();
        // Loaded again and again, the station is listed once and selected.
        EXPECT_EQ(window->stations().count(), 1);
        EXPECT_EQ(window->stations().address(0), before.playlistAddress);
        EXPECT_EQ(window->selectedEntry(), 0);

        preset.reset();
        window->putInPreset();
        EXPECT_EQ(preset.playlistAddress, before.playlistAddress);
        EXPECT_EQ(preset.stationTitle, before.stationTitle);
        EXPECT_EQ(preset.saveFolder, folder);
        EXPECT_EQ(preset.captureMode, c.mode);
        if (c.mode != 2) {
            EXPECT_EQ(preset.recordingFileName, c.name);
        }
        EXPECT_TRUE(preset.timeLimited);
        EXPECT_EQ(preset.timeLimitMinutes, 90);
        EXPECT_TRUE(preset.exitAfterRecording);
        EXPECT_TRUE(preset.deleteOldArchives);
        EXPECT_EQ(preset.daysToKeep, 7);
        EXPECT_FALSE(preset.listenAtStart);
        EXPECT_TRUE(preset.startPaused);
    }
    // Timed recording off: both flags go, the minutes stay.
    child<QCheckBox>("timed")->setChecked(false);
    window->putInPreset();
    EXPECT_FALSE(program().configuration().timeLimited);
    EXPECT_FALSE(program().configuration().exitAfterRecording);
    EXPECT_EQ(program().configuration().timeLimitMinutes, 90);
}

TEST_F(SetupWindowTest, PresetFilesOpenAndSaveAndAFailedSaveIsReported)
{
    checkedStation();
    typePath(folder);
    window->putInPreset();
    const QString file = folder + QStringLiteral("saved.mvr");
    ASSERT_TRUE(window->savePresetFile(file));
    EXPECT_TRUE(frontEnd.messages.isEmpty());

    EXPECT_FALSE(window->savePresetFile(folder + QStringLiteral("missing/x.mvr")));
    ASSERT_EQ(frontEnd.messages.size(), 1);
    EXPECT_TRUE(frontEnd.messages.first().startsWith(QStringLiteral("Error saving file! ")));
    EXPECT_GT(frontEnd.messages.first().size(), 19) << "the reason follows";

    // A file that breaks off leaves the draft as it was, still complete.
    program().configuration().valid = true;
    EXPECT_FALSE(window->openPresetFile(testenv::writeFile(folder + QStringLiteral("broken.mvr"), "Broken FM\r\n")));
    EXPECT_TRUE(program().configuration().valid);
    EXPECT_EQ(program().configuration().stationTitle, QStringLiteral("Test FM"));

    program().configuration().reset();
    window->stations().removeAll();
    ASSERT_TRUE(window->openPresetFile(file));
    EXPECT_EQ(child<QLineEdit>("address")->text(), QStringLiteral("http://127.0.0.1:1/listen.pls"));
    EXPECT_EQ(child<QLineEdit>("title")->text(), QStringLiteral("Test FM"));
    EXPECT_EQ(path()->text(), folder);
    EXPECT_EQ(window->stations().count(), 1);
    EXPECT_TRUE(child<StationSection>("stationSection")->isChanged());
}

TEST_F(SetupWindowTest, RunningRecordingIsRestartedOnlyAfterAChange)
{
    checkedStation();
    typePath(folder);
    window->selectEntry(0);
    button("record")->click();
    EXPECT_EQ(program().recorder()->status().state, RecordingStatus::State::Connecting);
    EXPECT_FALSE(startButtonsEnabled());
    EXPECT_EQ(window->stations().mark(0), StationList::Mark::Recording);
    const QModelIndex status = child<QTreeView>("stationView")->model()->index(0, StationList::StatusColumn);
    EXPECT_EQ(status.data().toString(), QStringLiteral("Record")) << "the list shows the mark";
    EXPECT_TRUE(inside(program().recorder()).startedFromSetupWindow());

    child<QLineEdit>("title")->setText(QStringLiteral("Other FM"));
    Q_EMIT child<QLineEdit>("title")->textEdited(QStringLiteral("Other FM"));
    EXPECT_TRUE(startButtonsEnabled());

    // Preview while recording: the recording stops, the station starts paused.
    button("preview")->click();
    EXPECT_TRUE(inside(program().recorder()).isPausedStart());
    EXPECT_FALSE(startButtonsEnabled());
    EXPECT_EQ(window->stations().mark(0), StationList::Mark::Recording) << "the same entry keeps its mark";

    window->stop();
    EXPECT_EQ(program().recorder()->status().state, RecordingStatus::State::Idle);
    EXPECT_TRUE(startButtonsEnabled());
}

TEST_F(SetupWindowTest, StationListEditingAndMarksFollowTheirStations)
{
    StationList &stations = window->stations();
    for (const char *name : {"A", "B", "C"})
        stations.appendEntry(QString::fromLatin1(name), QStringLiteral("http://127.0.0.1:1/") +
                                                            QString::fromLatin1(name) + QStringLiteral(".pls"));
    checkedStation(); // appends D
    typePath(folder);
    window->selectEntry(2);
    window->record();
    EXPECT_EQ(stations.mark(2), StationList::Mark::Recording);

    window->selectEntry(1);
    window->findChild<QAbstractButton *>(QStringLiteral("editStation"))->click();
    StationDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Edit Station"));
    EXPECT_EQ(dialog->stationName(), QStringLiteral("B"));
    dialog->findChild<QLineEdit *>(QStringLiteral("stationName"))->setText(QStringLiteral("Bee"));
    dialog->accept();
    EXPECT_EQ(stations.name(1), QStringLiteral("Bee"));

    // Removing the entries before the recording one moves its mark along.
    window->selectEntry(0);
    window->findChild<QAbstractButton *>(QStringLiteral("removeStation"))->click();
    EXPECT_EQ(stations.count(), 3);
    EXPECT_EQ(stations.playingRow(), 1);
    EXPECT_EQ(stations.mark(1), StationList::Mark::Recording);

    window->selectEntry(1);
    window->findChild<QAbstractButton *>(QStringLiteral("removeStation"))->click();
    EXPECT_EQ(stations.playingRow(), -1) << "no mark names a removed station";
    window->selectEntry(0);
    window->checkStation();
    EXPECT_EQ(stations.mark(0), StationList::Mark::Connecting);
    stations.removeAll();
    EXPECT_EQ(stations.connectingRow(), -1);
    window->checkStation(); // nothing selected: no mark anywhere
    EXPECT_EQ(stations.connectingRow(), -1);
}

// The station list's pop-up: "Schedule..." opens the Scheduler page set to
// play the selected station; with nothing selected, "Play :" keeps its text.
TEST_F(SetupWindowTest, ScheduleEntryOpensTheSchedulerWithTheSelectedStation)
{
    window->stations().appendEntry(QStringLiteral("A"), QStringLiteral("http://a.example/a.pls"));
    window->stations().appendEntry(QStringLiteral("B"), QStringLiteral("http://b.example/b.pls"));
    window->show();
    auto *play = child<QLineEdit>("schedulePlay");
    const QString untouched = play->text();
    const auto chooseSchedule = [this] {
        auto *view = child<QTreeView>("stationView");
        Q_EMIT view->customContextMenuRequested(QPoint(5, 5));
        auto *menu = child<QMenu>("stationMenu");
        const QList<QAction *> actions = menu->actions();
        const auto found = std::find_if(actions.begin(), actions.end(), [](QAction *action) {
            return action->text() == QStringLiteral("&Schedule...");
        });
        ASSERT_NE(found, actions.end());
        menu->hide();
        (*found)->trigger();
    };

    chooseSchedule();
    EXPECT_EQ(window->currentPage(), SetupWindow::Page::Scheduler);
    EXPECT_EQ(play->text(), untouched);

    window->showPage(SetupWindow::Page::Radio);
    window->selectEntry(1);
    chooseSchedule();
    EXPECT_EQ(window->currentPage(), SetupWindow::Page::Scheduler);
    EXPECT_EQ(play->text(), QStringLiteral("http://b.example/b.pls"));
}

TEST_F(SetupWindowTest, DropsAddStationsAndFillThePathBox)
{
    // A dropped link is offered in the dialog; confirming adds it and checks it.
    QMimeData link;
    link.setUrls({QUrl(QStringLiteral("http://127.0.0.1:1/dropped.pls"))});
    window->dropStation(&link);
    StationDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Add Station"));
    EXPECT_EQ(dialog->stationAddress(), QStringLiteral("http://127.0.0.1:1/dropped.pls"));
    dialog->accept();
    ASSERT_EQ(window->stations().count(), 1);
    EXPECT_EQ(window->stations().address(0), QStringLiteral("http://127.0.0.1:1/dropped.pls"));
    EXPECT_EQ(window->stations().mark(0), StationList::Mark::Connecting);
    EXPECT_TRUE(child<QLabel>("connecting")->isVisibleTo(window.get()));

    // Cancelled text changes nothing; a missing file is not offered at all.
    QMimeData text;
    text.setText(QStringLiteral("http://127.0.0.1:1/typed.pls"));
    window->dropStation(&text);
    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
    QMimeData missing;
    missing.setUrls({QUrl::fromLocalFile(folder + QStringLiteral("none.pls"))});
    window->dropStation(&missing);
    EXPECT_EQ(openDialog(), nullptr);
    EXPECT_EQ(window->stations().count(), 1);

    // The path box takes a folder in folder mode and a file in file mode only.
    checkedStation();
    const QString file = testenv::writeFile(folder + QStringLiteral("sub/take.mp3"), "x");
    QMimeData fileDrop;
    fileDrop.setUrls({QUrl::fromLocalFile(file)});
    capture()->dropPath(&fileDrop);
    EXPECT_EQ(path()->text(), folder);
    QMimeData folderDrop;
    folderDrop.setUrls({QUrl::fromLocalFile(folder + QStringLiteral("sub"))});
    capture()->dropPath(&folderDrop);
    EXPECT_EQ(path()->text(), folder + QStringLiteral("sub/"));
    capture()->chooseCaptureMode(1);
    capture()->dropPath(&folderDrop);
    EXPECT_TRUE(path()->text().isEmpty());
    capture()->dropPath(&fileDrop);
    EXPECT_EQ(path()->text(), file);
    EXPECT_TRUE(capture()->target().isAccepted());
}

TEST_F(SetupWindowTest, ClosingKeepsStationsAndOptionsForTheNextRun)
{
    // First run: the defaults.
    EXPECT_TRUE(child<QRadioButton>("streamTitles")->isChecked());
    EXPECT_TRUE(path()->text().isEmpty());
    EXPECT_FALSE(child<QCheckBox>("browserAgent")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("hlsLowestBandwidth")->isChecked());
    child<QCheckBox>("hlsLowestBandwidth")->click();
    EXPECT_TRUE(hlsLowestBandwidth());
    // How title files are cut and tagged is stored as it changes.
    EXPECT_TRUE(child<QCheckBox>("splitAtPauses")->isChecked());
    EXPECT_EQ(child<SpinnerBox>("pauseSearchSeconds")->value(), 6);
    child<SpinnerBox>("pauseSearchSeconds")->setValue(12);
    child<QCheckBox>("splitAtPauses")->click();
    child<QCheckBox>("id3v2Tags")->click();
    EXPECT_FALSE(fileSplitSettings().splitAtPauses);
    EXPECT_EQ(fileSplitSettings().pauseSearchSeconds, 12);
    EXPECT_FALSE(fileSplitSettings().id3v2Tags);

    window->stations().appendEntry(QStringLiteral("A"), QStringLiteral("addrA"));
    window->stations().appendEntry(QStringLiteral("B"), QStringLiteral("addrB"));
    checkedStation();
    capture()->chooseCaptureMode(1);
    typePath(folder + QStringLiteral("single.mp3"));
    child<QCheckBox>("timed")->setChecked(true);
    child<SpinnerBox>("minutes")->setValue(90);
    window->close();
    EXPECT_TRUE(frontEnd.exited());
    EXPECT_EQ(testenv::readFile(StationList::defaultFilePath()),
              "A\r\naddrA\r\nB\r\naddrB\r\nTest FM\r\nhttp://127.0.0.1:1/listen.pls\r\n");

    window.reset();
    restartProgram();
    openWindow();
    EXPECT_EQ(window->stations().count(), 3);
    EXPECT_TRUE(child<QCheckBox>("timed")->isChecked());
    EXPECT_EQ(child<SpinnerBox>("minutes")->value(), 90);
    EXPECT_TRUE(child<QRadioButton>("singleFile")->isChecked());
    EXPECT_EQ(path()->text(), folder + QStringLiteral("single.mp3")) << "a single file's path stays in its own box";
    EXPECT_FALSE(child<QCheckBox>("splitAtPauses")->isChecked());
    EXPECT_FALSE(child<SpinnerBox>("pauseSearchSeconds")->isEnabled());
    EXPECT_EQ(child<SpinnerBox>("pauseSearchSeconds")->value(), 12);
    EXPECT_FALSE(child<QCheckBox>("id3v2Tags")->isChecked());
}

TEST_F(SetupWindowTest, EveryWayOutKeepsTheStationList)
{
    window->stations().appendEntry(QStringLiteral("Kept"), QStringLiteral("http://kept.example/listen.pls"));
    program().exit(kExitNormal);
    EXPECT_TRUE(frontEnd.exited());
    EXPECT_EQ(testenv::readFile(StationList::defaultFilePath()), "Kept\r\nhttp://kept.example/listen.pls\r\n");
}

// Closing the window (title bar, File > Exit) while a recording runs asks the
// display's question; No keeps recording, Yes stops and ends the program.
TEST_F(SetupWindowTest, ClosingWhileRecordingAsksAndNoKeepsTheRecording)
{
    teststation::Config config;
    config.streams.insert("/stream", teststation::Stream());
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Close FM"}));
    teststation::Station station(config);
    ASSERT_TRUE(station.start());
    checkedStation(QString::fromLatin1(station.url("/listen.pls")));
    typePath(folder);
    window->record();
    ASSERT_TRUE(waitUntil([this] { return program().recorder()->status().recording; }));

    const auto shownQuestion = [] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *question = qobject_cast<ConfirmQuitDialog *>(widget); question && question->isVisible())
                return question;
        }
        return static_cast<ConfirmQuitDialog *>(nullptr);
    };
    window->close();
    ConfirmQuitDialog *question = shownQuestion();
    ASSERT_NE(question, nullptr);
    EXPECT_FALSE(frontEnd.exited());
    question->answerNo();
    settle(10);
    EXPECT_FALSE(frontEnd.exited());
    EXPECT_TRUE(program().recorder()->status().recording) << "No keeps recording";

    window->close();
    question = shownQuestion();
    ASSERT_NE(question, nullptr);
    question->answerYes();
    EXPECT_TRUE(frontEnd.exited());
}

// A paused recording is not asked about: its file is closed on the way out.
TEST_F(SetupWindowTest, ClosingWhilePausedEndsWithoutAsking)
{
    checkedStation();
    typePath(folder);
    window->record();
    program().recorder()->togglePause();
    window->close();
    EXPECT_TRUE(waitUntil([&] { return frontEnd.exited(); }, 2000));
    EXPECT_FALSE(program().recorder() && program().recorder()->status().recording);
}

// Add opens empty and refuses junk; Edit refuses it too, and an edited
// station's new address is the one the Station box and Check use.
TEST_F(SetupWindowTest, StationDialogsRefuseJunkAndAnEditReloadsTheStation)
{
    window->findChild<QAbstractButton *>(QStringLiteral("addStation"))->click();
    StationDialog *dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("stationName"));
    auto *address = dialog->findChild<QLineEdit *>(QStringLiteral("stationAddress"));
    EXPECT_TRUE(name->text().isEmpty());
    EXPECT_TRUE(address->text().isEmpty());
    for (const char *junk : {"", "   ", "not a url", "http://", "ftp://radio.example/listen.pls",
                             "http://radio.example/a.pls\r\nX-Injected: 1", "relative/file.pls"}) {
        address->setText(QString::fromLatin1(junk));
        dialog->accept();
        EXPECT_TRUE(dialog->isVisible()) << junk;
    }
    EXPECT_EQ(window->stations().count(), 0);
    EXPECT_FALSE(dialog->findChild<QLabel *>(QStringLiteral("stationProblem"))->text().isEmpty());

    // A name left empty is the address's host.
    address->setText(QStringLiteral(" http://127.0.0.1:1/first.pls "));
    dialog->accept();
    ASSERT_EQ(window->stations().count(), 1);
    EXPECT_EQ(window->stations().name(0), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(window->stations().address(0), QStringLiteral("http://127.0.0.1:1/first.pls"));
    EXPECT_EQ(child<QLineEdit>("address")->text(), QStringLiteral("http://127.0.0.1:1/first.pls"));

    window->selectEntry(0);
    window->findChild<QAbstractButton *>(QStringLiteral("editStation"))->click();
    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    dialog->findChild<QLineEdit *>(QStringLiteral("stationAddress"))->setText(QStringLiteral("not a url"));
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(window->stations().address(0), QStringLiteral("http://127.0.0.1:1/first.pls"));
    dialog->findChild<QLineEdit *>(QStringLiteral("stationAddress"))
        ->setText(QStringLiteral("http://127.0.0.1:1/new.pls"));
    dialog->accept();
    EXPECT_EQ(window->stations().address(0), QStringLiteral("http://127.0.0.1:1/new.pls"));
    EXPECT_EQ(child<QLineEdit>("address")->text(), QStringLiteral("http://127.0.0.1:1/new.pls"));
    EXPECT_TRUE(child<QLabel>("connecting")->isVisibleTo(window.get())) << "the new address is checked";

    // Adding a listed address again selects it instead of listing it twice.
    window->addStationFor(QStringLiteral("http://127.0.0.1:1/new.pls"), QStringLiteral("Again"));
    openDialog()->accept();
    EXPECT_EQ(window->stations().count(), 1);
    EXPECT_EQ(window->selectedEntry(), 0);
}

// Remove All asks first; Stop clears the Status column; a failed check and a
// disabled Record say why.
TEST_F(SetupWindowTest, RemoveAllAsksAndTheWindowSaysWhatIsGoingOn)
{
    window->stations().appendEntry(QStringLiteral("A"), QStringLiteral("http://127.0.0.1:1/a.pls"));
    EXPECT_FALSE(child<QLabel>("startHint")->text().isEmpty()) << "no station yet: Record says why it is off";
    EXPECT_FALSE(button("record")->isEnabled());
    EXPECT_EQ(button("record")->toolTip(), child<QLabel>("startHint")->text());

    checkedStation(); // appends the test station
    typePath(folder);
    EXPECT_TRUE(child<QLabel>("startHint")->text().isEmpty());
    window->selectEntry(1);
    window->record();
    EXPECT_EQ(window->stations().mark(1), StationList::Mark::Recording);
    window->stop();
    EXPECT_EQ(window->stations().mark(1), StationList::Mark::None) << "Stop clears the Status column";

    for (const bool yes : {false, true}) {
        for (QAction *action : window->findChildren<QAction *>()) {
            if (action->text() == QStringLiteral("Remove A&ll")) {
                action->trigger();
                break;
            }
        }
        auto *question = window->findChild<QMessageBox *>(QStringLiteral("removeAllQuestion"));
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(window->stations().count(), 2) << "nothing goes before the answer";
        question->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        settle(10);
        EXPECT_EQ(window->stations().count(), yes ? 0 : 2);
    }

    // A check that cannot reach its station says so beside the box.
    child<QLineEdit>("address")->setText(QStringLiteral("http://127.0.0.1:1/gone.pls"));
    window->checkStation();
    ASSERT_TRUE(waitUntil([&] { return !child<QLabel>("connecting")->isVisibleTo(window.get()); }));
    EXPECT_TRUE(child<QLabel>("checkResult")->text().startsWith(QStringLiteral("Check failed")));
}

// The open page's button is pressed; missing companion programs are offered
// disabled with the reason; the keys move through the list loading each row.
TEST_F(SetupWindowTest, PageButtonsToolsAndKeys)
{
    for (const int page : {1, 2, 0}) {
        button(QStringLiteral("page%1").arg(page).toLatin1().constData())->click();
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(button(QStringLiteral("page%1").arg(other).toLatin1().constData())->isChecked(), other == page);
    }
    window->showPage(SetupWindow::Page::About);
    for (int other = 0; other < 3; ++other)
        EXPECT_FALSE(button(QStringLiteral("page%1").arg(other).toLatin1().constData())->isChecked());

    auto *tools = window->findChild<QMenu *>(QStringLiteral("toolsMenu"));
    ASSERT_NE(tools, nullptr);
    Q_EMIT tools->aboutToShow();
    for (QAction *action : tools->actions()) {
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
        EXPECT_TRUE(action->text().endsWith(QStringLiteral("(not installed)")));
    }

    for (const char *name : {"A", "B"})
        window->stations().appendEntry(QString::fromLatin1(name), QStringLiteral("http://127.0.0.1:1/") +
                                                                      QString::fromLatin1(name) +
                                                                      QStringLiteral(".pls"));
    auto *view = child<QTreeView>("stationView");
    window->show();
    view->setFocus();
    window->selectEntry(0);
    EXPECT_TRUE(child<QLineEdit>("address")->text().isEmpty()) << "the window's own selection loads nothing";
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(window->selectedEntry(), 1);
    EXPECT_EQ(child<QLineEdit>("address")->text(), QStringLiteral("http://127.0.0.1:1/B.pls"));
    QTest::keyClick(view, Qt::Key_Delete);
    EXPECT_EQ(window->stations().count(), 1);
    EXPECT_EQ(window->stations().name(0), QStringLiteral("A"));
}

// The next run opens where this one was closed, on its page and station.
TEST_F(SetupWindowTest, PlacePageAndStationAreRememberedForTheNextRun)
{
    window->stations().appendEntry(QStringLiteral("A"), QStringLiteral("http://127.0.0.1:1/a.pls"));
    window->stations().appendEntry(QStringLiteral("B"), QStringLiteral("http://127.0.0.1:1/b.pls"));
    window->show();
    window->setGeometry(40, 60, 700, 450);
    window->selectEntry(1);
    window->showPage(SetupWindow::Page::AdvancedOptions);
    const QPoint place = window->pos();
    window->close();
    ASSERT_TRUE(frontEnd.exited());

    window.reset();
    restartProgram();
    openWindow();
    EXPECT_EQ(window->currentPage(), SetupWindow::Page::AdvancedOptions);
    EXPECT_EQ(window->selectedEntry(), 1);
    EXPECT_EQ(child<QLineEdit>("address")->text(), QStringLiteral("http://127.0.0.1:1/b.pls"));
    EXPECT_TRUE(button("check")->isEnabled());
    EXPECT_EQ(window->size(), QSize(700, 450));
    EXPECT_EQ(window->pos(), place);
}

TEST(SpinnerBox, TypedTextIsClampedOrRefusedWhenTheBoxIsLeft)
{
    RecordingFrontEnd frontEnd;
    QWidget host;
    SpinnerBox spinner(&host);
    QStringList rejected;
    QObject::connect(&spinner, &SpinnerBox::rejectedText, &spinner, [&](const QString &m) { rejected.append(m); });
    spinner.setRange(1, 999);
    spinner.setValue(60);
    QLineEdit *edit = spinner.findChild<QLineEdit *>();
    ASSERT_NE(edit, nullptr);

    auto leaveWith = [&](const QString &text) {
        edit->setText(text);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(&spinner, &out);
    };
    leaveWith(QStringLiteral("5000"));
    EXPECT_EQ(spinner.value(), 999);
    EXPECT_EQ(edit->text(), QStringLiteral("999"));
    leaveWith(QStringLiteral("0"));
    EXPECT_EQ(spinner.value(), 1);
    leaveWith(QStringLiteral("12ab"));
    EXPECT_EQ(rejected, QStringList{QStringLiteral("Please enter numeric values only.")});
    EXPECT_EQ(edit->text(), QStringLiteral("1"));
    EXPECT_EQ(spinner.value(), 1);

    spinner.setValueIfInRange(1000);
    EXPECT_EQ(spinner.value(), 1);
    spinner.setValueIfInRange(998);
    spinner.stepUp();
    spinner.stepUp();
    EXPECT_EQ(spinner.value(), 999) << "stepping stops at the top";
}

TEST(LocalPresetSearch, FindsPresetsByStationNameIgnoringCaseAndSkipsWhatIsNoPreset)
{
    RecordingFrontEnd frontEnd;
    const QString folder = testenv::home() + QStringLiteral("/presets-search/");
    const QString dir = QFile::decodeName(QFile::encodeName(folder));
    auto preset = [&](const char *file, const QByteArray &title) {
        return testenv::writeFile(folder + QString::fromLatin1(file),
                                  title + "\r\nhttp://a.example/" + file +
                                      ".pls\r\nSONGNAMEONLY\r\n%DEFDIR%\r\n0\r\n0\r\n");
    };
    const QString world = preset("world.mvr", "BBC WORLD Service");
    const QString jazz = preset("jazz.mvr", "Jazz Radio");
    preset("unnamed.mvr", "");
    testenv::writeFile(folder + QStringLiteral("broken.mvr"), "just one line\r\n");
    QDir().mkpath(folder + QStringLiteral("folder.mvr"));

    EXPECT_EQ(LocalPresetSearch::findPresets(dir, QStringLiteral("world")), QStringList{world});
    QStringList all = LocalPresetSearch::findPresets(dir, QString());
    all.sort();
    const QStringList named = {jazz, world};
    EXPECT_EQ(all, named) << "an empty keyword lists every preset with a name; a broken one is no preset";
    EXPECT_TRUE(frontEnd.messages.isEmpty()) << "a search shows no loader messages";

    StationList stations;
    LocalPresetSearch search(stations);
    search.findChild<QLineEdit *>(QStringLiteral("keyword"))->setText(QStringLiteral("jazz"));
    QDir().mkpath(LocalPresetSearch::presetsFolder());
    QFile::copy(jazz, LocalPresetSearch::presetsFolder() + QStringLiteral("jazz.mvr"));
    search.find();
    auto *files = search.findChild<QListWidget *>(QStringLiteral("files"));
    ASSERT_EQ(files->count(), 1);
    files->item(0)->setSelected(true);
    search.addSelected();
    ASSERT_EQ(stations.count(), 1);
    EXPECT_EQ(stations.name(0), QStringLiteral("Jazz Radio"));
    EXPECT_EQ(stations.address(0), QStringLiteral("http://a.example/jazz.mvr.pls"));
}

TEST(HelpAndTools, TheGuideIsFoundAndMissingCompanionsAreReported)
{
    EXPECT_TRUE(helpandtools::helpPagePath().endsWith(QStringLiteral("/help/index.htm")));
    EXPECT_TRUE(helpandtools::aboutHtml().contains(QString::fromLatin1(qVersion())));
    const QString oldCurrent = QDir::currentPath();
    QDir::setCurrent(testenv::home());
    EXPECT_EQ(helpandtools::launchCompanion(QStringLiteral("Cutwane")),
              QStringLiteral(" Error : ") + helpandtools::companionFile(QStringLiteral("Cutwane")) +
                  QStringLiteral(" not found !"));
    QDir::setCurrent(oldCurrent);
}

// Check the station, choose a folder, Record: the title files hold exactly the
// audio the station sent under each title. Then Stop.
TEST_F(SetupWindowTest, RecordsTheTestStationEndToEnd)
{
    // Files as exact slices of the stream, cut at frames.
    setFileSplitSettings({false, 6, false});
    teststation::Stream stream;
    stream.pace = teststation::Stream::Pace::Fast;
    stream.metaInt = 8192;
    stream.titles = {"One - Alpha", "Two - Beta", "Three - Gamma", "Four - Delta", "Five - Epsilon"};
    stream.titleEvery = 60000;
    teststation::Config config;
    config.streams.insert("/stream", stream);
    config.pages.insert("/listen.pls", teststation::Page::pls({"http://{station}/stream"}, {"Window FM"}));
    teststation::Station station(config);
    ASSERT_TRUE(station.start());

    int songs = 0;
    QObject::connect(program().recorder(), &Recorder::songStarted, window.get(), [&] { ++songs; });

    child<QLineEdit>("address")->setText(QString::fromLatin1(station.url("/listen.pls")));
    button("check")->click();
    ASSERT_TRUE(waitUntil([&] { return child<QLineEdit>("title")->text() == QStringLiteral("Window FM"); }));
    path()->setText(folder.chopped(1));
    Q_EMIT path()->editingFinished();
    EXPECT_EQ(path()->text(), folder);
    ASSERT_TRUE(button("record")->isEnabled());
    button("record")->click();
    ASSERT_TRUE(waitUntil([&] { return songs >= 4; }, 30000));
    button("record")->isEnabled(); // the window stays responsive meanwhile
    window->stop();
    EXPECT_FALSE(program().recorder()->isRecording());
    EXPECT_TRUE(frontEnd.messages.isEmpty()) << frontEnd.messages.join(u'|').toStdString();

    const teststation::ConnectionRecord *sent = nullptr;
    for (int i = 0; i < station.connectionCount(); ++i) {
        if (station.connection(i).isStream)
            sent = &station.connection(i);
    }
    ASSERT_NE(sent, nullptr);
    ASSERT_GE(sent->titles.size(), 3);
    for (int i = 1; i < 3; ++i) {
        const QString name = QString::fromLatin1(stream.titles.at(i)) + QStringLiteral(".mp3");
        const QByteArray bytes = testenv::readFile(folder + name);
        ASSERT_GT(bytes.size(), 128) << name.toStdString();
        const qint64 from = audiofiles::frameSplit(sent->audio, sent->titles.at(i).audioOffset);
        const qint64 to = audiofiles::frameSplit(sent->audio, sent->titles.at(i + 1).audioOffset);
        EXPECT_EQ(bytes.chopped(128), sent->audio.mid(from, to - from)) << name.toStdString();
        EXPECT_TRUE(bytes.right(128).startsWith("TAG"));
    }
}

// Start-up on a desktop: no file opens the empty window, a preset with "-noop"
// opens it filled from the preset, and neither starts a recording.
TEST(DesktopStartUp, OpensTheWindowWithoutAFileAndFilledForAPresetWithNoop)
{
    FakeClock clock;
    TestDevices devices;
    for (const bool withPreset : {false, true}) {
        SCOPED_TRACE(withPreset);
        QFile::remove(StationList::defaultFilePath());
        DesktopFrontEnd desktop(clock, testenv::network(), devices.audio, devices.serviceManager);
        ProgramContext &context = desktop.context();
        const QString folder = testenv::home() + QStringLiteral("/noop/");
        QDir().mkpath(folder);
        const QString preset = testenv::writeFile(folder + QStringLiteral("station.mvr"),
                                                  "Noop FM\r\nhttp://127.0.0.1:1/listen.pls\r\nSONGNAMEONLY\r\n" +
                                                      QFile::encodeName(folder) + "\r\n0\r\n0\r\n");
        const auto application =
            startProgram(context, withPreset ? QStringLiteral("\"") + preset + QStringLiteral("\" -noop") : QString(),
                         desktop, desktop);

        SetupWindow *window = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *setup = qobject_cast<SetupWindow *>(widget); setup && setup->isVisible())
                window = setup;
        }
        ASSERT_NE(window, nullptr);
        ASSERT_NE(context.recorder(), nullptr);
        const QString address = window->findChild<QLineEdit *>(QStringLiteral("address"))->text();
        EXPECT_EQ(address, withPreset ? QStringLiteral("http://127.0.0.1:1/listen.pls") : QString());
        EXPECT_EQ(window->stations().count(), withPreset ? 1 : 0);
        EXPECT_EQ(context.recorder()->status().state, RecordingStatus::State::Idle);
    }
}

// A screen of 800x500 logical pixels (1600x1000 at a scale of 2) holds the
// window with its frame, and the display docked below still fits beside it.
TEST_F(SetupWindowTest, FitsASmallScreenOnEveryPageAndScrollsToRecord)
{
    for (int page = 0; page < 4; ++page) {
        window->showPage(static_cast<SetupWindow::Page>(page));
        const QSize minimum = window->minimumSizeHint();
        EXPECT_LE(minimum.width(), 780) << page;
        EXPECT_LE(minimum.height(), 440) << page;
    }
    // Shrunk to leave room for the display, Record can still be scrolled to.
    window->resize(window->minimumSizeHint().width(), 300);
    window->show();
    settle(20);
    auto *scroll = child<QScrollArea>("windowScroll");
    scroll->ensureWidgetVisible(button("record"));
    const QRect record(button("record")->mapTo(scroll->viewport(), QPoint()), button("record")->size());
    EXPECT_TRUE(scroll->viewport()->rect().contains(record));
}
