#include "config/clsregedit.h"

namespace
{

// The size of the buffer the value is read into, its terminating NUL included.
constexpr qsizetype kValueBufferSize = 999999;

QString joinKey(const QString &KeyName, const QString &SubKeyName)
{
    if (KeyName.isEmpty())
        return SubKeyName;
    if (SubKeyName.isEmpty())
        return KeyName;
    return KeyName + QLatin1Char('\\') + SubKeyName;
}

} // namespace

RegEditError::RegEditError(qint32 number, const QString &source, const QString &description)
    : Number(number)
    , Source(source)
    , Description(description)
    , m_what(description.toUtf8())
{}

const char *RegEditError::what() const noexcept
{
    return m_what.constData();
}

clsRegEdit::clsRegEdit()
    : m_registry(platform::registry())
{}

clsRegEdit::clsRegEdit(platform::Registry &registry)
    : m_registry(registry)
{}

QString clsRegEdit::GetKeyValue(platform::RegistryRoot hPath, const QString &KeyName, const QString &SubKeyName) const
{
    if (!m_registry.keyExists(hPath, KeyName))
        return {};
    QString value = m_registry.defaultValue(hPath, joinKey(KeyName, SubKeyName)).value_or(QString());
    const qsizetype nul = value.indexOf(QChar(0));
    if (nul >= 0)
        value.truncate(nul);
    if (value.size() > kValueBufferSize - 1)
        value.truncate(kValueBufferSize - 1);
    return value;
}

void clsRegEdit::SetKeyValue(platform::RegistryRoot hPath, const QString &KeyName, const QString &SubKeyName,
                             qint32 sType, const QString &strValue)
{
    // A value that silently fails to be written would let an installation
    // report success with nothing registered, so both steps raise the error.
    if (!m_registry.createKey(hPath, KeyName) ||
        !m_registry.setDefaultValue(hPath, joinKey(KeyName, SubKeyName), sType, strValue)) {
        throw RegEditError(static_cast<qint32>(0x80040065u), QStringLiteral("Machine List: SetKeyValue"),
                           QStringLiteral("Cannot set Registry value"));
    }
}

QString clsRegEdit::DeleteKey(platform::RegistryRoot hPath, const QString &KeyName, const QString &SubKeyName)
{
    if (m_registry.keyExists(hPath, KeyName))
        m_registry.deleteKey(hPath, joinKey(KeyName, SubKeyName));
    return {};
}
