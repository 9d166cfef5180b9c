#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

#include "platform/registry.h"

// The error SetKeyValue raises when a key cannot be written; it stops whatever
// was writing the keys.
class RegEditError final : public std::exception
{
public:
    RegEditError(qint32 number, const QString &source, const QString &description);

    const char *what() const noexcept override;

    qint32 Number;
    QString Source;
    QString Description;

private:
    QByteArray m_what;
};

// Small access class for the keys of the file associations. Every call names a
// root (hPath), a key below it (KeyName, "" for the root itself) and a subkey of
// that key (SubKeyName) whose default value is read, written or which is deleted.
class clsRegEdit final
{
public:
    // On the system's registry.
    clsRegEdit();
    explicit clsRegEdit(platform::Registry &registry);

    // Not used by any operation; kept for callers that want to note a key.
    QString RegKey;

    // The default value of KeyName\SubKeyName; "" when the key or its value is missing.
    QString GetKeyValue(platform::RegistryRoot hPath, const QString &KeyName, const QString &SubKeyName) const;
    // Sets the default value of KeyName\SubKeyName, creating the keys. Raises
    // RegEditError (&H80040065, "Machine List: SetKeyValue", "Cannot set Registry
    // value") when the key cannot be created or its value cannot be written.
    void SetKeyValue(platform::RegistryRoot hPath, const QString &KeyName, const QString &SubKeyName, qint32 sType,
                     const QString &strValue);
    // Deletes KeyName\SubKeyName; failures are ignored. Always returns "".
    QString DeleteKey(platform::RegistryRoot hPath, const QString &KeyName, const QString &SubKeyName);

    platform::Registry &registry() const { return m_registry; }

private:
    platform::Registry &m_registry;
};
