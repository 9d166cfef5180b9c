// Help: the guide opens in the desktop's browser, and in our own window when
// no browser takes it; its pictures and contents links all resolve.
#include <QApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

#include "testenv.h"
#include "ui/helpandtools.h"

namespace
{

QTextBrowser *helpWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("helpWindow") && widget->isVisible())
            return qobject_cast<QTextBrowser *>(widget);
    }
    return nullptr;
}

} // namespace

TEST(Help, OpensInTheBrowserOrElseInOurOwnWindow)
{
    QUrl asked;
    EXPECT_TRUE(helpandtools::openHelp(nullptr, [&](const QUrl &url) {
                    asked = url;
                    return true;
                }).isEmpty());
    EXPECT_EQ(asked, QUrl::fromLocalFile(helpandtools::helpPagePath()));
    EXPECT_EQ(helpWindow(), nullptr) << "the browser has it";

    EXPECT_TRUE(helpandtools::openHelp(nullptr, [](const QUrl &) { return false; }).isEmpty());
    std::unique_ptr<QTextBrowser> window(helpWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->documentTitle(), QStringLiteral("Vorlane user guide"));
    EXPECT_TRUE(window->toPlainText().contains(QStringLiteral("Scheduled recordings")));
}

TEST(Help, EveryPictureAndContentsLinkOfTheGuideResolves)
{
    const QString page = helpandtools::helpPagePath();
    const QString html = QString::fromUtf8(testenv::readFile(page));
    const QString folder = QFileInfo(page).absolutePath();
    int pictures = 0;
    for (const QRegularExpressionMatch &match :
         QRegularExpression(QStringLiteral("<img src=\"([^\"]+)\"")).globalMatch(html)) {
        ++pictures;
        EXPECT_TRUE(QFileInfo(folder + QLatin1Char('/') + match.captured(1)).isFile())
            << match.captured(1).toStdString();
    }
    EXPECT_GE(pictures, 6);
    for (const QRegularExpressionMatch &match :
         QRegularExpression(QStringLiteral("href=\"#([^\"]+)\"")).globalMatch(html))
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"") + match.captured(1) + QLatin1Char('"')))
            << match.captured(1).toStdString();
}
