#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

#include "platform/registry.h"

// The error setKeyValue raises when a key cannot be written; it stops whatever
// was writing the keys.
class RegistryError final : public std::exception
{
public:
    RegistryError(qint32 number, const QString &source, const QString &description);

    const char *what() const noexcept override;

    qint32 Number;
    QString Source;
    QString Description;

private:
    QByteArray m_what;
};

// Small access class for the keys of the file associations. Every call names a
// root (root), a key below it (keyName, "" for the root itself) and a subkey of
// that key (subKeyName) whose default value is read, written or which is deleted.
class RegistryEditor final
{
public:
    // On the system's registry.
    RegistryEditor();
    explicit RegistryEditor(platform::Registry &registry);

    // Not used by any operation; kept for callers that want to note a key.
    QString key;

    // The default value of keyName\subKeyName; "" when the key or its value is missing.
    QString keyValue(platform::RegistryRoot root, const QString &keyName, const QString &subKeyName) const;
    // Sets the default value of keyName\subKeyName, creating the keys. Raises
    // RegistryError (&H80040065, "Machine List: setKeyValue", "Cannot set Registry
    // value") when the key cannot be created or its value cannot be written.
    void setKeyValue(platform::RegistryRoot root, const QString &keyName, const QString &subKeyName, qint32 type,
                     const QString &value);
    // Deletes keyName\subKeyName; failures are ignored. Always returns "".
    QString deleteKey(platform::RegistryRoot root, const QString &keyName, const QString &subKeyName);

    platform::Registry &registry() const { return m_registry; }

private:
    platform::Registry &m_registry;
};
