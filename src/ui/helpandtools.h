#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QMenu;
class QUrl;
class QWidget;

// The entries of the Tools and Help menus that leave the recording workflow.
namespace helpandtools
{

// The companion programs, in the Tools menu's order.
QStringList companionPrograms();
// The file a companion program is looked for under, in the current folder.
QString companionFile(const QString &program);
// Whether the companion program's file is there to be started.
bool companionInstalled(const QString &program);
// Starts the companion program when its file is there; otherwise returns the
// message to show (empty when it started).
QString launchCompanion(const QString &program);

// Keeps a menu's companion entries (those whose data is the program's name)
// enabled only while the program is installed, looked at each time the menu
// opens; a missing one says why in its caption and tip.
void watchCompanions(QMenu *menu);

// The user guide: beside the installed program data
// (<program>/../share/vorlane/help), else in the source tree it was built from.
// Empty when neither has it.
QString helpPagePath();
// Opens the user guide in the desktop's browser, or, when none takes it, in a
// window of our own beside parent; returns the message to show when the guide
// is missing (empty when it opened).
using UrlOpener = std::function<bool(const QUrl &)>;
QString openHelp(QWidget *parent, const UrlOpener &openInBrowser = {});
// The guide in our own window (object name "helpWindow"), deleted on close.
QWidget *showHelpWindow(const QString &path, QWidget *parent);

// The About page's text (HTML): version, licence and the libraries used.
QString aboutHtml();

} // namespace helpandtools
