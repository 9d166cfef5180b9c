#include "ui/schedulerpage.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QInputDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/clock.h"
#include "platform/frontend.h"
#include "ui/stationdialog.h"

using platform::RecordingScheduler;

namespace
{

QIcon themedIcon(const char *themeName, const char *fallback)
{
    return QIcon::fromTheme(
        QString::fromLatin1(themeName),
        QIcon(QStringLiteral(":/vorlane/icons/") + QString::fromLatin1(fallback) + QStringLiteral(".svg")));
}

QString repeatText(const RecordingScheduler::Task &task, const QLocale &locale)
{
    switch (task.repeat) {
    case RecordingScheduler::Repeat::Daily:
        return QStringLiteral("Daily");
    case RecordingScheduler::Repeat::Weekly:
        return QStringLiteral("Weekly, ") + locale.dayName(task.at.date().dayOfWeek(), QLocale::ShortFormat);
    case RecordingScheduler::Repeat::Once:
        break;
    }
    return QStringLiteral("Once");
}

} // namespace

SchedulerPage::SchedulerPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("schedulerPage"));
    const QLocale locale;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *group = new QGroupBox(QStringLiteral("Schedule"), this);
    auto *form = new QFormLayout(group);
    m_play = new QLineEdit(StationDialog::defaultAddress(), group);
    m_play->setObjectName(QStringLiteral("schedulePlay"));
    m_date = new QLineEdit(locale.toString(platform::clock().now().date(), dateFormat(locale)), group);
    m_date->setObjectName(QStringLiteral("scheduleDate"));
    m_date->setToolTip(dateFormat(locale));
    m_time = new QLineEdit(locale.toString(QTime(20, 0), QLocale::ShortFormat), group);
    m_time->setObjectName(QStringLiteral("scheduleTime"));
    m_time->setToolTip(locale.timeFormat(QLocale::ShortFormat));
    m_repeat = new QComboBox(group);
    m_repeat->setObjectName(QStringLiteral("scheduleRepeat"));
    m_repeat->addItem(QStringLiteral("Once"), QVariant::fromValue(static_cast<int>(RecordingScheduler::Repeat::Once)));
    m_repeat->addItem(QStringLiteral("Daily"),
                      QVariant::fromValue(static_cast<int>(RecordingScheduler::Repeat::Daily)));
    m_repeat->addItem(QStringLiteral("Weekly"),
                      QVariant::fromValue(static_cast<int>(RecordingScheduler::Repeat::Weekly)));
    form->addRow(QStringLiteral("Pla&y :"), m_play);
    form->addRow(QStringLiteral("Dat&e:"), m_date);
    form->addRow(QStringLiteral("Ti&me:"), m_time);
    form->addRow(QStringLiteral("Re&peat:"), m_repeat);
    m_add = new QPushButton(themedIcon("appointment-new", "add"), QStringLiteral("&Add Task"), group);
    m_add->setObjectName(QStringLiteral("addTask"));
    auto *addRow = new QHBoxLayout;
    addRow->addWidget(m_add);
    addRow->addStretch(1);
    form->addRow(QString(), addRow);
    connect(m_add, &QPushButton::clicked, this, &SchedulerPage::addTask);

    auto *listGroup = new QGroupBox(QStringLiteral("Scheduled recordings"), this);
    auto *listLayout = new QVBoxLayout(listGroup);
    m_list = new QTreeWidget(listGroup);
    m_list->setObjectName(QStringLiteral("scheduledTasks"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Next run"), QStringLiteral("Repeat"), QStringLiteral("Plays")});
    m_list->header()->setSectionResizeMode(NameColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(NextRunColumn, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(RepeatColumn, QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    m_remove = new QPushButton(themedIcon("list-remove", "remove"), QStringLiteral("&Remove"), listGroup);
    m_remove->setObjectName(QStringLiteral("removeTask"));
    auto *removeRow = new QHBoxLayout;
    removeRow->addWidget(m_remove);
    removeRow->addStretch(1);
    listLayout->addWidget(m_list);
    listLayout->addLayout(removeRow);
    connect(m_remove, &QPushButton::clicked, this, &SchedulerPage::removeSelected);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &SchedulerPage::updateButtons);

    layout->addWidget(group);
    layout->addWidget(listGroup, 1);
    updateButtons();
}

SchedulerPage::~SchedulerPage() = default;

void SchedulerPage::useManager(platform::ServiceManager &manager, const QString &unitFolder, const QString &program)
{
    m_scheduler = std::make_unique<RecordingScheduler>(manager, unitFolder, program);
    m_ownManager.reset();
    refresh();
}

RecordingScheduler &SchedulerPage::scheduler()
{
    if (!m_scheduler) {
        m_ownManager = std::make_unique<platform::SystemctlManager>();
        m_scheduler = std::make_unique<RecordingScheduler>(*m_ownManager);
    }
    return *m_scheduler;
}

void SchedulerPage::setPlay(const QString &text)
{
    m_play->setText(text);
}

QString SchedulerPage::dateFormat(const QLocale &locale)
{
    // A two-digit year reads back as 19xx, so the page writes all four.
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

std::optional<QDateTime> SchedulerPage::readDateTime(const QString &dateText, const QString &timeText,
                                                     const QLocale &locale)
{
    const QString dateIn = dateText.trimmed();
    const QString timeIn = timeText.trimmed();
    QDate date;
    const QStringList dateFormats{dateFormat(locale), locale.dateFormat(QLocale::ShortFormat),
                                  locale.dateFormat(QLocale::LongFormat), QStringLiteral("yyyy-MM-dd")};
    for (const QString &format : dateFormats) {
        date = locale.toDate(dateIn, format);
        if (date.isValid()) {
            // Qt puts a two-digit year in the 1900s; a schedule means this century.
            if (!format.contains(QStringLiteral("yyyy")))
                date = date.addYears(100);
            break;
        }
    }
    QTime time;
    const QStringList timeFormats{locale.timeFormat(QLocale::ShortFormat), locale.timeFormat(QLocale::LongFormat),
                                  QStringLiteral("H:mm"), QStringLiteral("H:mm:ss")};
    for (const QString &format : timeFormats) {
        time = locale.toTime(timeIn, format);
        if (time.isValid())
            break;
    }
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QDateTime at(date, time);
    if (!at.isValid())
        return std::nullopt;
    return at;
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
        tell(QStringLiteral("Enter the station address or the preset file to play."));
        return;
    }
    const std::optional<QDateTime> at = readDateTime(m_date->text(), m_time->text(), QLocale());
    if (!at) {
        tell(QStringLiteral("Invalid date or time: ") + m_date->text() + QLatin1Char(' ') + m_time->text());
        return;
    }
    const auto repeat = static_cast<RecordingScheduler::Repeat>(m_repeat->currentData().toInt());
    // A single run in the past would never fire, yet look scheduled.
    if (repeat == RecordingScheduler::Repeat::Once && *at <= platform::clock().now()) {
        tell(QStringLiteral("That time has passed: ") + m_date->text() + QLatin1Char(' ') + m_time->text());
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
    m_prompt->setWindowTitle(QStringLiteral("Add Task"));
    m_prompt->setLabelText(QStringLiteral("Enter TaskName :"));
    m_prompt->setTextValue(QStringLiteral("Task 1"));
    // The fields as they were when Add was pressed.
    connect(m_prompt, &QInputDialog::textValueSelected, this,
            [this, play, at = *at, repeat](const QString &name) { addNamed(name, play, at, repeat); });
    m_prompt->open();
}

void SchedulerPage::addNamed(const QString &name, const QString &play, const QDateTime &at,
                             RecordingScheduler::Repeat repeat)
{
    const QString taskName = name.trimmed();
    if (taskName.isEmpty()) {
        tell(QStringLiteral("Please enter a name for the task."));
        return;
    }
    m_busy = true;
    updateButtons();
    scheduler().add(taskName, play, at, repeat, this,
                    [this](RecordingScheduler::Result result, const QString &detail) { onAdded(result, detail); });
}

void SchedulerPage::onAdded(RecordingScheduler::Result result, const QString &detail)
{
    m_busy = false;
    updateButtons();
    switch (result) {
    case RecordingScheduler::Result::Added:
        refresh();
        tell(QStringLiteral("Added Scheduled Task"));
        return;
    case RecordingScheduler::Result::Exists:
        warn(QStringLiteral("The task already exists. Please enter a new name"));
        return;
    case RecordingScheduler::Result::NoManager:
        tell(detail);
        return;
    case RecordingScheduler::Result::Failed:
    case RecordingScheduler::Result::Removed:
        break;
    }
    tell(QStringLiteral("The task could not be scheduled: ") + detail);
}

void SchedulerPage::removeSelected()
{
    const QList<QTreeWidgetItem *> selected = m_list->selectedItems();
    if (m_busy || selected.isEmpty())
        return;
    m_busy = true;
    updateButtons();
    const QString name = selected.first()->text(NameColumn);
    scheduler().remove(selected.first()->data(NameColumn, Qt::UserRole).toString(), this,
                       [this, name](RecordingScheduler::Result result, const QString &detail) {
                           m_busy = false;
                           refresh();
                           if (result != RecordingScheduler::Result::Removed)
                               tell(QStringLiteral("The task \"") + name + QStringLiteral("\" could not be removed. ") +
                                    detail);
                       });
}

void SchedulerPage::refresh()
{
    const QLocale locale;
    const QDateTime now = platform::clock().now();
    const QString when = dateFormat(locale) + QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat);
    m_list->clear();
    const QList<RecordingScheduler::Task> tasks = scheduler().tasks();
    for (const RecordingScheduler::Task &task : tasks) {
        const std::optional<QDateTime> next = RecordingScheduler::nextRun(task, now);
        auto *item = new QTreeWidgetItem(m_list);
        item->setText(NameColumn, task.name);
        item->setData(NameColumn, Qt::UserRole, task.unitBase);
        item->setText(NextRunColumn, next ? locale.toString(*next, when) : QStringLiteral("Passed"));
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
    platform::frontEnd().showMessage(text);
}
