#include "ui/directorysearch.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace
{

const char *const kHeaders[] = {"Name", "Country", "Codec", "Bit rate", "Tags", "Votes"};
constexpr int kColumns = 6;
constexpr int kAllBitRates = 9999;

} // namespace

// One page of stations, offered for dragging as their addresses.
class DirectoryResults final : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setStations(const QList<DirectoryStation> &stations)
    {
        beginResetModel();
        m_stations = stations;
        endResetModel();
    }
    const DirectoryStation &station(int row) const { return m_stations.at(row); }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_stations.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : kColumns; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_stations.size())
            return {};
        const DirectoryStation &s = m_stations.at(index.row());
        if (role == Qt::ToolTipRole)
            return QString::fromUtf8(s.url);
        if (role == Qt::TextAlignmentRole && (index.column() == 3 || index.column() == 5))
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0:
            return s.name;
        case 1:
            return s.country;
        case 2:
            return s.codec;
        case 3:
            return s.bitRate > 0 ? QString::number(s.bitRate) : QString();
        case 4:
            return s.tags;
        default:
            return s.votes;
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
            return QString::fromLatin1(kHeaders[section]);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return QAbstractTableModel::flags(index) | (index.isValid() ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
    }
    QStringList mimeTypes() const override { return {QStringLiteral("text/uri-list"), QStringLiteral("text/plain")}; }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

    // The station list takes a dropped link like any other; the first row dragged is the one offered.
    QMimeData *mimeData(const QModelIndexList &indexes) const override
    {
        if (indexes.isEmpty())
            return nullptr;
        const DirectoryStation &s = m_stations.at(indexes.constFirst().row());
        auto *mime = new QMimeData;
        mime->setUrls({QUrl::fromEncoded(s.url)});
        mime->setText(QString::fromUtf8(s.url));
        if (offered)
            offered(s);
        return mime;
    }

    std::function<void(const DirectoryStation &)> offered;

private:
    QList<DirectoryStation> m_stations;
};

const QStringList &DirectorySearch::genres()
{
    static const QStringList list = {QStringLiteral("Alternative"),     QStringLiteral("College"),
                                     QStringLiteral("- Industrial"),    QStringLiteral("- Punk"),
                                     QStringLiteral("- Hardcore"),      QStringLiteral("- Ska"),
                                     QStringLiteral("Americana"),       QStringLiteral("- Blues"),
                                     QStringLiteral("- Folk"),          QStringLiteral("- Cajun"),
                                     QStringLiteral("- Bluegrass"),     QStringLiteral("Classical"),
                                     QStringLiteral("- Contemporary"),  QStringLiteral("- Opera"),
                                     QStringLiteral("- Symphonic"),     QStringLiteral("Country"),
                                     QStringLiteral("- Western Swing"), QStringLiteral("- New Country"),
                                     QStringLiteral("Electronic"),      QStringLiteral("- Ambient"),
                                     QStringLiteral("- Drum and Bass"), QStringLiteral("- Trance"),
                                     QStringLiteral("- Techno"),        QStringLiteral("- House"),
                                     QStringLiteral("- Downtempo"),     QStringLiteral("- Breakbeat"),
                                     QStringLiteral("- Acid Jazz"),     QStringLiteral("Hip-hop/Rap"),
                                     QStringLiteral("- Hardcore"),      QStringLiteral("- Alternative"),
                                     QStringLiteral("- Turntablism"),   QStringLiteral("- Old School"),
                                     QStringLiteral("- New School"),    QStringLiteral("Jazz"),
                                     QStringLiteral("- Latin"),         QStringLiteral("- Swing"),
                                     QStringLiteral("- Big Band"),      QStringLiteral("- Classic"),
                                     QStringLiteral("- Smooth"),        QStringLiteral("- Acid Jazz"),
                                     QStringLiteral("Pop/Rock"),        QStringLiteral("- Oldies"),
                                     QStringLiteral("- Classic"),       QStringLiteral("- 80s"),
                                     QStringLiteral("- Top 40"),        QStringLiteral("- Metal"),
                                     QStringLiteral("- Rock"),          QStringLiteral("- Pop"),
                                     QStringLiteral("R&B/Soul"),        QStringLiteral("- Contemporary"),
                                     QStringLiteral("- Classic"),       QStringLiteral("- Punk"),
                                     QStringLiteral("- Smooth"),        QStringLiteral("- Urban"),
                                     QStringLiteral("Spiritual"),       QStringLiteral("- Pop"),
                                     QStringLiteral("- Rock"),          QStringLiteral("- Alternative"),
                                     QStringLiteral("- Gospel"),        QStringLiteral("- Country"),
                                     QStringLiteral("Spoken"),          QStringLiteral("- Talk"),
                                     QStringLiteral("- Comedy"),        QStringLiteral("- Spoken Word"),
                                     QStringLiteral("World"),           QStringLiteral("- Reggae/Island"),
                                     QStringLiteral("- Africa"),        QStringLiteral("- Latin"),
                                     QStringLiteral("- European"),      QStringLiteral("- Middle Eastern"),
                                     QStringLiteral("- Asian"),         QStringLiteral("Other/Mixed"),
                                     QStringLiteral("- Eclectic"),      QStringLiteral("- Film/Show"),
                                     QStringLiteral("- Instrumental")};
    return list;
}

DirectorySearch::DirectorySearch(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_directory(new StationDirectory(this))
    , m_results(new DirectoryResults(this))
{
    setWindowTitle(tr("Radio Station Search"));
    setObjectName(QStringLiteral("directorySearch"));

    m_searchType = new QComboBox(this);
    m_searchType->setObjectName(QStringLiteral("searchType"));
    m_searchType->addItems({tr("Keyword"), tr("Genre")});
    m_keyword = new QLineEdit(QStringLiteral("World"), this);
    m_keyword->setObjectName(QStringLiteral("keyword"));
    m_genre = new QComboBox(this);
    m_genre->setObjectName(QStringLiteral("genre"));
    m_genre->addItems(genres());
    m_genre->setMaxVisibleItems(20);
    // No limit unless the user sets one: most stations send more than a few kb/s.
    m_bitRate = new QLineEdit(this);
    m_bitRate->setObjectName(QStringLiteral("bitRate"));
    m_bitRate->setPlaceholderText(tr("any"));
    m_bitRate->setValidator(new QIntValidator(0, kAllBitRates, m_bitRate));
    m_bitRate->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("99999")) + 16);
    auto *bitRateLabel = new QLabel(tr("&Bitrate:"), this);
    bitRateLabel->setBuddy(m_bitRate);
    m_find = new QPushButton(tr("&Find"), this);
    m_find->setObjectName(QStringLiteral("find"));
    m_find->setDefault(true);

    auto *frame = new QGroupBox(tr("Search Option (you can drag/drop URL to List)"), this);
    auto *row = new QHBoxLayout(frame);
    row->addWidget(m_searchType);
    row->addWidget(m_keyword, 2);
    row->addWidget(m_genre, 2);
    row->addSpacing(8);
    row->addWidget(bitRateLabel);
    row->addWidget(m_bitRate);
    row->addWidget(new QLabel(tr("Kb/s (9999 = all bitrate)"), this));
    row->addSpacing(8);
    row->addWidget(m_find);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("results"));
    m_table->setModel(m_results);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setDragEnabled(true);
    m_table->setDragDropMode(QAbstractItemView::DragOnly);
    m_table->setDefaultDropAction(Qt::CopyAction);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView *header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    const int character = fontMetrics().averageCharWidth();
    const int widths[kColumns] = {34, 14, 7, 8, 30, 7};
    for (int column = 0; column < kColumns; ++column)
        header->resizeSection(column,
                              std::max(widths[column] * character, header->sectionSizeHint(column) + character));
    header->setSectionResizeMode(4, QHeaderView::Stretch);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);
    m_previous = new QPushButton(tr("< &Previous"), this);
    m_previous->setObjectName(QStringLiteral("previous"));
    m_next = new QPushButton(tr("&Next >"), this);
    m_next->setObjectName(QStringLiteral("next"));
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
    auto *paging = new QHBoxLayout;
    paging->addWidget(m_status, 1);
    paging->addWidget(m_previous);
    paging->addWidget(m_next);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(m_table, 1);
    layout->addLayout(paging);
    m_status->setText(tr("Double-click a station, or drag it to the station list, to add it."));

    connect(m_searchType, &QComboBox::currentIndexChanged, this, &DirectorySearch::onSearchTypeChanged);
    connect(m_find, &QPushButton::clicked, this, &DirectorySearch::find);
    connect(m_keyword, &QLineEdit::returnPressed, this, &DirectorySearch::find);
    connect(m_bitRate, &QLineEdit::returnPressed, this, &DirectorySearch::find);
    connect(m_previous, &QPushButton::clicked, this, &DirectorySearch::previousPage);
    connect(m_next, &QPushButton::clicked, this, &DirectorySearch::nextPage);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex &index) { chooseRow(index.row()); });
    connect(m_directory, &StationDirectory::resultsReady, this, &DirectorySearch::onResults);
    connect(m_directory, &StationDirectory::failed, this, &DirectorySearch::onFailed);
    m_results->offered = [this](const DirectoryStation &station) { rememberOffered(station); };
    onSearchTypeChanged();
    resize(character * 130, fontMetrics().height() * 30);
}

DirectorySearch::~DirectorySearch() = default;

DirectoryQuery DirectorySearch::query() const
{
    DirectoryQuery query;
    const bool genre = m_searchType->currentIndex() == 1;
    query.kind = genre ? DirectoryQuery::Kind::Genre : DirectoryQuery::Kind::Keyword;
    query.text = genre ? m_genre->currentText() : m_keyword->text();
    // An empty or unreadable limit is no limit, as 9999 is.
    bool ok = false;
    const int bitRate = m_bitRate->text().trimmed().toInt(&ok);
    query.maxBitRate = ok && bitRate > 0 ? bitRate : 0;
    return query;
}

void DirectorySearch::onSearchTypeChanged()
{
    const bool keyword = m_searchType->currentIndex() == 0;
    m_keyword->setEnabled(keyword);
    m_genre->setEnabled(!keyword);
}

void DirectorySearch::find()
{
    searchPage(query());
}

void DirectorySearch::nextPage()
{
    if (!m_hasPage)
        return;
    DirectoryQuery query = m_shown;
    ++query.page;
    searchPage(query);
}

void DirectorySearch::previousPage()
{
    if (!m_hasPage || m_shown.page == 0)
        return;
    DirectoryQuery query = m_shown;
    --query.page;
    searchPage(query);
}

void DirectorySearch::searchPage(DirectoryQuery query)
{
    query.page = std::max(query.page, 0);
    m_status->setText(tr("Searching..."));
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
    m_directory->useConfiguredServer();
    m_directory->search(query);
}

void DirectorySearch::onResults(const QList<DirectoryStation> &stations, const DirectoryQuery &query)
{
    m_shown = query;
    m_hasPage = true;
    m_results->setStations(stations);
    m_table->scrollToTop();
    const int first = query.page * StationDirectory::kPageSize + 1;
    if (stations.isEmpty())
        m_status->setText(query.page == 0 ? tr("No stations found.") : tr("No more stations found."));
    else
        m_status->setText(tr("Stations %1 to %2").arg(first).arg(first + stations.size() - 1));
    m_previous->setEnabled(query.page > 0);
    // The directory gives no total: a full page may have a next one.
    m_next->setEnabled(stations.size() >= StationDirectory::kPageSize);
}

void DirectorySearch::onFailed(const QString &message)
{
    m_status->setText(message);
    // The page shown before stays usable.
    m_previous->setEnabled(m_hasPage && m_shown.page > 0);
    m_next->setEnabled(m_hasPage && m_results->rowCount() >= StationDirectory::kPageSize);
}

void DirectorySearch::chooseRow(int row)
{
    if (row < 0 || row >= m_results->rowCount())
        return;
    const DirectoryStation &station = m_results->station(row);
    rememberOffered(station);
    Q_EMIT stationChosen(station.name, QString::fromUtf8(station.url));
}

void DirectorySearch::rememberOffered(const DirectoryStation &station)
{
    m_offered.insert(QString::fromUtf8(station.url), station.uuid);
}

void DirectorySearch::stationStarted(const QString &address)
{
    const auto found = m_offered.constFind(address);
    if (found != m_offered.constEnd())
        m_directory->countClick(found.value());
}
