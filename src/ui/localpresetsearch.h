#pragma once

#include <QStringList>
#include <QWidget>

class QLineEdit;
class QListWidget;
class StationList;

// The "Local Preset Searcher": finds the preset files of the presets folder
// whose station name holds a keyword, and adds the chosen ones to the station
// list. Not modal: the setup window stays usable while it is open.
class LocalPresetSearch final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LocalPresetSearch)

public:
    explicit LocalPresetSearch(StationList &stations, QWidget *parent = nullptr);
    ~LocalPresetSearch() override;

    // <program folder>/Presets/
    static QString presetsFolder();
    // The presets of the folder whose station name contains the keyword (case
    // ignored), in the folder's listing order. Unreadable entries are skipped
    // without a message.
    static QStringList findPresets(const QString &folder, const QString &keyword);

    // Lists the matches for the keyword box.
    void find();
    // Adds every selected preset to the station list, first to last.
    void addSelected();

private:
    StationList &m_stations;
    QLineEdit *m_keyword = nullptr;
    QListWidget *m_files = nullptr;
};
