#pragma once

#include <QPointer>
#include <QWidget>

#include "ui/messagesink.h"

class LocalPresetSearch;
class QButtonGroup;
class StationList;

// The setup window's top row: a button for each page (the open page's stays
// pressed), then Search, Tools and Help, which it runs itself except the
// station directory search, which belongs to whoever composes the windows.
class PageBar final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageBar)

public:
    PageBar(StationList &stations, MessageSink tell, QWidget *parent = nullptr);
    ~PageBar() override;

    // Presses the page's button (the About page, number 3, has none).
    void setCurrentPage(int page);

    void openLocalSearch();
    void launchCompanion(const QString &program);
    void openHelp();

Q_SIGNALS:
    void pageChosen(int page);
    void directorySearchRequested();

private:
    StationList &m_stations;
    MessageSink m_tell;
    QButtonGroup *m_buttons = nullptr;
    QPointer<LocalPresetSearch> m_localSearch;
};
