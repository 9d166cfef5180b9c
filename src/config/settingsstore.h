#pragma once

#include <QString>

// The per-user settings store: one text value per application, section and key.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored text, or defaultValue when the key holds nothing.
    virtual QString value(const QString &application, const QString &section, const QString &key,
                          const QString &defaultValue = QString()) const = 0;
    // Stores the text; false when it could not be written.
    virtual bool setValue(const QString &application, const QString &section, const QString &key,
                          const QString &text) = 0;
};
