#pragma once

#include <QString>

#include <optional>

namespace platform
{

// The root a registry path is taken below. The file associations only ever use
// the classes root (file extensions and the program's document classes).
enum class RegistryRoot
{
    ClassesRoot,
};

// The one value type the program writes: text.
constexpr qint32 kRegSz = 1;

// A tree of keys, each with an optional text default value, addressed by paths
// whose parts are separated by "\" and compared without regard to case. This is
// all the association code needs of the system's registry; on a desktop without
// one, an implementation maps the keys it understands onto that desktop's own
// conventions and refuses the others.
class Registry
{
public:
    virtual ~Registry() = default;

    virtual bool keyExists(RegistryRoot root, const QString &path) const = 0;
    // Creates the key and any missing parent, or opens an existing one; false when
    // the key cannot be held.
    virtual bool createKey(RegistryRoot root, const QString &path) = 0;
    // The key's default value; nothing when the key or its value is missing.
    virtual std::optional<QString> defaultValue(RegistryRoot root, const QString &path) const = 0;
    // Sets the key's default value, creating the key as needed; false on failure.
    virtual bool setDefaultValue(RegistryRoot root, const QString &path, qint32 type, const QString &value) = 0;
    // Deletes a key that has no subkeys; false when it is missing, still has
    // subkeys, or cannot be deleted.
    virtual bool deleteKey(RegistryRoot root, const QString &path) = 0;
    // Makes a batch of changes known to the desktop (its caches); the association
    // commands call it once at their end.
    virtual void publish() {}
};

// The system's registry. Until one is installed with setRegistry, the platform's
// own (on Linux the freedesktop mapping under the user's XDG folders).
Registry &registry();
// Installs a registry (nullptr restores the platform's own). The caller keeps ownership.
void setRegistry(Registry *registry);

// The icon each document class shows, as this platform's registry expects it.
enum class ShellIcon
{
    Preset,
    Playlist,
};
QString shellIconValue(ShellIcon icon);

} // namespace platform
