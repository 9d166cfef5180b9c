#include "ui/helpandtools.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QProcess>
#include <QSysInfo>
#include <QTextBrowser>
#include <QUrl>

#include "platform/folders.h"
#include "platform/paths.h"

namespace
{

const QString kHelpFile = QStringLiteral("index.htm");

QString executableSuffix()
{
    return QSysInfo::productType() == QLatin1String("windows") ? QStringLiteral(".exe") : QString();
}

} // namespace

namespace helpandtools
{

QStringList companionPrograms()
{
    return {QStringLiteral("Cutwane"), QStringLiteral("Discwell"), QStringLiteral("Tonshift")};
}

QString companionFile(const QString &program)
{
    return program + executableSuffix();
}

bool companionInstalled(const QString &program)
{
    return platform::fileExists(companionFile(program));
}

QString launchCompanion(const QString &program)
{
    // Looked for by relative name, so a companion installed beside the
    // recorder's working folder is found there.
    const QString file = companionFile(program);
    if (!platform::fileExists(file))
        return QCoreApplication::translate("helpandtools", " Error : %1 not found !").arg(file);
    if (!QProcess::startDetached(QDir::current().absoluteFilePath(file), {}))
        return QCoreApplication::translate("helpandtools", " Error : %1 could not be started !").arg(file);
    return QString();
}

void watchCompanions(QMenu *menu)
{
    menu->setToolTipsVisible(true);
    const auto update = [menu] {
        for (QAction *action : menu->actions()) {
            const QString program = action->data().toString();
            if (program.isEmpty())
                continue;
            const bool installed = companionInstalled(program);
            action->setEnabled(installed);
            action->setText(installed ? program
                                      : QCoreApplication::translate("helpandtools", "%1 (not installed)").arg(program));
            action->setToolTip(
                installed ? QString()
                          : QCoreApplication::translate("helpandtools", "%1 is not installed: %2 was not found in %3")
                                .arg(program, companionFile(program), QDir::toNativeSeparators(QDir::currentPath())));
        }
    };
    QObject::connect(menu, &QMenu::aboutToShow, menu, update);
    update();
}

QString helpPagePath()
{
    // Beside the installed program data, or in the source tree of a build.
    const QString folder = platform::dataFolder();
    const QString candidate = folder + QStringLiteral("/help/") + kHelpFile;
    if (folder.isEmpty() || !platform::fileExists(candidate))
        return QString();
    return QFileInfo(candidate).canonicalFilePath();
}

QString openHelp(QWidget *parent, const UrlOpener &openInBrowser)
{
    const QString path = helpPagePath();
    if (path.isEmpty())
        return QCoreApplication::translate("helpandtools", "Error : %1 not found !").arg(kHelpFile);
    // Without a browser (or xdg-open) the guide still opens, in our own window.
    const QUrl url = QUrl::fromLocalFile(path);
    const bool opened = openInBrowser ? openInBrowser(url) : QDesktopServices::openUrl(url);
    if (!opened)
        showHelpWindow(path, parent);
    return QString();
}

QWidget *showHelpWindow(const QString &path, QWidget *parent)
{
    auto *browser = new QTextBrowser(parent);
    browser->setWindowFlag(Qt::Window);
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setObjectName(QStringLiteral("helpWindow"));
    browser->setWindowTitle(QCoreApplication::translate("helpandtools", "Vorlane Help"));
    // Links within the guide stay in the window; others go to the desktop.
    browser->setOpenExternalLinks(true);
    browser->setSource(QUrl::fromLocalFile(path));
    const QFontMetrics metrics(browser->font());
    browser->resize(metrics.averageCharWidth() * 90, metrics.height() * 40);
    browser->show();
    return browser;
}

QString aboutHtml()
{
    return QCoreApplication::translate(
               "helpandtools", "<h2>Vorlane %1</h2>"
                               "<p>Records Internet radio: one MP3 file per song title, one single file, or one "
                               "dated archive file per day.</p>"
                               "<p><b>Licence:</b> %2</p>"
                               "<p><b>Libraries used:</b></p><ul>"
                               "<li>Qt %3 (Core, Network, Widgets), under the GNU LGPL version 3</li>"
                               "<li>mpg123, under the GNU LGPL version 2.1, to play the stream while listening</li>"
                               "<li>ALSA (libasound), under the GNU LGPL version 2.1, for sound output and the "
                               "volume</li></ul>")
        .arg(QCoreApplication::applicationVersion().isEmpty() ? QStringLiteral(VORLANE_VERSION)
                                                              : QCoreApplication::applicationVersion(),
             QCoreApplication::translate(
                 "helpandtools", "Vorlane's own licence has not been settled yet; the libraries below keep theirs."),
             QString::fromLatin1(qVersion()));
}

} // namespace helpandtools
