#include "ui/advancedpage.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "config/inivalues.h"
#include "config/preset.h"
#include "config/setupsettings.h"
#include "sources/stationdirectory.h"
#include "ui/filedialogs.h"
#include "ui/spinnerbox.h"
#include "ui/themedicon.h"

AdvancedPage::AdvancedPage(MessageSink tell, QWidget *parent)
    : QWidget(parent)
    , m_tell(std::move(tell))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_recordings = new QGroupBox(tr("Recordings"), this);
    auto *grid = new QGridLayout(m_recordings);
    m_timed = new QCheckBox(tr("Ti&med Recording"), m_recordings);
    m_timed->setObjectName(QStringLiteral("timed"));
    connect(m_timed, &QCheckBox::clicked, this, &AdvancedPage::changed);
    m_minutes = new SpinnerBox(m_recordings);
    m_minutes->setObjectName(QStringLiteral("minutes"));
    // A timed recording lasts at least a minute.
    m_minutes->setRange(1, 999);
    m_minutes->setValue(60);
    auto *minutesLabel = new QLabel(tr("Time of Recording (in minutes):"), m_recordings);
    minutesLabel->setBuddy(m_minutes);
    m_exitWhenDone = new QCheckBox(tr("E&xit when timed recording is finished!"), m_recordings);
    m_exitWhenDone->setObjectName(QStringLiteral("exitWhenDone"));
    m_listen = new QCheckBox(tr("Listen to Stream"), m_recordings);
    m_listen->setObjectName(QStringLiteral("listen"));
    m_startPaused = new QCheckBox(tr("St&art Paused"), m_recordings);
    m_startPaused->setObjectName(QStringLiteral("startPaused"));
    m_cleanup = new QCheckBox(tr("Delete archives after a specified time"), m_recordings);
    m_cleanup->setObjectName(QStringLiteral("cleanup"));
    m_days = new SpinnerBox(m_recordings);
    m_days->setObjectName(QStringLiteral("daysToKeep"));
    m_days->setRange(0, 999);
    m_days->setValue(30);
    auto *daysLabel = new QLabel(tr("Da&ys to keep recordings:"), m_recordings);
    daysLabel->setBuddy(m_days);
    for (SpinnerBox *spinner : {m_minutes, m_days}) {
        connect(spinner, &SpinnerBox::rejectedText, this, [this](const QString &text) { m_tell(text); });
        connect(spinner, &SpinnerBox::valueChanged, this, &AdvancedPage::changed);
    }

    grid->addWidget(m_timed, 0, 0, 1, 2);
    grid->addWidget(minutesLabel, 1, 0);
    grid->addWidget(m_minutes, 1, 1);
    grid->addWidget(m_exitWhenDone, 2, 0, 1, 2);
    grid->addWidget(m_listen, 3, 0, 1, 2);
    grid->addWidget(m_startPaused, 4, 0, 1, 2);
    grid->addWidget(m_cleanup, 5, 0, 1, 2);
    grid->addWidget(daysLabel, 6, 0);
    grid->addWidget(m_days, 6, 1);
    // How long a lost station is called again; stored at once, like the web agent.
    m_reconnectMinutes = new SpinnerBox(m_recordings);
    m_reconnectMinutes->setObjectName(QStringLiteral("reconnectMinutes"));
    m_reconnectMinutes->setRange(0, kMaxReconnectMinutes);
    m_reconnectMinutes->setValue(reconnectPeriodMinutes());
    m_reconnectMinutes->setToolTip(tr("0 ends a recording when its station cannot be reached"));
    auto *reconnectLabel = new QLabel(tr("Reconnect after an outage for (minutes):"), m_recordings);
    reconnectLabel->setBuddy(m_reconnectMinutes);
    connect(m_reconnectMinutes, &SpinnerBox::rejectedText, this, [this](const QString &text) { m_tell(text); });
    connect(m_reconnectMinutes, &SpinnerBox::valueChanged, this,
            [this] { setReconnectPeriodMinutes(m_reconnectMinutes->value()); });
    grid->addWidget(reconnectLabel, 7, 0);
    grid->addWidget(m_reconnectMinutes, 7, 1);
    grid->setColumnStretch(2, 1);

    // Title files: stored at once in ombrex.ini, like the reconnect period.
    auto *titleBox = new QGroupBox(tr("Title files"), this);
    auto *titleGrid = new QGridLayout(titleBox);
    const FileSplitSettings split = fileSplitSettings();
    m_splitAtPauses = new QCheckBox(tr("Split at the &pause between songs"), titleBox);
    m_splitAtPauses->setObjectName(QStringLiteral("splitAtPauses"));
    m_splitAtPauses->setToolTip(tr("Ends a title file at the quietest moment near the title change"));
    m_splitAtPauses->setChecked(split.splitAtPauses);
    m_pauseSearchSeconds = new SpinnerBox(titleBox);
    m_pauseSearchSeconds->setObjectName(QStringLiteral("pauseSearchSeconds"));
    m_pauseSearchSeconds->setRange(1, kMaxPauseSearchSeconds);
    m_pauseSearchSeconds->setValue(split.pauseSearchSeconds);
    m_pauseSearchSeconds->setEnabled(split.splitAtPauses);
    auto *searchLabel = new QLabel(tr("Search for the pause within (seconds):"), titleBox);
    searchLabel->setBuddy(m_pauseSearchSeconds);
    m_id3v2Tags = new QCheckBox(tr("Write ID&3v2 tags (Unicode titles)"), titleBox);
    m_id3v2Tags->setObjectName(QStringLiteral("id3v2Tags"));
    m_id3v2Tags->setChecked(split.id3v2Tags);
    titleGrid->addWidget(m_splitAtPauses, 0, 0, 1, 2);
    titleGrid->addWidget(searchLabel, 1, 0);
    titleGrid->addWidget(m_pauseSearchSeconds, 1, 1);
    titleGrid->addWidget(m_id3v2Tags, 2, 0, 1, 2);
    titleGrid->setColumnStretch(2, 1);
    const auto storeSplit = [this] {
        m_pauseSearchSeconds->setEnabled(m_splitAtPauses->isChecked());
        setFileSplitSettings({m_splitAtPauses->isChecked(), m_pauseSearchSeconds->value(), m_id3v2Tags->isChecked()});
    };
    connect(m_splitAtPauses, &QCheckBox::clicked, this, storeSplit);
    connect(m_id3v2Tags, &QCheckBox::clicked, this, storeSplit);
    connect(m_pauseSearchSeconds, &SpinnerBox::valueChanged, this, storeSplit);
    connect(m_pauseSearchSeconds, &SpinnerBox::rejectedText, this, [this](const QString &text) { m_tell(text); });

    auto *playerBox = new QGroupBox(tr("Player and web agent"), this);
    auto *playerGrid = new QGridLayout(playerBox);
    m_useExternal = new QCheckBox(tr("Use External Player"), playerBox);
    m_useExternal->setObjectName(QStringLiteral("useExternal"));
    m_externalPlayer = new QLineEdit(playerBox);
    m_externalPlayer->setObjectName(QStringLiteral("externalPlayer"));
    auto *browsePlayer = new QToolButton(playerBox);
    browsePlayer->setIcon(themedIcon("document-open", "open"));
    browsePlayer->setToolTip(tr("Choose the player"));
    m_browserAgent = new QCheckBox(tr("Fake Internet Explorer as &web agent"), playerBox);
    m_browserAgent->setObjectName(QStringLiteral("browserAgent"));
    playerGrid->addWidget(m_useExternal, 0, 0, 1, 2);
    playerGrid->addWidget(m_externalPlayer, 1, 0);
    playerGrid->addWidget(browsePlayer, 1, 1);
    playerGrid->addWidget(m_browserAgent, 2, 0, 1, 2);
    m_hlsLowest = new QCheckBox(tr("Record &HLS stations at their lowest bit rate (metered links)"), playerBox);
    m_hlsLowest->setObjectName(QStringLiteral("hlsLowestBandwidth"));
    m_hlsLowest->setChecked(hlsLowestBandwidth());
    connect(m_hlsLowest, &QCheckBox::clicked, this, [](bool on) { setHlsLowestBandwidth(on); });
    playerGrid->addWidget(m_hlsLowest, 5, 0, 1, 2);
    // The station search's server, kept as "[Directory] Server" of ombrex.ini.
    auto *directoryLabel = new QLabel(tr("&Directory server:"), playerBox);
    m_directoryServer = new QLineEdit(StationDirectory::configuredServer(), playerBox);
    m_directoryServer->setObjectName(QStringLiteral("directoryServer"));
    m_directoryServer->setPlaceholderText(tr("automatic"));
    m_directoryServer->setToolTip(tr("A station directory host name; empty picks one by itself"));
    directoryLabel->setBuddy(m_directoryServer);
    playerGrid->addWidget(directoryLabel, 3, 0, 1, 2);
    playerGrid->addWidget(m_directoryServer, 4, 0, 1, 2);
    connect(m_directoryServer, &QLineEdit::editingFinished, this, &AdvancedPage::storeDirectoryServer);
    connect(m_useExternal, &QCheckBox::clicked, this, [this](bool on) {
        if (!on) {
            m_externalPlayer->clear();
            saveExternalPlayer(QString());
        }
    });
    connect(browsePlayer, &QToolButton::clicked, this, &AdvancedPage::browsePlayer);
    connect(m_browserAgent, &QCheckBox::clicked, this, [this] { m_browserAgent->setChecked(toggleBrowserAgent()); });

    layout->addWidget(m_recordings);
    layout->addWidget(titleBox);
    layout->addWidget(playerBox);
    layout->addStretch(1);
}

AdvancedPage::~AdvancedPage() = default;

void AdvancedPage::applySettings(const SetupSettings &settings)
{
    m_timed->setChecked(settings.timed);
    m_listen->setChecked(settings.listen);
    m_minutes->setValueIfInRange(settings.minutes);
    m_exitWhenDone->setChecked(settings.exitWhenDone);
    m_startPaused->setChecked(settings.startPaused);
    m_cleanup->setChecked(settings.cleanup);
    m_days->setValueIfInRange(settings.daysToKeep);
    // The agent's own value decides, not the box's stored state.
    m_browserAgent->setChecked(browserAgentEnabled());
    const QString player = loadExternalPlayer();
    m_useExternal->setChecked(!player.isEmpty());
    m_externalPlayer->setText(player);
}

void AdvancedPage::saveInto(SetupSettings &settings) const
{
    settings.browserAgent = m_browserAgent->isChecked();
    settings.timed = m_timed->isChecked();
    settings.listen = m_listen->isChecked();
    settings.minutes = m_minutes->value();
    settings.exitWhenDone = m_exitWhenDone->isChecked();
    settings.startPaused = m_startPaused->isChecked();
    settings.cleanup = m_cleanup->isChecked();
    settings.daysToKeep = m_days->value();
}

void AdvancedPage::putIn(Preset &preset) const
{
    preset.listenAtStart = m_listen->isChecked();
    preset.startPaused = m_startPaused->isChecked();
    preset.timeLimited = m_timed->isChecked();
    if (preset.timeLimited)
        preset.timeLimitMinutes = m_minutes->value();
    preset.exitAfterRecording = preset.timeLimited && m_exitWhenDone->isChecked();
    preset.deleteOldArchives = m_cleanup->isChecked();
    if (preset.deleteOldArchives)
        preset.daysToKeep = m_days->value();
}

void AdvancedPage::takeFrom(const Preset &preset)
{
    m_listen->setChecked(preset.listenAtStart);
    m_startPaused->setChecked(preset.startPaused);
    m_timed->setChecked(preset.timeLimited);
    if (preset.timeLimited) {
        m_minutes->setValueIfInRange(preset.timeLimitMinutes);
        m_exitWhenDone->setChecked(preset.exitAfterRecording);
    }
    m_cleanup->setChecked(preset.deleteOldArchives);
    if (preset.deleteOldArchives)
        m_days->setValueIfInRange(preset.daysToKeep);
}

void AdvancedPage::setRecordingOptionsEnabled(bool enabled)
{
    m_recordings->setEnabled(enabled);
}

bool AdvancedPage::usesExternalPlayer() const
{
    return m_useExternal->isChecked();
}

QString AdvancedPage::externalPlayer() const
{
    return m_externalPlayer->text();
}

void AdvancedPage::storeDirectoryServer()
{
    const QString server = m_directoryServer->text().trimmed();
    if (server == StationDirectory::configuredServer())
        return;
    if (!server.isEmpty() && !StationDirectory::isServerAddress(server)) {
        m_tell(tr("Not a directory server: ") + server);
        m_directoryServer->setText(StationDirectory::configuredServer());
        return;
    }
    writeIniValue(QStringLiteral("Directory"), QStringLiteral("Server"), server, ombrexIniPath());
}

void AdvancedPage::browsePlayer()
{
    auto *dialog = new QFileDialog(this, tr("Choose the External Player"), dialogFolder(m_externalPlayer->text()));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &chosen) {
        m_externalPlayer->setText(QDir::toNativeSeparators(chosen));
        m_useExternal->setChecked(true);
        saveExternalPlayer(m_externalPlayer->text());
    });
    dialog->open();
}
