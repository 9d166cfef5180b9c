#include "ui/localpresetsearch.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/preset.h"
#include "config/stationlist.h"
#include "platform/folders.h"
#include "platform/frontend.h"
#include "platform/paths.h"

namespace
{

// Preset loading reports every bad line; a search over many files must not.
class QuietFrontEnd final : public platform::FrontEnd
{
public:
    void showMessage(const QString &) override {}
    void captionChanged(const QString &) override {}
    void trayChanged(const platform::TrayState &) override {}
    void exitProcess(int) override {}
};

// What a preset holds up to its first bad line, if it has one.
Preset loadQuietly(const QString &path)
{
    platform::FrontEnd &previous = platform::frontEnd();
    QuietFrontEnd quiet;
    platform::setFrontEnd(&quiet);
    Preset preset;
    preset.load(path);
    platform::setFrontEnd(&previous);
    return preset;
}

} // namespace

LocalPresetSearch::LocalPresetSearch(StationList &stations, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_stations(stations)
{
    setWindowTitle(tr("Local Preset Searcher"));
    setObjectName(QStringLiteral("localPresetSearch"));

    m_keyword = new QLineEdit(QStringLiteral("World"), this);
    m_keyword->setObjectName(QStringLiteral("keyword"));
    auto *keywordLabel = new QLabel(tr("&Enter Keyword :"), this);
    keywordLabel->setBuddy(m_keyword);
    auto *find = new QPushButton(tr("&Find"), this);
    find->setObjectName(QStringLiteral("find"));
    find->setDefault(true);

    auto *searchBox = new QGroupBox(tr("Search"), this);
    auto *searchRow = new QHBoxLayout(searchBox);
    searchRow->addWidget(keywordLabel);
    searchRow->addWidget(m_keyword, 1);
    searchRow->addWidget(find);

    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("files"));
    m_files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto *filesLabel = new QLabel(tr("Double-click to Add an item to Station List"), this);
    filesLabel->setBuddy(m_files);
    auto *add = new QPushButton(tr("&Add Station"), this);
    add->setObjectName(QStringLiteral("add"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(searchBox);
    layout->addWidget(filesLabel);
    layout->addWidget(m_files, 1);
    layout->addWidget(add, 0, Qt::AlignRight);
    resize(520, 360);

    connect(find, &QPushButton::clicked, this, &LocalPresetSearch::find);
    connect(m_keyword, &QLineEdit::returnPressed, this, &LocalPresetSearch::find);
    connect(add, &QPushButton::clicked, this, &LocalPresetSearch::addSelected);
    connect(m_files, &QListWidget::itemDoubleClicked, this, &LocalPresetSearch::addSelected);
}

LocalPresetSearch::~LocalPresetSearch() = default;

QString LocalPresetSearch::presetsFolder()
{
    return platform::withTrailingSeparator(platform::programFile(QStringLiteral("Presets")));
}

QStringList LocalPresetSearch::findPresets(const QString &folder, const QString &keyword)
{
    QStringList found;
    const QDir dir(folder);
    const QStringList entries = dir.entryList(
        {QStringLiteral("*.mvr")}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
    const QString wanted = keyword.toUpper();
    for (const QString &entry : entries) {
        const QString path = dir.filePath(entry);
        // A folder named like a preset is no preset.
        if (!platform::fileExists(path))
            continue;
        const QString name = loadQuietly(path).stationTitle.toUpper();
        if (!name.isEmpty() && name.contains(wanted))
            found.append(path);
    }
    return found;
}

void LocalPresetSearch::find()
{
    m_files->clear();
    m_files->addItems(findPresets(presetsFolder(), m_keyword->text()));
}

void LocalPresetSearch::addSelected()
{
    for (int row = 0; row < m_files->count(); ++row) {
        QListWidgetItem *item = m_files->item(row);
        if (!item->isSelected())
            continue;
        const Preset preset = loadQuietly(item->text());
        m_stations.appendEntry(preset.stationTitle, preset.playlistAddress);
    }
}
