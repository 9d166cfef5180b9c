#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include "platform/registry.h"

namespace platform
{

// The registry of file associations mapped onto the freedesktop conventions of
// the user's own folders, so that a file manager opens the program's documents:
//
// - an extension key (".mvr", ".pls") stands for a MIME type; its default value
//   is the type's default application in $XDG_CONFIG_HOME/mimeapps.list
//   ([Default Applications]), a document class "P" being the desktop entry
//   "P.desktop". The program's own type (".mvr") is declared by a shared-mime-info
//   package in $XDG_DATA_HOME/mime/packages, which exists exactly while the key
//   does; a type the system declares (".pls", audio/x-scpls) always exists and
//   only its default application is ever changed.
// - a document class key "P" and its subkeys live in the desktop entry
//   $XDG_DATA_HOME/applications/P.desktop, which exists exactly while the class
//   key does. Each key is kept verbatim as an "X-Vorlane-Key..." entry, and the
//   entry's standard keys are derived from them: Comment from the class's value,
//   Icon from "DefaultIcon", Exec from the default verb's "shell\<verb>\command"
//   ("%1" becoming the file), MimeType from the extensions that name the class.
//   A desktop entry of the same name that this mapping did not write is never
//   touched.
//
// Every other key is refused. Nothing outside those files changes.
class FreedesktopRegistry final : public Registry
{
public:
    // Folders from $XDG_DATA_HOME and $XDG_CONFIG_HOME (default ~/.local/share, ~/.config).
    FreedesktopRegistry();
    FreedesktopRegistry(const QString &dataHome, const QString &configHome);

    bool keyExists(RegistryRoot root, const QString &path) const override;
    bool createKey(RegistryRoot root, const QString &path) override;
    std::optional<QString> defaultValue(RegistryRoot root, const QString &path) const override;
    bool setDefaultValue(RegistryRoot root, const QString &path, qint32 type, const QString &value) override;
    bool deleteKey(RegistryRoot root, const QString &path) override;
    // Runs update-mime-database / update-desktop-database on the folders that
    // changed, when those tools are installed.
    void publish() override;

    QString mimeAppsListPath() const;
    QString applicationsFolder() const;
    QString mimeFolder() const;
    // The package that declares the program's own types.
    QString mimePackagePath() const;
    QString desktopEntryPath(const QString &progId) const;

    // A command line with Windows quoting ("C:\x y\p.exe" "%1" -noop) as the Exec
    // value of a desktop entry, "%1" standing for the file.
    static QString execFromCommand(const QString &command);
    // One argument of such a command line, quoted so that execFromCommand gives
    // it back unchanged whatever it holds (quotes and backslashes included).
    static QString quoteCommandArgument(const QString &arg);

private:
    struct Extension
    {
        QString extension;
        QString mimeType;
        QString comment; // only for the program's own types
        bool own;
    };
    // Keys of a desktop entry: "X-Vorlane-Key..." name -> value.
    using EntryKeys = QMap<QString, QString>;

    const Extension *findExtension(const QString &extension) const;
    std::optional<QString> handlerOf(const Extension &ext) const;
    bool setHandler(const Extension &ext, const QString &progId);
    bool writeMimePackage(bool present);
    bool readEntry(const QString &progId, EntryKeys &keys) const;
    bool writeEntry(const QString &progId, const EntryKeys &keys);
    // Rewrites an existing entry of ours so that its MimeType follows the handlers.
    void refreshEntry(const QString &progId);

    QString m_dataHome;
    QString m_configHome;
    bool m_mimeChanged = false;
    bool m_applicationsChanged = false;
    QList<Extension> m_extensions;
};

} // namespace platform
