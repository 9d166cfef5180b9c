#include "config/stationlist.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include "config/textlines.h"
#include "platform/folders.h"
#include "platform/paths.h"

namespace
{

// A station list copied from a system that ignores case in file names may be
// spelt differently ("Playlist.txt"); it is the same file.
QString existingSpelling(const QString &path)
{
    if (platform::fileExists(path))
        return path;
    const QFileInfo info(path);
    const QStringList names = QDir(info.absolutePath()).entryList(QDir::Files);
    for (const QString &name : names) {
        if (name.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return info.absolutePath() + QLatin1Char('/') + name;
    }
    return {};
}

// A mark follows its station when the row `removed` goes.
int markAfterRemoval(int mark, int removed)
{
    if (mark == removed)
        return -1;
    return mark > removed ? mark - 1 : mark;
}

} // namespace

StationList::StationList(QObject *parent)
    : QAbstractTableModel(parent)
{}

StationList::~StationList() = default;

QString StationList::defaultFilePath()
{
    return platform::programFile(QStringLiteral("PlayList.txt"));
}

bool StationList::load(const QString &path)
{
    const QString existing = existingSpelling(path);
    if (existing.isEmpty())
        return false;
    const std::optional<QStringList> lines = readTextLines(existing);
    if (!lines)
        return false;

    beginResetModel();
    m_rows.clear();
    for (qsizetype i = 0; i < lines->size(); i += 2)
        m_rows.append({lines->at(i), lines->value(i + 1), Mark::None});
    m_playingRow = -1;
    m_connectingRow = -1;
    endResetModel();
    return true;
}

bool StationList::save(const QString &path) const
{
    QStringList lines;
    lines.reserve(m_rows.size() * 2);
    for (const Row &row : m_rows) {
        lines.append(row.name);
        lines.append(row.address);
    }
    return writeTextLines(path, lines);
}

int StationList::count() const
{
    return static_cast<int>(m_rows.size());
}

bool StationList::isRow(int row) const
{
    return row >= 0 && row < count();
}

QString StationList::name(int row) const
{
    return isRow(row) ? m_rows.at(row).name : QString();
}

QString StationList::address(int row) const
{
    return isRow(row) ? m_rows.at(row).address : QString();
}

StationList::Mark StationList::mark(int row) const
{
    return isRow(row) ? m_rows.at(row).mark : Mark::None;
}

int StationList::findAddress(const QString &address) const
{
    for (int row = 0; row < count(); ++row) {
        if (m_rows.at(row).address == address)
            return row;
    }
    return -1;
}

int StationList::appendEntry(const QString &name, const QString &address)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.append({name, address, Mark::None});
    endInsertRows();
    return row;
}

bool StationList::editEntry(int row, const QString &name, const QString &address)
{
    if (!isRow(row))
        return false;
    m_rows[row].name = name;
    m_rows[row].address = address;
    emitRowChanged(row);
    return true;
}

void StationList::removeRow(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    m_playingRow = markAfterRemoval(m_playingRow, row);
    m_connectingRow = markAfterRemoval(m_connectingRow, row);
    endRemoveRows();
}

void StationList::removeEntries(const QList<int> &rows)
{
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end(), std::greater<int>());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (const int row : std::as_const(sorted)) {
        if (isRow(row))
            removeRow(row);
    }
}

void StationList::removeAll()
{
    beginResetModel();
    m_rows.clear();
    m_playingRow = -1;
    m_connectingRow = -1;
    endResetModel();
}

void StationList::setMark(int row, Mark mark)
{
    if (!isRow(row) || m_rows.at(row).mark == mark)
        return;
    m_rows[row].mark = mark;
    emitRowChanged(row);
}

void StationList::markConnecting(int selected)
{
    if (!isRow(selected))
        selected = -1;
    if (selected != -1 && selected != m_playingRow)
        setMark(selected, Mark::Connecting);
    if (m_connectingRow != -1 && m_connectingRow != selected && m_connectingRow != m_playingRow)
        setMark(m_connectingRow, Mark::None);
    m_connectingRow = selected;
}

void StationList::markPlaying(int selected, Mark mark)
{
    if (!isRow(selected))
        selected = -1;
    if (selected == m_playingRow)
        return;
    if (selected != -1)
        setMark(selected, mark);
    if (m_playingRow != -1)
        setMark(m_playingRow, Mark::None);
    m_playingRow = selected;
}

void StationList::resetMarks()
{
    m_playingRow = -1;
    m_connectingRow = -1;
}

void StationList::emitRowChanged(int row)
{
    Q_EMIT dataChanged(index(row, NameColumn), index(row, StatusColumn), {Qt::DisplayRole, MarkRole});
}

int StationList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int StationList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant StationList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !isRow(index.row()))
        return {};
    const Row &row = m_rows.at(index.row());
    if (role == MarkRole)
        return static_cast<int>(row.mark);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case NameColumn:
        return row.name;
    case UrlColumn:
        return row.address;
    default:
        return {};
    }
}

QVariant StationList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return tr("Name");
    case UrlColumn:
        return tr("URL");
    case StatusColumn:
        return tr("Status");
    default:
        return {};
    }
}
