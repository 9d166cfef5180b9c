#pragma once

#include <QHash>
#include <QList>
#include <QWidget>

#include "sources/stationdirectory.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class DirectoryResults;

// The "Radio Station Search": searches the community station directory by
// keyword or genre with a bit-rate limit and lists the stations found, a page
// at a time. A double click or a drag to the station list offers a station to
// the list. Not modal; errors are shown in the window itself.
class DirectorySearch final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DirectorySearch)

public:
    explicit DirectorySearch(QNetworkAccessManager &network, QWidget *parent = nullptr);
    ~DirectorySearch() override;

    // The genres offered, main genres plain and their sub-genres after "- ".
    static const QStringList &genres();

    StationDirectory &directory() { return *m_directory; }
    // The query the fields ask for (first page).
    DirectoryQuery query() const;

    // Searches with the fields' query (Find), or the last query's next or
    // previous page.
    void find();
    void nextPage();
    void previousPage();

    // The station list started recording or listening to this address: a
    // station offered from here is counted with the directory.
    void stationStarted(const QString &address);

Q_SIGNALS:
    // The user chose this station (a double click): offer it to the list.
    void stationChosen(const QString &name, const QString &address);

private:
    void searchPage(DirectoryQuery query);
    void onSearchTypeChanged();
    void onResults(const QList<DirectoryStation> &stations, const DirectoryQuery &query);
    void onFailed(const QString &message);
    void chooseRow(int row);
    void rememberOffered(const DirectoryStation &station);

    StationDirectory *m_directory = nullptr;
    DirectoryResults *m_results = nullptr;
    QComboBox *m_searchType = nullptr;
    QLineEdit *m_keyword = nullptr;
    QComboBox *m_genre = nullptr;
    QLineEdit *m_bitRate = nullptr;
    QPushButton *m_find = nullptr;
    QPushButton *m_previous = nullptr;
    QPushButton *m_next = nullptr;
    QLabel *m_status = nullptr;
    QTableView *m_table = nullptr;
    DirectoryQuery m_shown; // the query whose page is listed
    bool m_hasPage = false;
    // Address -> directory id of the stations offered to the list this run.
    QHash<QString, QString> m_offered;
};
