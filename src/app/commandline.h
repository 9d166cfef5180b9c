#pragma once

#include <QString>
#include <QStringList>

// What the arguments ask of the program. Our own options begin with "--" and are
// taken out; the rest, joined by single blanks, is the command line the start-up
// rules see (a preset or playlist path, "-noop", the association flags).
struct AppOptions
{
    bool headless = false;
    bool help = false;
    bool version = false;
    QString commandLine;
};

// Reads the arguments (without the program name).
AppOptions parseArguments(const QStringList &arguments);

// The text --help prints.
QString usageText();
