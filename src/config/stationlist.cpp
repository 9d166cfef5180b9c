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

// A mark follows its station when the entry `removed` goes.
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
    m_playList.clear();
    for (qsizetype i = 0; i < lines->size(); i += 2) {
        const QString stationName = lines->at(i);
        const QString stationAddress = lines->value(i + 1);
        m_rows.append({stationName, stationAddress, QString()});
        m_playList.append(stationAddress);
    }
    m_currentPlayIndex = -1;
    m_connectingIndex = -1;
    endResetModel();
    return true;
}

bool StationList::save(const QString &path) const
{
    QStringList lines;
    lines.reserve(m_rows.size() * 2);
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        lines.append(m_rows.at(i).name);
        lines.append(m_playList.at(i));
    }
    return writeTextLines(path, lines);
}

int StationList::count() const
{
    return static_cast<int>(m_rows.size());
}

bool StationList::isEntry(int entry) const
{
    return entry >= 1 && entry <= count();
}

QString StationList::name(int entry) const
{
    return isEntry(entry) ? m_rows.at(entry - 1).name : QString();
}

QString StationList::address(int entry) const
{
    return isEntry(entry) ? m_playList.at(entry - 1) : QString();
}

QString StationList::status(int entry) const
{
    return isEntry(entry) ? m_rows.at(entry - 1).status : QString();
}

int StationList::appendEntry(const QString &name, const QString &address)
{
    const int row = count();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.append({name, address, QString()});
    m_playList.append(address);
    endInsertRows();
    return row + 1;
}

bool StationList::editEntry(int entry, const QString &name, const QString &address)
{
    if (!isEntry(entry))
        return false;
    Row &row = m_rows[entry - 1];
    row.name = name;
    row.address = address;
    m_playList[entry - 1] = address;
    emitRowChanged(entry);
    return true;
}

void StationList::removeEntry(int entry)
{
    beginRemoveRows(QModelIndex(), entry - 1, entry - 1);
    m_rows.removeAt(entry - 1);
    m_playList.removeAt(entry - 1);
    m_currentPlayIndex = markAfterRemoval(m_currentPlayIndex, entry);
    m_connectingIndex = markAfterRemoval(m_connectingIndex, entry);
    endRemoveRows();
}

void StationList::removeEntries(const QList<int> &entries)
{
    QList<int> sorted = entries;
    std::sort(sorted.begin(), sorted.end(), std::greater<int>());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (const int entry : std::as_const(sorted)) {
        if (isEntry(entry))
            removeEntry(entry);
    }
}

void StationList::removeAll()
{
    beginResetModel();
    m_rows.clear();
    m_playList.clear();
    m_currentPlayIndex = -1;
    m_connectingIndex = -1;
    endResetModel();
}

void StationList::setStatus(int entry, const QString &status)
{
    if (!isEntry(entry) || m_rows.at(entry - 1).status == status)
        return;
    m_rows[entry - 1].status = status;
    const QModelIndex cell = index(entry - 1, StatusColumn);
    Q_EMIT dataChanged(cell, cell, {Qt::DisplayRole});
}

QString StationList::connectingStatus()
{
    return QStringLiteral("Connecting");
}

QString StationList::recordStatus()
{
    return QStringLiteral("Record");
}

QString StationList::playStatus()
{
    return QStringLiteral("Play");
}

void StationList::markConnecting(int selected)
{
    if (!isEntry(selected))
        selected = -1;
    if (selected != -1 && selected != m_currentPlayIndex)
        setStatus(selected, connectingStatus());
    if (m_connectingIndex != -1 && m_connectingIndex != selected && m_connectingIndex != m_currentPlayIndex)
        setStatus(m_connectingIndex, QString());
    m_connectingIndex = selected;
}

void StationList::markPlaying(int selected, const QString &statusText)
{
    if (!isEntry(selected))
        selected = -1;
    if (selected == m_currentPlayIndex)
        return;
    if (selected != -1)
        setStatus(selected, statusText);
    if (m_currentPlayIndex != -1)
        setStatus(m_currentPlayIndex, QString());
    m_currentPlayIndex = selected;
}

void StationList::resetMarks()
{
    m_currentPlayIndex = -1;
    m_connectingIndex = -1;
}

void StationList::emitRowChanged(int entry)
{
    Q_EMIT dataChanged(index(entry - 1, NameColumn), index(entry - 1, StatusColumn), {Qt::DisplayRole});
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
    if (!index.isValid() || index.row() >= count() || role != Qt::DisplayRole)
        return {};
    const Row &row = m_rows.at(index.row());
    switch (index.column()) {
    case NameColumn:
        return row.name;
    case UrlColumn:
        return row.address;
    case StatusColumn:
        return row.status;
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
        return QStringLiteral("Name");
    case UrlColumn:
        return QStringLiteral("URL");
    case StatusColumn:
        return QStringLiteral("Status");
    default:
        return {};
    }
}
