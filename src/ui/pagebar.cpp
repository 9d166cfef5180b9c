#include "ui/pagebar.h"

#include <QAction>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include "ui/helpandtools.h"
#include "ui/localpresetsearch.h"
#include "ui/themedicon.h"

PageBar::PageBar(StationList &stations, MessageSink tell, QWidget *parent)
    : QWidget(parent)
    , m_stations(stations)
    , m_tell(std::move(tell))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    const char *const captions[] = {QT_TR_NOOP("&Radio"), QT_TR_NOOP("Ad&vanced Options"), QT_TR_NOOP("Schedu&ler")};
    m_buttons = new QButtonGroup(this);
    for (int page = 0; page < 3; ++page) {
        auto *button = new QPushButton(tr(captions[page]), this);
        button->setObjectName(QStringLiteral("page") + QString::number(page));
        // The open page's button stays pressed, and its caption is bold: some
        // dark palettes draw a pressed button just like the others.
        button->setCheckable(true);
        connect(button, &QPushButton::toggled, button, [this, button](bool checked) {
            QFont font = button->font();
            font.setBold(checked);
            button->setFont(font);
            // The wider caption changes the row: the window above lays out again.
            updateGeometry();
        });
        m_buttons->addButton(button, page);
        connect(button, &QPushButton::clicked, this, [this, page] { Q_EMIT pageChosen(page); });
        row->addWidget(button);
    }
    row->addStretch(1);
    const auto toolButton = [this](const QString &text, const QIcon &icon, const char *name) {
        auto *button = new QToolButton(this);
        button->setText(text);
        button->setIcon(icon);
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    QToolButton *search = toolButton(tr("Search"), themedIcon("edit-find", "search"), "searchButton");
    search->setPopupMode(QToolButton::InstantPopup);
    QToolButton *tools = toolButton(tr("Tools"), themedIcon("applications-utilities", "tools"), "toolsButton");
    tools->setPopupMode(QToolButton::InstantPopup);
    QToolButton *help = toolButton(tr("Help"), themedIcon("help-contents", "help"), "helpButton");
    connect(help, &QToolButton::clicked, this, &PageBar::openHelp);
    row->addWidget(search);
    row->addWidget(tools);
    row->addWidget(help);

    auto *searchMenu = new QMenu(this);
    connect(searchMenu->addAction(tr("ShoutCast")), &QAction::triggered, this, &PageBar::directorySearchRequested);
    connect(searchMenu->addAction(tr("Presets")), &QAction::triggered, this, &PageBar::openLocalSearch);
    search->setMenu(searchMenu);
    auto *toolsMenu = new QMenu(this);
    toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    for (const QString &program : {QStringLiteral("Cutwane"), QStringLiteral("Tonshift"), QStringLiteral("Discwell")}) {
        QAction *action = toolsMenu->addAction(program);
        action->setData(program);
        connect(action, &QAction::triggered, this, [this, program] { launchCompanion(program); });
    }
    helpandtools::watchCompanions(toolsMenu);
    tools->setMenu(toolsMenu);
}

PageBar::~PageBar()
{
    // A window of its own, not a child: it goes with the setup window.
    if (m_localSearch)
        delete m_localSearch.data();
}

void PageBar::setCurrentPage(int page)
{
    m_buttons->setExclusive(false);
    for (QAbstractButton *button : m_buttons->buttons())
        button->setChecked(m_buttons->id(button) == page);
    m_buttons->setExclusive(true);
}

void PageBar::openLocalSearch()
{
    if (!m_localSearch) {
        m_localSearch = new LocalPresetSearch(m_stations);
        m_localSearch->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_localSearch->show();
    m_localSearch->raise();
    m_localSearch->activateWindow();
}

void PageBar::launchCompanion(const QString &program)
{
    const QString problem = helpandtools::launchCompanion(program);
    if (!problem.isEmpty())
        m_tell(problem);
}

void PageBar::openHelp()
{
    const QString problem = helpandtools::openHelp(window());
    if (!problem.isEmpty())
        m_tell(problem);
}
