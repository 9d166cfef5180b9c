#pragma once

#include <QWidget>

class QMenu;
class QMimeData;
class QTreeView;
class StationList;

// The Radio page: the station list with its buttons and pop-up menu, editing
// through the Add/Edit Station dialog, removal and drops. What a chosen
// station does next (its check, a recording) is the window's, through the
// signals.
class StationListPanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationListPanel)

public:
    explicit StationListPanel(StationList &stations, QWidget *parent = nullptr);
    ~StationListPanel() override;

    // The selected row, or -1.
    int selectedRow() const;
    // Selects a row without reporting it as the user's choice.
    void selectRow(int row);
    QTreeView *view() const { return m_view; }

    // Whether the pop-up menu offers Play and Record.
    void setStartEnabled(bool enabled) { m_startEnabled = enabled; }

    void addStation() { addStationFor(QString()); }
    // Opens the Add Station dialog with the address (and a name, when known)
    // filled in; a confirmed dialog adds the row (or selects the one already
    // holding the address) and reports it through stationAdded.
    void addStationFor(const QString &address, const QString &name = QString());
    void editStation();
    void removeStations();
    // Asks first: there is no undo.
    void removeAllStations();

Q_SIGNALS:
    // The user clicked, activated or moved to a row.
    void stationActivated(int row);
    // A confirmed Add Station dialog; the row is selected.
    void stationAdded(const QString &address);
    // A confirmed Edit Station dialog changed the row's address.
    void stationEdited(int row, const QString &oldAddress, const QString &newAddress);
    // Text, links or files were dropped onto the list.
    void dropped(const QMimeData *mime);
    void previewRequested();
    void recordRequested();
    void scheduleRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMenu(const QPoint &position);

    StationList &m_stations;
    QTreeView *m_view = nullptr;
    QMenu *m_menu = nullptr;
    bool m_quietSelection = false;
    bool m_startEnabled = false;
};
