#include "ui/stationlistpanel.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTreeView>
#include <QVBoxLayout>

#include <tuple>

#include "config/stationlist.h"
#include "ui/stationdialog.h"
#include "ui/themedicon.h"

namespace
{

// The view's station list: the status column reads each row's mark.
class MarkedStations final : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || index.column() != StationList::StatusColumn)
            return QIdentityProxyModel::data(index, role);
        switch (static_cast<StationList::Mark>(index.data(StationList::MarkRole).toInt())) {
        case StationList::Mark::Connecting:
            return StationListPanel::tr("Connecting");
        case StationList::Mark::Recording:
            return StationListPanel::tr("Record");
        case StationList::Mark::Playing:
            return StationListPanel::tr("Play");
        case StationList::Mark::None:
            break;
        }
        return QString();
    }
};

} // namespace

StationListPanel::StationListPanel(StationList &stations, QWidget *parent)
    : QWidget(parent)
    , m_stations(stations)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("stationView"));
    auto *marked = new MarkedStations(this);
    marked->setSourceModel(&m_stations);
    m_view->setModel(marked);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAlternatingRowColors(true);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->setAcceptDrops(true);
    m_view->viewport()->setAcceptDrops(true);
    m_view->viewport()->installEventFilter(this);
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionResizeMode(StationList::NameColumn, QHeaderView::Interactive);
    m_view->header()->setSectionResizeMode(StationList::UrlColumn, QHeaderView::Stretch);
    m_view->header()->setSectionResizeMode(StationList::StatusColumn, QHeaderView::ResizeToContents);
    m_view->header()->resizeSection(StationList::NameColumn, 200);
    const auto activated = [this](const QModelIndex &index) {
        if (index.isValid())
            Q_EMIT stationActivated(index.row());
    };
    connect(m_view, &QTreeView::clicked, this, activated);
    connect(m_view, &QTreeView::activated, this, activated);
    // Moving through the list with the keys loads each row as a click does;
    // rows selected by the program are already loaded.
    connect(m_view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, activated](const QModelIndex &current) {
                if (!m_quietSelection)
                    activated(current);
            });
    m_view->installEventFilter(this); // Delete removes the selected stations
    connect(m_view, &QTreeView::customContextMenuRequested, this, &StationListPanel::showMenu);

    auto *buttons = new QHBoxLayout;
    const std::tuple<const char *, const char *, const char *, void (StationListPanel::*)()> entries[] = {
        {QT_TR_NOOP("&Add Station"), "list-add", "add", &StationListPanel::addStation},
        {QT_TR_NOOP("&Edit Station"), "document-edit", "edit", &StationListPanel::editStation},
        {QT_TR_NOOP("Re&move Station"), "list-remove", "remove", &StationListPanel::removeStations},
    };
    for (const auto &[caption, theme, fallback, handler] : entries) {
        auto *button = new QPushButton(themedIcon(theme, fallback), tr(caption), this);
        button->setObjectName(QString::fromLatin1(fallback) + QStringLiteral("Station"));
        connect(button, &QPushButton::clicked, this, handler);
        buttons->addWidget(button);
    }
    buttons->addStretch(1);

    layout->addWidget(m_view, 1);
    layout->addLayout(buttons);

    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("stationMenu"));
}

StationListPanel::~StationListPanel() = default;

int StationListPanel::selectedRow() const
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid() || !m_view->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return -1;
    return current.row();
}

void StationListPanel::selectRow(int row)
{
    const QScopedValueRollback quiet(m_quietSelection, true);
    m_view->setCurrentIndex(m_view->model()->index(row, StationList::NameColumn));
}

void StationListPanel::showMenu(const QPoint &position)
{
    m_menu->clear();
    m_menu->addAction(tr("&Add"), this, &StationListPanel::addStation);
    m_menu->addAction(tr("&Remove"), this, &StationListPanel::removeStations);
    m_menu->addAction(tr("Remove A&ll"), this, &StationListPanel::removeAllStations);
    m_menu->addAction(tr("&Edit"), this, &StationListPanel::editStation);
    m_menu->addSeparator();
    m_menu->addAction(tr("&Play"), this, &StationListPanel::previewRequested)->setEnabled(m_startEnabled);
    m_menu->addAction(tr("Re&cord"), this, &StationListPanel::recordRequested)->setEnabled(m_startEnabled);
    m_menu->addSeparator();
    m_menu->addAction(tr("&Schedule..."), this, &StationListPanel::scheduleRequested);
    m_menu->popup(m_view->viewport()->mapToGlobal(position));
}

void StationListPanel::addStationFor(const QString &address, const QString &name)
{
    auto *dialog = new StationDialog(false, name, address, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        const QString added = dialog->stationAddress();
        int row = m_stations.findAddress(added);
        if (row == -1)
            row = m_stations.appendEntry(dialog->stationName(), added);
        selectRow(row);
        Q_EMIT stationAdded(added);
    });
    dialog->open();
}

void StationListPanel::editStation()
{
    const int row = selectedRow();
    if (row == -1)
        return;
    auto *dialog = new StationDialog(true, m_stations.name(row), m_stations.address(row), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The row is found again by its place when the dialog closes; a removal
    // meanwhile must not let the edit land on another station.
    const QString oldAddress = m_stations.address(row);
    const QString oldName = m_stations.name(row);
    connect(dialog, &QDialog::accepted, this, [this, dialog, row, oldName, oldAddress] {
        if (m_stations.name(row) != oldName || m_stations.address(row) != oldAddress)
            return;
        const QString address = dialog->stationAddress();
        m_stations.editEntry(row, dialog->stationName(), address);
        if (address != oldAddress)
            Q_EMIT stationEdited(row, oldAddress, address);
    });
    dialog->open();
}

void StationListPanel::removeStations()
{
    QList<int> rows;
    const QModelIndexList selected = m_view->selectionModel()->selectedRows();
    for (const QModelIndex &index : selected)
        rows.append(index.row());
    const QScopedValueRollback quiet(m_quietSelection, true);
    m_stations.removeEntries(rows);
}

void StationListPanel::removeAllStations()
{
    if (m_stations.count() == 0)
        return;
    auto *box = new QMessageBox(QMessageBox::Question, tr("Remove All"),
                                tr("Remove all %1 stations from the list?").arg(m_stations.count()),
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setObjectName(QStringLiteral("removeAllQuestion"));
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this](int answer) {
        if (answer == QMessageBox::Yes) {
            const QScopedValueRollback quiet(m_quietSelection, true);
            m_stations.removeAll();
        }
    });
    box->open();
}

bool StationListPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Delete)) {
        removeStations();
        return true;
    }
    if (watched == m_view->viewport()) {
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
            Q_EMIT dropped(drop->mimeData());
            return true;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
