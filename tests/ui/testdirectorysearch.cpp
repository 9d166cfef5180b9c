// The station directory search window against a fake directory served by the
// test station: what its fields ask for, its pages, its failures, and one
// station found, added, checked and recorded end to end.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <memory>

#include "app/desktopfrontend.h"
#include "audiofiles.h"
#include "config/inivalues.h"
#include "config/stationlist.h"
#include "engine/recorder.h"
#include "eventwait.h"
#include "fakeclock.h"
#include "platform/folders.h"
#include "recordingfrontend.h"
#include "sources/stationdirectory.h"
#include "testdevices.h"
#include "testenv.h"
#include "teststation/station.h"
#include "ui/advancedpage.h"
#include "ui/directorysearch.h"
#include "ui/setupwindow.h"
#include "ui/stationdialog.h"

namespace
{

QByteArray stationsJson(int count, const QByteArray &url = "http://radio.example/listen.pls")
{
    QByteArray json = "[";
    for (int i = 1; i <= count; ++i) {
        if (i > 1)
            json += ',';
        json += R"({"stationuuid":"u-)" + QByteArray::number(i) + R"(","name":"Station )" + QByteArray::number(i) +
                R"(","country":"Iceland","codec":"MP3","bitrate":128,"tags":"world,folk","votes":)" +
                QByteArray::number(1000 - i) + R"(,"url":")" + url + R"("})";
    }
    return json + ']';
}

// The texts of the message boxes the desktop shows.
QStringList shownMessages()
{
    QStringList texts;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            texts.append(box->text());
    }
    return texts;
}

class DirectorySearchTest : public ::testing::Test
{
protected:
    template <typename T = QWidget> T *child(const char *name) const
    {
        T *found = search->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString status() const { return child<QLabel>("status")->text(); }
    QByteArray lastTarget() const
    {
        return station->requests().isEmpty() ? QByteArray() : station->requests().constLast().target;
    }
    // Runs a search and waits until the window shows its outcome.
    void run(const std::function<void()> &start)
    {
        child<QLabel>("status")->clear();
        start();
        ASSERT_TRUE(waitUntil([&] { return !status().isEmpty() && status() != QStringLiteral("Searching..."); }));
    }
    void serve(const QByteArray &json)
    {
        teststation::Config config;
        config.pages.insert("/json/stations/search", teststation::Page::json(json));
        station = std::make_unique<teststation::Station>(config);
        ASSERT_TRUE(station->start());
        search->directory().setServer(QUrl(QString::fromLatin1(station->url(""))));
    }

    RecordingFrontEnd frontEnd;
    std::unique_ptr<teststation::Station> station;
    QNetworkAccessManager network;
    std::unique_ptr<DirectorySearch> search = std::make_unique<DirectorySearch>(network);
};

} // namespace

TEST_F(DirectorySearchTest, FieldsMakeTheQueryAndPagesFollowTheLastSearch)
{
    auto *type = child<QComboBox>("searchType");
    auto *genre = child<QComboBox>("genre");
    EXPECT_EQ(type->currentText(), QStringLiteral("Keyword"));
    EXPECT_TRUE(child("keyword")->isEnabled());
    EXPECT_FALSE(genre->isEnabled());
    EXPECT_EQ(genre->count(), 75);
    EXPECT_EQ(genre->currentText(), QStringLiteral("Alternative"));
    EXPECT_EQ(genre->itemText(74), QStringLiteral("- Instrumental"));

    serve(stationsJson(20));
    run([&] { child<QPushButton>("find")->click(); });
    // No bit-rate limit unless one is typed.
    EXPECT_TRUE(child<QLineEdit>("bitRate")->text().isEmpty());
    EXPECT_EQ(lastTarget(), "/json/stations/search?name=World&hidebroken=true&limit=20&offset=0&order=votes"
                            "&reverse=true");
    EXPECT_EQ(child<QTableView>("results")->model()->rowCount(), 20);
    EXPECT_EQ(status(), QStringLiteral("Stations 1 to 20"));
    EXPECT_FALSE(child("previous")->isEnabled());
    EXPECT_TRUE(child("next")->isEnabled()) << "a full page may have a next one";

    // Fields changed after Find do not change the pages of that search.
    type->setCurrentIndex(1);
    EXPECT_FALSE(child("keyword")->isEnabled());
    EXPECT_TRUE(genre->isEnabled());
    genre->setCurrentText(QStringLiteral("R&B/Soul"));
    child<QLineEdit>("bitRate")->setText(QStringLiteral("9999"));
    run([&] { child<QPushButton>("next")->click(); });
    EXPECT_TRUE(lastTarget().startsWith("/json/stations/search?name=World&")) << lastTarget().constData();
    EXPECT_TRUE(lastTarget().contains("&offset=20&"));
    EXPECT_EQ(status(), QStringLiteral("Stations 21 to 40"));
    EXPECT_TRUE(child("previous")->isEnabled());
    run([&] { child<QPushButton>("previous")->click(); });
    EXPECT_TRUE(lastTarget().contains("&offset=0&"));

    // Genre with all bit rates: the "&" stays inside the value, no limit is sent.
    run([&] { child<QPushButton>("find")->click(); });
    EXPECT_EQ(lastTarget(), "/json/stations/search?tag=R%26B%2FSoul&hidebroken=true&limit=20&offset=0&order=votes"
                            "&reverse=true");
    genre->setCurrentText(QStringLiteral("- Drum and Bass"));
    child<QLineEdit>("bitRate")->clear();
    EXPECT_EQ(search->query().text, QStringLiteral("- Drum and Bass"));
    EXPECT_EQ(search->query().maxBitRate, 0) << "an empty limit is no limit";
    child<QLineEdit>("bitRate")->setText(QStringLiteral("128"));
    EXPECT_EQ(search->query().maxBitRate, 128);

    // A row offers its address for a drop on the station list.
    QTableView *table = child<QTableView>("results");
    std::unique_ptr<QMimeData> mime(table->model()->mimeData({table->model()->index(2, 0)}));
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(mime->urls(), QList<QUrl>{QUrl(QStringLiteral("http://radio.example/listen.pls"))});
}

TEST_F(DirectorySearchTest, FailuresAreShownInTheWindowAndTheShownPageStays)
{
    serve(stationsJson(3));
    run([&] { search->find(); });
    EXPECT_EQ(status(), QStringLiteral("Stations 1 to 3"));
    EXPECT_FALSE(child("next")->isEnabled()) << "a short page is the last";

    // A server that answers with something other than the directory's list.
    serve("<html>Service Unavailable</html>");
    run([&] { search->find(); });
    EXPECT_EQ(status(), QStringLiteral("The station directory did not answer. Please try again later."));
    EXPECT_EQ(child<QTableView>("results")->model()->rowCount(), 3);

    serve("[]");
    run([&] { search->find(); });
    EXPECT_EQ(status(), QStringLiteral("No stations found."));
    EXPECT_TRUE(frontEnd.messages.isEmpty()) << "nothing pops up";
}

// Search, double-click the station, confirm it, check it and record a few
// seconds of it; the directory hears of the station only once it is recorded.
TEST(DirectorySearchEndToEnd, FoundStreamIsAddedCheckedRecordedAndCounted)
{
    // Files as exact slices of the stream, cut at frames.
    setFileSplitSettings({false, 6, false});
    QFile::remove(StationList::defaultFilePath());
    QFile::remove(platform::programFile(QStringLiteral("settings.ini")));
    FakeClock clock;
    TestDevices devices;
    teststation::Stream stream;
    stream.pace = teststation::Stream::Pace::Fast;
    stream.bitRateKbps = 128;
    stream.titles = {"One - Alpha", "Two - Beta", "Three - Gamma", "Four - Delta"};
    stream.titleEvery = 32000; // two seconds at 128 kbit/s
    teststation::Config config;
    config.streams.insert("/stream", stream);
    config.pages.insert("/json/url/u-1", teststation::Page::json(R"({"ok":true})"));
    config.pages.insert("/json/stations/search", teststation::Page::json(stationsJson(1, "http://{station}/stream")));
    teststation::Station station(config);
    ASSERT_TRUE(station.start());
    // The directory is found through the configured server, as a mirror would be.
    writeIniValue(QStringLiteral("Directory"), QStringLiteral("Server"), QString::fromLatin1(station.url("")),
                  ombrexIniPath());
    const QString folder = testenv::home() + QStringLiteral("/directory/");
    QDir().mkpath(folder);

    DesktopFrontEnd desktop(clock, testenv::network(), devices.audio, devices.serviceManager);
    desktop.showSetupWindow(false);
    SetupWindow *window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *setup = qobject_cast<SetupWindow *>(widget))
            window = setup;
    }
    ASSERT_NE(window, nullptr);
    int songs = 0;
    QObject::connect(desktop.context().recorder(), &Recorder::songStarted, window, [&] { ++songs; });

    for (QAction *action : window->findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("&Radio Station Search"))
            action->trigger();
    }
    auto *search = window->findChild<DirectorySearch *>();
    ASSERT_NE(search, nullptr);
    EXPECT_TRUE(search->isVisible());
    search->find();
    auto *table = search->findChild<QTableView *>(QStringLiteral("results"));
    ASSERT_TRUE(waitUntil([&] { return table->model()->rowCount() == 1; }));
    Q_EMIT table->doubleClicked(table->model()->index(0, 1));
    StationDialog *dialog = window->findChild<StationDialog *>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->stationName(), QStringLiteral("Station 1"));
    dialog->accept();
    ASSERT_EQ(window->stations().count(), 1);
    EXPECT_EQ(window->stations().address(0), QString::fromLatin1(station.url("/stream")));

    // The check takes the stream address as a one-server station.
    auto *path = window->findChild<QLineEdit *>(QStringLiteral("path"));
    ASSERT_TRUE(waitUntil([&] { return window->stations().mark(0) == StationList::Mark::None; }));
    path->setText(folder.chopped(1));
    Q_EMIT path->editingFinished();
    auto *record = window->findChild<QPushButton *>(QStringLiteral("record"));
    ASSERT_TRUE(record->isEnabled()) << shownMessages().join(u'|').toStdString();
    EXPECT_EQ(station.requests().size(), 1) << "nothing is counted before the station is recorded";

    record->click();
    ASSERT_TRUE(waitUntil([&] { return songs >= 3; }, 30000));
    window->stop();
    EXPECT_TRUE(shownMessages().isEmpty()) << shownMessages().join(u'|').toStdString();
    const auto counted = [&] {
        int clicks = 0;
        for (const teststation::RequestRecord &request : station.requests())
            clicks += request.target == "/json/url/u-1";
        return clicks;
    };
    ASSERT_TRUE(waitUntil([&] { return counted() == 1; }));

    const teststation::ConnectionRecord *sent = nullptr;
    for (int i = 0; i < station.connectionCount(); ++i) {
        if (station.connection(i).isStream)
            sent = &station.connection(i);
    }
    ASSERT_NE(sent, nullptr);
    ASSERT_GE(sent->titles.size(), 3);
    // A whole title: two seconds of the station's audio.
    const QByteArray bytes = testenv::readFile(folder + QStringLiteral("Two - Beta.mp3"));
    ASSERT_GE(bytes.size(), 32000 + 128);
    const qint64 from = audiofiles::frameSplit(sent->audio, sent->titles.at(1).audioOffset);
    EXPECT_EQ(bytes.chopped(128),
              sent->audio.mid(from, audiofiles::frameSplit(sent->audio, sent->titles.at(2).audioOffset) - from));

    writeIniValue(QStringLiteral("Directory"), QStringLiteral("Server"), QString(), ombrexIniPath());
}

// The Advanced page's directory server: stored as "[Directory] Server" only
// when it names a server; anything a request could not carry is refused.
TEST(DirectoryServerOption, IsStoredOnlyWhenItNamesAServer)
{
    RecordingFrontEnd ui;
    AdvancedPage page([&ui](const QString &text) { ui.messages.append(text); });
    auto *server = page.findChild<QLineEdit *>(QStringLiteral("directoryServer"));
    ASSERT_NE(server, nullptr);
    EXPECT_TRUE(server->text().isEmpty());

    server->setText(QStringLiteral("de1.example.org\r\nX-Injected: yes"));
    Q_EMIT server->editingFinished();
    EXPECT_EQ(ui.messages.size(), 1);
    EXPECT_TRUE(StationDirectory::configuredServer().isEmpty());
    EXPECT_TRUE(server->text().isEmpty()) << "the stored value comes back";

    server->setText(QStringLiteral(" de1.example.org "));
    Q_EMIT server->editingFinished();
    EXPECT_EQ(StationDirectory::configuredServer(), QStringLiteral("de1.example.org"));
    EXPECT_TRUE(StationDirectory::isServerAddress(QStringLiteral("http://127.0.0.1:8080")));
    EXPECT_FALSE(StationDirectory::isServerAddress(QStringLiteral("ftp://de1.example.org")));

    server->clear();
    Q_EMIT server->editingFinished();
    EXPECT_TRUE(StationDirectory::configuredServer().isEmpty());
    EXPECT_EQ(ui.messages.size(), 1);
}
