#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

// The user's station list as the setup window shows it: the rows of
// rows (name, address, status) and the hidden addresses of addresses,
// two parallel structures that every operation changes together, so that item
// i - 1 of addresses is always the address of entry i.
//
// Entries are numbered from 1, as the window's indexes are; the model rows of
// the view are entry - 1. The model also keeps the window's two status marks
// (the entry recording or playing, and the one being checked) and moves them
// with their stations when entries are removed, so that a mark never names a
// missing entry.
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

    // One row of rows: the entry's text and its two sub-items.
    struct Row
    {
        QString name;
        QString address;
        QString status;
    };

    explicit StationList(QObject *parent = nullptr);
    ~StationList() override;

    // "addresses.txt" in the program folder.
    static QString defaultFilePath();

    // When the file exists, replaces the list with its stations (name line, then
    // address line; a last name without its address keeps an empty address) and
    // returns true. A missing or unreadable file leaves the list as it is.
    bool load(const QString &path = defaultFilePath());
    // Writes every entry, name line then address line, CR LF; an empty list
    // gives an empty file. The file is replaced atomically; false on failure.
    bool save(const QString &path = defaultFilePath()) const;

    int count() const;
    QString name(int entry) const;
    QString address(int entry) const;
    QString status(int entry) const;
    const QList<Row> &rows() const { return m_rows; }
    const QStringList &addresses() const { return m_playList; }

    // Adds an entry at the end; returns its number.
    int appendEntry(const QString &name, const QString &address);
    // Replaces an entry's name and address (its status stays); false when there
    // is no such entry.
    bool editEntry(int entry, const QString &name, const QString &address);
    // Removes the given (selected) entries, from the last to the first.
    void removeEntries(const QList<int> &entries);
    void removeAll();
    void setStatus(int entry, const QString &status);

    // The status texts.
    static QString connectingStatus();
    static QString recordStatus();
    static QString playStatus();

    // The entry now recording or playing, and the one shown as checking; -1 for none.
    int currentPlayIndex() const { return m_currentPlayIndex; }
    int connectingIndex() const { return m_connectingIndex; }
    // A station check started for the selected entry (-1 for none): it shows
    // "Connecting" unless it is the playing entry, and an earlier checking entry
    // other than the playing one loses its mark.
    void markConnecting(int selected);
    // A recording ("Record") or preview ("Play") started for the selected entry
    // (-1 for none): when it is not already the playing entry, it takes the
    // status and the earlier playing entry loses its mark.
    void markPlaying(int selected, const QString &statusText);
    // Forgets both marks without touching any status (the window's start).
    void resetMarks();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    bool isEntry(int entry) const;
    void removeEntry(int entry);
    void emitRowChanged(int entry);

    QList<Row> m_rows;
    QStringList m_playList;
    int m_currentPlayIndex = -1;
    int m_connectingIndex = -1;
};
