#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

// The user's station list as the setup window shows it: rows of name and
// address (and a status column), numbered from 0.
//
// The model also keeps two marks, the row recording or playing and the one
// being checked, and moves them with their stations when rows are removed, so
// that a mark never names a missing row. A row's mark is its MarkRole; how a
// mark reads is for the window to say.
class StationList final : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationList)

public:
    enum Column
    {
        NameColumn,
        UrlColumn,
        StatusColumn,
        ColumnCount
    };

    enum class Mark
    {
        None,
        Connecting,
        Recording,
        Playing,
    };
    // The data role of a row's Mark (as an int), in every column.
    static constexpr int MarkRole = Qt::UserRole + 1;

    struct Row
    {
        QString name;
        QString address;
        Mark mark = Mark::None;
    };

    explicit StationList(QObject *parent = nullptr);
    ~StationList() override;

    // "addresses.txt" in the program folder.
    static QString defaultFilePath();

    // When the file exists, replaces the list with its stations (name line, then
    // address line; a last name without its address keeps an empty address) and
    // returns true. A missing or unreadable file leaves the list as it is.
    bool load(const QString &path = defaultFilePath());
    // Writes every row, name line then address line, CR LF; an empty list
    // gives an empty file. The file is replaced atomically; false on failure.
    bool save(const QString &path = defaultFilePath()) const;

    int count() const;
    // A row's values; empty (Mark::None) for a row that does not exist.
    QString name(int row) const;
    QString address(int row) const;
    Mark mark(int row) const;
    // The first row with exactly this address, or -1.
    int findAddress(const QString &address) const;

    // Adds a row at the end; returns its number.
    int appendEntry(const QString &name, const QString &address);
    // Replaces a row's name and address (its mark stays); false when there is
    // no such row.
    bool editEntry(int row, const QString &name, const QString &address);
    // Removes the given (selected) rows, from the last to the first.
    void removeEntries(const QList<int> &rows);
    void removeAll();
    void setMark(int row, Mark mark);

    // The row now recording or playing, and the one shown as checking; -1 for none.
    int playingRow() const { return m_playingRow; }
    int connectingRow() const { return m_connectingRow; }
    // A station check started for the selected row (-1 for none): it is marked
    // Connecting unless it is the playing row, and an earlier checking row
    // other than the playing one loses its mark.
    void markConnecting(int selected);
    // A recording (Recording) or preview (Playing) started for the selected row
    // (-1 for none): when it is not already the playing row, it takes the mark
    // and the earlier playing row loses its mark.
    void markPlaying(int selected, Mark mark);
    // Forgets both marks without touching any row (the window's start).
    void resetMarks();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    bool isRow(int row) const;
    void removeRow(int row);
    void emitRowChanged(int row);

    QList<Row> m_rows;
    int m_playingRow = -1;
    int m_connectingRow = -1;
};
