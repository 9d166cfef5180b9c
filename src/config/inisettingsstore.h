#pragma once

#include <QString>

#include "config/settingsstore.h"

// The settings store: the INI file "settings.ini" in the program folder, one
// section per application and section, named "application\section", e.g.
//
//   [Kestrane\Registration]
//   MP3Path=/home/me/Music/
//
// Every write replaces the file atomically. Values are UTF-8; a value that the
// INI reader would alter (blanks at either end, or enclosed in quotes) is
// written inside double quotes so that it reads back exactly.
class IniSettingsStore final : public SettingsStore
{
public:
    // On "settings.ini" in the program folder (as it is at each call).
    IniSettingsStore();
    // On the INI file at path.
    explicit IniSettingsStore(const QString &path);

    QString filePath() const;

    QString value(const QString &application, const QString &section, const QString &key,
                  const QString &defaultValue = QString()) const override;
    bool setValue(const QString &application, const QString &section, const QString &key, const QString &text) override;

private:
    QString m_path;
};
