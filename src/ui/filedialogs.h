#pragma once

#include <QString>

#include <functional>

class QWidget;

// Where a file dialog opens: the folder of the path when it exists, else the
// default recording folder, else home (never the process's working folder).
QString dialogFolder(const QString &path);

// The Open or Save Preset File dialog, opened without waiting; it starts at the
// preset last used, else in the presets folder (made when saving), and hands
// the chosen file on.
void choosePresetFile(QWidget *parent, bool saving, const QString &lastPreset,
                      std::function<void(const QString &file)> chosen);
