#include "config/associations.h"

#include <QDir>
#include <QFile>

#include "config/registryeditor.h"
#include "config/textlines.h"
#include "platform/folders.h"
#include "platform/freedesktopregistry.h"
#include "platform/frontend.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace
{

using platform::RegistryRoot;

const QString kPresetExtension = QStringLiteral(".mvr");
const QString kPlaylistExtension = QStringLiteral(".pls");
const QString kPresetClass = QStringLiteral("Ombrex.Preset");
const QString kPresetDescription = QStringLiteral("Ombrex Preset");
const QString kPlaylistClass = QStringLiteral("Ombrex.Playlist");
const QString kPlaylistDescription = QStringLiteral("Ombrex Playlist Link");

// The error a file that cannot be opened raises.
constexpr qint32 kFileAccessError = 75;

[[noreturn]] void raiseFileError(const QString &path)
{
    throw RegistryError(kFileAccessError, path, QStringLiteral("Path/File access error"));
}

QString keyValue(const RegistryEditor &editor, const QString &key)
{
    return editor.keyValue(RegistryRoot::ClassesRoot, QString(), key);
}

void setKeyValue(RegistryEditor &editor, const QString &key, const QString &value)
{
    editor.setKeyValue(RegistryRoot::ClassesRoot, QString(), key, platform::kRegSz, value);
}

void deleteKey(RegistryEditor &editor, const QString &key)
{
    editor.deleteKey(RegistryRoot::ClassesRoot, QString(), key);
}

// Children before their parents: a key that still has subkeys cannot be deleted.
void deleteClass(RegistryEditor &editor, const QString &progId)
{
    deleteKey(editor, progId + QStringLiteral("\\DefaultIcon"));
    deleteKey(editor, progId + QStringLiteral("\\shell\\open\\command"));
    deleteKey(editor, progId + QStringLiteral("\\shell\\open"));
    deleteKey(editor, progId + QStringLiteral("\\shell"));
    deleteKey(editor, progId);
}

void writeClass(RegistryEditor &editor, const QString &progId, const QString &description, const QString &icon,
                const QString &command)
{
    setKeyValue(editor, progId, description);
    setKeyValue(editor, progId + QStringLiteral("\\DefaultIcon"), icon);
    setKeyValue(editor, progId + QStringLiteral("\\shell"), QStringLiteral("open"));
    setKeyValue(editor, progId + QStringLiteral("\\shell\\open\\command"), command);
}

} // namespace

AssociationValues defaultAssociationValues()
{
    AssociationValues values;
    values.presetIcon = platform::shellIconValue(platform::ShellIcon::Preset);
    values.playlistIcon = platform::shellIconValue(platform::ShellIcon::Playlist);
    values.openCommand =
        platform::FreedesktopRegistry::quoteCommandArgument(QDir::toNativeSeparators(platform::executablePath())) +
        QStringLiteral(" \"%1\" -noop");
    values.backupFile = platform::programFile(QStringLiteral("assoc.mcg"));
    return values;
}

bool isPlaylistHandler(const RegistryEditor &editor)
{
    return keyValue(editor, kPlaylistExtension) == kPlaylistClass;
}

void takeOverPlaylists(RegistryEditor &editor, const QString &backupFile)
{
    const QString previous = keyValue(editor, kPlaylistExtension);
    if (!previous.isEmpty() && !writeTextLines(backupFile, {previous}))
        raiseFileError(backupFile);
    setKeyValue(editor, kPlaylistExtension, kPlaylistClass);
}

void giveBackPlaylists(RegistryEditor &editor, const QString &backupFile)
{
    if (!platform::fileExists(backupFile)) {
        setKeyValue(editor, kPlaylistExtension, QString());
        return;
    }
    const std::optional<QStringList> lines = readTextLines(backupFile);
    if (!lines)
        raiseFileError(backupFile);
    setKeyValue(editor, kPlaylistExtension, lines->value(0));
    QFile::remove(backupFile);
}

void removeAssociations(RegistryEditor &editor, const QString &backupFile)
{
    deleteKey(editor, kPresetExtension);
    deleteClass(editor, kPresetClass);
    deleteClass(editor, kPlaylistClass);
    if (isPlaylistHandler(editor))
        giveBackPlaylists(editor, backupFile);
}

void installAssociations(RegistryEditor &editor, const AssociationValues &values)
{
    const bool wasPlaylistHandler = isPlaylistHandler(editor);
    removeAssociations(editor, values.backupFile);
    if (keyValue(editor, kPresetExtension) != kPresetClass)
        setKeyValue(editor, kPresetExtension, kPresetClass);
    if (keyValue(editor, kPresetClass) != kPresetDescription)
        writeClass(editor, kPresetClass, kPresetDescription, values.presetIcon, values.openCommand);
    if (keyValue(editor, kPlaylistClass) != kPlaylistDescription)
        writeClass(editor, kPlaylistClass, kPlaylistDescription, values.playlistIcon, values.openCommand);
    if (wasPlaylistHandler)
        takeOverPlaylists(editor, values.backupFile);
}

namespace
{

template <typename Command> bool runOnSystemRegistry(Command command)
{
    RegistryEditor editor;
    bool ok = true;
    try {
        command(editor);
    } catch (const RegistryError &error) {
        platform::frontEnd().showMessage(error.Description);
        ok = false;
    }
    // Whatever was changed before a failure is made known as well.
    editor.registry().publish();
    return ok;
}

} // namespace

bool installAssociations()
{
    return runOnSystemRegistry([](RegistryEditor &editor) { installAssociations(editor, defaultAssociationValues()); });
}

bool removeAssociations()
{
    return runOnSystemRegistry(
        [](RegistryEditor &editor) { removeAssociations(editor, platform::programFile(QStringLiteral("assoc.mcg"))); });
}
