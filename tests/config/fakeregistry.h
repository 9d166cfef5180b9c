#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include "platform/registry.h"

// An in-memory registry with the rules of the real one: paths ignore case,
// creating a key creates its parents, and a key with subkeys cannot be deleted.
class FakeRegistry final : public platform::Registry
{
public:
    bool keyExists(platform::RegistryRoot root, const QString &path) const override;
    bool createKey(platform::RegistryRoot root, const QString &path) override;
    std::optional<QString> defaultValue(platform::RegistryRoot root, const QString &path) const override;
    bool setDefaultValue(platform::RegistryRoot root, const QString &path, qint32 type, const QString &value) override;
    bool deleteKey(platform::RegistryRoot root, const QString &path) override;
    void publish() override { ++publishCount; }

    // Every key as "path=value" ("path" alone when it has no value), sorted:
    // two registries in the same state give the same dump.
    QStringList dump() const;

    // Writes below this path fail, as for a user who may not write there.
    QString refuseWritesBelow;
    int publishCount = 0;
    int deletions = 0;

private:
    struct Key
    {
        QString path;
        std::optional<QString> value;
    };
    static QString normalise(const QString &path);
    bool refused(const QString &normalised) const;

    QMap<QString, Key> m_keys;
};
