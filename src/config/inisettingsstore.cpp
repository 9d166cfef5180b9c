#include "config/inisettingsstore.h"

#include <QDir>
#include <QFileInfo>

#include "config/inifile.h"
#include "platform/folders.h"

namespace
{

QByteArray sectionOf(const QString &application, const QString &section)
{
    return (application + QLatin1Char('\\') + section).toUtf8();
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// The INI reader trims blanks and removes one pair of enclosing quotes.
bool needsQuotes(const QString &text)
{
    if (text.isEmpty())
        return false;
    if (isBlank(text.front()) || isBlank(text.back()))
        return true;
    const QChar first = text.front();
    return text.size() >= 2 && (first == QLatin1Char('"') || first == QLatin1Char('\'')) && text.back() == first;
}

} // namespace

IniSettingsStore::IniSettingsStore() = default;

IniSettingsStore::IniSettingsStore(const QString &path)
    : m_path(path)
{}

QString IniSettingsStore::filePath() const
{
    return m_path.isEmpty() ? platform::programFile(QStringLiteral("settings.ini")) : m_path;
}

QString IniSettingsStore::value(const QString &application, const QString &section, const QString &key,
                                const QString &defaultValue) const
{
    const IniFile file(filePath());
    const QByteArray name = sectionOf(application, section);
    if (!file.contains(name, key.toUtf8()))
        return defaultValue;
    return QString::fromUtf8(file.value(name, key.toUtf8()));
}

bool IniSettingsStore::setValue(const QString &application, const QString &section, const QString &key,
                                const QString &text)
{
    QByteArray stored = text.toUtf8();
    if (needsQuotes(text))
        stored = '"' + stored + '"';
    QDir().mkpath(QFileInfo(filePath()).absolutePath());
    return IniFile(filePath()).setValue(sectionOf(application, section), key.toUtf8(), stored);
}
