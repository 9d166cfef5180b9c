#include "ui/schedulerpage.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/scheduledpreset.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "ui/themedicon.h"

using platform::RecordingScheduler;

namespace
{

constexpr int kDefaultMinutes = 60;
constexpr int kMaxMinutes = 24 * 60;

QString repeatText(const RecordingScheduler::Task &task, const QLocale &locale)
{
    QString text = SchedulerPage::tr("Once");
    if (task.repeat == RecordingScheduler::Repeat::Daily)
        text = SchedulerPage::tr("Daily");
    else if (task.repeat == RecordingScheduler::Repeat::Weekly)
        text = SchedulerPage::tr("Weekly, %1").arg(locale.dayName(task.at.date().dayOfWeek(), QLocale::ShortFormat));
    if (task.minutes > 0)
        text += SchedulerPage::tr(", %1 min").arg(task.minutes);
    return text;
}

bool isPresetFile(const QString &play)
{
    return play.endsWith(QStringLiteral(".mvr"), Qt::CaseInsensitive) && QFileInfo(play).isFile();
}

} // namespace

SchedulerPage::SchedulerPage(platform::Clock &clock, platform::ServiceManager &serviceManager, MessageSink tell,
                             QWidget *parent)
    : QWidget(parent)
    , m_serviceManager(serviceManager)
    , m_clock(clock)
    , m_tell(std::move(tell))
{
    setObjectName(QStringLiteral("schedulerPage"));
    const QLocale locale;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_sessionNotice = new QLabel(RecordingScheduler::noManagerText(), this);
    m_sessionNotice->setObjectName(QStringLiteral("sessionNotice"));
    m_sessionNotice->setWordWrap(true);
    m_sessionNotice->hide();

    auto *group = new QGroupBox(tr("Schedule"), this);
    auto *form = new QFormLayout(group);
    m_play = new QLineEdit(group);
    m_play->setObjectName(QStringLiteral("schedulePlay"));
    m_play->setPlaceholderText(tr("A station of the list (Schedule...) or a preset file"));
    // A typed address is no longer the station whose name was given with it.
    connect(m_play, &QLineEdit::textEdited, this, [this] { m_playTitle.clear(); });
    const QDateTime now = m_clock.now();
    m_date = new QDateEdit(now.date(), group);
    m_date->setObjectName(QStringLiteral("scheduleDate"));
    m_date->setDisplayFormat(dateFormat(locale));
    m_date->setCalendarPopup(true);
    m_time = new QTimeEdit(QTime(20, 0), group);
    m_time->setObjectName(QStringLiteral("scheduleTime"));
    m_time->setDisplayFormat(locale.timeFormat(QLocale::ShortFormat));
    m_repeat = new QComboBox(group);
    m_repeat->setObjectName(QStringLiteral("scheduleRepeat"));
    m_repeat->addItem(tr("Once"), QVariant::fromValue(static_cast<int>(RecordingScheduler::Repeat::Once)));
    m_repeat->addItem(tr("Daily"), QVariant::fromValue(static_cast<int>(RecordingScheduler::Repeat::Daily)));
    m_repeat->addItem(tr("Weekly"), QVariant::fromValue(static_cast<int>(RecordingScheduler::Repeat::Weekly)));
    m_minutes = new QSpinBox(group);
    m_minutes->setObjectName(QStringLiteral("scheduleMinutes"));
    m_minutes->setRange(1, kMaxMinutes);
    m_minutes->setValue(kDefaultMinutes);
    m_minutes->setSuffix(tr(" minutes"));
    form->addRow(tr("Pla&y :"), m_play);
    form->addRow(tr("Dat&e:"), m_date);
    form->addRow(tr("Ti&me:"), m_time);
    form->addRow(tr("Re&peat:"), m_repeat);
    form->addRow(tr("Record &for:"), m_minutes);
    m_add = new QPushButton(themedIcon("appointment-new", "add"), tr("&Add Task"), group);
    m_add->setObjectName(QStringLiteral("addTask"));
    auto *addRow = new QHBoxLayout;
    addRow->addWidget(m_add);
    addRow->addStretch(1);
    form->addRow(QString(), addRow);
    connect(m_add, &QPushButton::clicked, this, &SchedulerPage::addTask);

    auto *listGroup = new QGroupBox(tr("Scheduled recordings"), this);
    auto *listLayout = new QVBoxLayout(listGroup);
    m_list = new QTreeWidget(listGroup);
    m_list->setObjectName(QStringLiteral("scheduledTasks"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels({tr("Name"), tr("Next run"), tr("Repeat"), tr("Plays")});
    m_list->header()->setSectionResizeMode(NameColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(NextRunColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(RepeatColumn, QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    m_remove = new QPushButton(themedIcon("list-remove", "remove"), tr("&Remove"), listGroup);
    m_remove->setObjectName(QStringLiteral("removeTask"));
    auto *removeRow = new QHBoxLayout;
    removeRow->addWidget(m_remove);
    removeRow->addStretch(1);
    listLayout->addWidget(m_list);
    listLayout->addLayout(removeRow);
    connect(m_remove, &QPushButton::clicked, this, &SchedulerPage::removeSelected);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &SchedulerPage::updateButtons);

    layout->addWidget(m_sessionNotice);
    layout->addWidget(group);
    layout->addWidget(listGroup, 1);
    updateButtons();
}

SchedulerPage::~SchedulerPage() = default;

void SchedulerPage::useFolders(const QString &unitFolder, const QString &program, const QString &programFolder)
{
    m_scheduler = std::make_unique<RecordingScheduler>(m_serviceManager, unitFolder, program);
    m_scheduler->setWorkingFolder(programFolder);
    m_programFolder = programFolder;
    refresh();
}

RecordingScheduler &SchedulerPage::scheduler()
{
    if (!m_scheduler)
        m_scheduler = std::make_unique<RecordingScheduler>(m_serviceManager);
    return *m_scheduler;
}

QString SchedulerPage::programFolder() const
{
    return m_programFolder.isEmpty() ? platform::programFolder() : m_programFolder;
}

void SchedulerPage::setPlay(const QString &text, const QString &title)
{
    m_play->setText(text);
    m_playTitle = title;
}

QString SchedulerPage::dateFormat(const QLocale &locale)
{
    // A two-digit year reads back as 19xx, so the page writes all four.
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

void SchedulerPage::addTask()
{
    if (m_busy)
        return;
    // A closed prompt lingers until its deletion comes round.
    if (m_prompt && m_prompt->isVisible()) {
        m_prompt->raise();
        m_prompt->activateWindow();
        return;
    }
    const QString play = m_play->text().trimmed();
    if (play.isEmpty()) {
        tell(tr("Enter the station address or the preset file to play."));
        return;
    }
    const QDateTime at(m_date->date(), QTime(m_time->time().hour(), m_time->time().minute()));
    const QString when = m_date->text() + QLatin1Char(' ') + m_time->text();
    if (!at.isValid()) {
        tell(tr("Invalid date or time: %1").arg(when));
        return;
    }
    const auto repeat = static_cast<RecordingScheduler::Repeat>(m_repeat->currentData().toInt());
    // A single run in the past would never fire, yet look scheduled.
    if (repeat == RecordingScheduler::Repeat::Once && at <= m_clock.now()) {
        tell(tr("That time has passed: %1").arg(when));
        return;
    }
    // Asking for the name is pointless when nothing could be scheduled.
    if (!scheduler().isAvailable()) {
        tell(RecordingScheduler::noManagerText());
        return;
    }
    m_prompt = new QInputDialog(this);
    m_prompt->setObjectName(QStringLiteral("taskNamePrompt"));
    m_prompt->setAttribute(Qt::WA_DeleteOnClose);
    m_prompt->setWindowTitle(tr("Add Task"));
    m_prompt->setLabelText(tr("Enter TaskName :"));
    m_prompt->setTextValue(tr("Task 1"));
    // The fields as they were when Add was pressed.
    connect(m_prompt, &QInputDialog::textValueSelected, this,
            [this, play, title = m_playTitle, at, repeat, minutes = m_minutes->value()](const QString &name) {
                addNamed(name, play, title, at, repeat, minutes);
            });
    m_prompt->open();
}

void SchedulerPage::addNamed(const QString &name, const QString &play, const QString &title, const QDateTime &at,
                             RecordingScheduler::Repeat repeat, int minutes)
{
    const QString taskName = name.trimmed();
    if (taskName.isEmpty()) {
        tell(tr("Please enter a name for the task."));
        return;
    }
    // A preset file brings its own station and options; an address takes the
    // options of the moment. Either way the run gets a preset with its duration.
    Preset options;
    if (isPresetFile(play)) {
        if (!options.load(play)) {
            if (!options.failureText().isEmpty())
                tell(options.failureText());
            return;
        }
    } else {
        if (m_options)
            options = m_options();
        const bool sameStation = options.playlistAddress == play;
        options.playlistAddress = play;
        if (!title.isEmpty())
            options.stationTitle = title;
        else if (!sameStation || options.stationTitle.isEmpty())
            options.stationTitle = taskName;
    }
    const QString preset = scheduledpreset::write(options, programFolder(), taskName, minutes);
    if (preset.isEmpty()) {
        tell(tr("The task could not be scheduled: cannot write its preset in %1")
                 .arg(scheduledpreset::folder(programFolder())));
        return;
    }
    m_busy = true;
    updateButtons();
    scheduler().add(
        taskName, preset, at, repeat, minutes, this,
        [this, preset](RecordingScheduler::Result result, const QString &detail) { onAdded(result, detail, preset); });
}

void SchedulerPage::onAdded(RecordingScheduler::Result result, const QString &detail, const QString &preset)
{
    m_busy = false;
    updateButtons();
    if (result != RecordingScheduler::Result::Added)
        scheduledpreset::remove(programFolder(), preset);
    switch (result) {
    case RecordingScheduler::Result::Added:
        refresh();
        tell(tr("Added Scheduled Task"));
        return;
    case RecordingScheduler::Result::Exists:
        warn(tr("The task already exists. Please enter a new name"));
        return;
    case RecordingScheduler::Result::NoManager:
        refresh();
        tell(detail);
        return;
    case RecordingScheduler::Result::Failed:
    case RecordingScheduler::Result::Removed:
        break;
    }
    tell(tr("The task could not be scheduled: %1").arg(detail));
}

void SchedulerPage::removeSelected()
{
    const QList<QTreeWidgetItem *> selected = m_list->selectedItems();
    if (m_busy || selected.isEmpty() || m_question)
        return;
    const QString name = selected.first()->text(NameColumn);
    const QString unitBase = selected.first()->data(NameColumn, Qt::UserRole).toString();
    const QString play = selected.first()->text(PlayColumn);
    m_question = new QMessageBox(QMessageBox::Question, QStringLiteral("Vorlane"),
                                 tr("Remove the scheduled recording \"%1\"?").arg(name),
                                 QMessageBox::Yes | QMessageBox::No, this);
    m_question->setObjectName(QStringLiteral("removeTaskQuestion"));
    m_question->setDefaultButton(QMessageBox::No);
    m_question->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_question, &QMessageBox::finished, this, [this, unitBase, name, play](int answer) {
        if (answer == QMessageBox::Yes)
            removeTask(unitBase, name, play);
    });
    m_question->open();
}

void SchedulerPage::removeTask(const QString &unitBase, const QString &name, const QString &play)
{
    if (m_busy)
        return;
    m_busy = true;
    updateButtons();
    scheduler().remove(unitBase, this, [this, name, play](RecordingScheduler::Result result, const QString &detail) {
        m_busy = false;
        // Only the task's own preset goes with it.
        if (result == RecordingScheduler::Result::Removed)
            scheduledpreset::remove(programFolder(), play);
        refresh();
        if (result != RecordingScheduler::Result::Removed)
            tell(tr("The task \"%1\" could not be removed. %2").arg(name, detail));
    });
}

void SchedulerPage::refresh()
{
    const QLocale locale;
    const QDateTime now = m_clock.now();
    const QString when = dateFormat(locale) + QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat);
    // Said up front: without a user session no task can be added.
    m_sessionNotice->setVisible(!scheduler().isAvailable());
    m_list->clear();
    const QList<RecordingScheduler::Task> tasks = scheduler().tasks();
    for (const RecordingScheduler::Task &task : tasks) {
        const std::optional<QDateTime> next = RecordingScheduler::nextRun(task, now);
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(NameColumn, task.name);
        item->setData(NameColumn, Qt::UserRole, task.unitBase);
        item->setText(NextRunColumn, next ? locale.toString(*next, when) : tr("Passed"));
        item->setText(RepeatColumn, repeatText(task, locale));
        item->setText(PlayColumn, task.play);
        item->setToolTip(PlayColumn, task.play);
    }
    updateButtons();
}

void SchedulerPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Tasks may have been added or removed by hand, or by another run.
    refresh();
}

void SchedulerPage::updateButtons()
{
    m_add->setEnabled(!m_busy);
    m_remove->setEnabled(!m_busy && !m_list->selectedItems().isEmpty());
}

void SchedulerPage::warn(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Vorlane"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("scheduleWarning"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void SchedulerPage::tell(const QString &text)
{
    m_tell(text);
}
