#include "ui/stationsection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "config/preset.h"
#include "engine/recorder.h"
#include "ui/capturebox.h"
#include "ui/stationbar.h"
#include "ui/themedicon.h"

StationSection::StationSection(const Recorder &recorder, platform::Clock &clock, MessageSink tell, QWidget *parent)
    : QWidget(parent)
    , m_recorder(recorder)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_station = new StationBar(tell, recorder.network(), clock, this);
    connect(m_station, &StationBar::checkRequested, this, &StationSection::checkRequested);
    connect(m_station, &StationBar::checked, this, [this](const QString &title) {
        enablePanel();
        m_capture->setTitle(title);
        m_capture->stationChecked();
        Q_EMIT checkEnded();
    });
    connect(m_station, &StationBar::checkFailed, this, [this] {
        disablePanel();
        Q_EMIT checkEnded();
    });

    m_capture = new CaptureBox(tell, this);
    m_capture->setObjectName(QStringLiteral("captureBox"));
    connect(m_capture, &CaptureBox::changed, this, &StationSection::markChanged);
    connect(m_capture, &CaptureBox::targetChanged, this, &StationSection::updateStartButtons);

    auto *buttons = new QHBoxLayout;
    m_record = new QPushButton(themedIcon("media-record", "record"), tr("Re&cord"), this);
    m_record->setObjectName(QStringLiteral("record"));
    m_preview = new QPushButton(themedIcon("media-playback-start", "play"), tr("&Preview/Listen"), this);
    m_preview->setObjectName(QStringLiteral("preview"));
    m_save = new QPushButton(themedIcon("document-save", "save"), tr("Save Preset File"), this);
    m_save->setObjectName(QStringLiteral("save"));
    auto *open = new QPushButton(themedIcon("document-open", "open"), tr("Open Preset File"), this);
    open->setObjectName(QStringLiteral("open"));
    m_startHint = new QLabel(this);
    m_startHint->setObjectName(QStringLiteral("startHint"));
    m_startHint->setWordWrap(true);
    buttons->addWidget(m_record);
    buttons->addWidget(m_preview);
    buttons->addWidget(m_startHint, 1);
    buttons->addWidget(m_save);
    buttons->addWidget(open);
    connect(m_record, &QPushButton::clicked, this, &StationSection::recordClicked);
    connect(m_preview, &QPushButton::clicked, this, &StationSection::previewClicked);
    connect(m_save, &QPushButton::clicked, this, &StationSection::saveClicked);
    connect(open, &QPushButton::clicked, this, &StationSection::openClicked);

    layout->addWidget(m_station);
    layout->addWidget(m_station->progressLabel());
    layout->addWidget(m_capture);
    layout->addLayout(buttons);

    QList<QWidget *> order = {m_station->addressBox(), m_station->checkButton()};
    order += m_capture->tabOrder();
    order += {m_record, m_preview, m_save, open};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
}

StationSection::~StationSection() = default;

QString StationSection::address() const
{
    return m_station->address();
}

void StationSection::setAddress(const QString &address)
{
    m_station->setAddress(address);
}

void StationSection::check()
{
    markChanged();
    if (!m_station->check())
        m_capture->setTitle(QString());
}

void StationSection::enablePanel()
{
    setPanelEnabled(true);
    const bool hasPath = !m_capture->target().path().isEmpty();
    m_record->setEnabled(hasPath);
    m_preview->setEnabled(hasPath);
    m_save->setEnabled(hasPath);
    m_station->hideProgress();
    updateStartButtons();
}

void StationSection::disablePanel()
{
    setPanelEnabled(false);
    m_station->hideProgress();
    m_capture->setTitle(QString());
    updateStartButtons();
}

void StationSection::setPanelEnabled(bool enabled)
{
    m_panelEnabled = enabled;
    m_capture->setEnabled(enabled);
    m_preview->setEnabled(enabled && m_preview->isEnabled());
    m_station->setCheckAlwaysEnabled(enabled);
    Q_EMIT panelEnabledChanged(enabled);
}

bool StationSection::isTargetReady() const
{
    return m_capture->target().problem() == CaptureTarget::Problem::None;
}

QString StationSection::startBlocker() const
{
    if (!m_panelEnabled)
        return m_station->address().isEmpty() ? tr("Choose or add a station, then Check it.")
                                              : tr("Check the station first.");
    switch (m_capture->target().problem()) {
    case CaptureTarget::Problem::NoPath:
        return m_capture->target().isFolderMode() ? tr("Choose the folder to save to.")
                                                  : tr("Choose the MP3 file to record into.");
    case CaptureTarget::Problem::NoArchiveHeader:
        return tr("Enter the archive file header.");
    case CaptureTarget::Problem::None:
        break;
    }
    if (m_recorder.status().state != RecordingStatus::State::Idle && !m_changed)
        return tr("Recording. Change an option to start again.");
    return QString();
}

void StationSection::updateStartButtons()
{
    const QString blocker = startBlocker();
    m_record->setEnabled(blocker.isEmpty());
    m_preview->setEnabled(blocker.isEmpty());
    m_record->setToolTip(blocker.isEmpty() ? tr("Record the station") : blocker);
    m_preview->setToolTip(blocker.isEmpty() ? tr("Listen without recording") : blocker);
    m_startHint->setText(blocker);
    m_save->setEnabled(m_panelEnabled && isTargetReady());
    Q_EMIT startAllowedChanged(blocker.isEmpty());
}

void StationSection::markChanged()
{
    m_changed = true;
    updateStartButtons();
}

void StationSection::putIn(Preset &preset) const
{
    preset.playlistAddress = m_station->address();
    m_capture->putIn(preset);
}

void StationSection::takeFrom(const Preset &preset)
{
    m_station->setAddress(preset.playlistAddress);
    m_capture->takeFrom(preset);
    enablePanel();
}
