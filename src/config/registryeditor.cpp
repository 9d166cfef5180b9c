#include "config/registryeditor.h"

namespace
{

// The size of the buffer the value is read into, its terminating NUL included.
constexpr qsizetype kValueBufferSize = 999999;

QString joinKey(const QString &keyName, const QString &subKeyName)
{
    if (keyName.isEmpty())
        return subKeyName;
    if (subKeyName.isEmpty())
        return keyName;
    return keyName + QLatin1Char('\\') + subKeyName;
}

} // namespace

RegistryError::RegistryError(qint32 number, const QString &source, const QString &description)
    : Number(number)
    , Source(source)
    , Description(description)
    , m_what(description.toUtf8())
{}

const char *RegistryError::what() const noexcept
{
    return m_what.constData();
}

RegistryEditor::RegistryEditor()
    : m_registry(platform::registry())
{}

RegistryEditor::RegistryEditor(platform::Registry &registry)
    : m_registry(registry)
{}

QString RegistryEditor::keyValue(platform::RegistryRoot root, const QString &keyName, const QString &subKeyName) const
{
    if (!m_registry.keyExists(root, keyName))
        return {};
    QString value = m_registry.defaultValue(root, joinKey(keyName, subKeyName)).value_or(QString());
    const qsizetype nul = value.indexOf(QChar(0));
    if (nul >= 0)
        value.truncate(nul);
    if (value.size() > kValueBufferSize - 1)
        value.truncate(kValueBufferSize - 1);
    return value;
}

void RegistryEditor::setKeyValue(platform::RegistryRoot root, const QString &keyName, const QString &subKeyName,
                                 qint32 type, const QString &value)
{
    // A value that silently fails to be written would let an installation
    // report success with nothing registered, so both steps raise the error.
    if (!m_registry.createKey(root, keyName) ||
        !m_registry.setDefaultValue(root, joinKey(keyName, subKeyName), type, value)) {
        throw RegistryError(static_cast<qint32>(0x80040065u), QStringLiteral("Machine List: SetKeyValue"),
                            QStringLiteral("Cannot set Registry value"));
    }
}

QString RegistryEditor::deleteKey(platform::RegistryRoot root, const QString &keyName, const QString &subKeyName)
{
    if (m_registry.keyExists(root, keyName))
        m_registry.deleteKey(root, joinKey(keyName, subKeyName));
    return {};
}
