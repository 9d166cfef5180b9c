#include "app/commandline.h"

#include <QCoreApplication>

AppOptions parseArguments(const QStringList &arguments)
{
    AppOptions options;
    QStringList rest;
    for (const QString &argument : arguments) {
        if (argument == QStringLiteral("--headless"))
            options.headless = true;
        else if (argument == QStringLiteral("--help"))
            options.help = true;
        else if (argument == QStringLiteral("--version"))
            options.version = true;
        else
            rest.append(argument);
    }
    options.commandLine = rest.join(QLatin1Char(' '));
    return options;
}

QString usageText()
{
    return QCoreApplication::translate(
        "CommandLine", "Usage: vorlane [--headless] [FILE [-noop]]\n"
                       "       vorlane [--headless] -installassc | -uninstallassc\n"
                       "\n"
                       "Records Internet radio stations.\n"
                       "\n"
                       "  FILE             a preset (.mvr) to record, or a playlist file (.pls)\n"
                       "  -noop            open the preset in the setup window instead of recording\n"
                       "  -installassc     register Vorlane for preset and playlist files\n"
                       "  -uninstallassc   remove that registration\n"
                       "  --headless       run without windows: messages go to standard error, the\n"
                       "                   recording status to standard output (also used when no\n"
                       "                   display can be reached)\n"
                       "  --help           show this text\n"
                       "  --version        show the version\n"
                       "\n"
                       "Settings and presets live in $VORLANE_HOME, else $XDG_CONFIG_HOME/vorlane.\n"
                       "Interrupt or terminate the program to stop: a running recording is closed first.\n");
}
