#include "config/associations.h"

#include <QDir>
#include <QFile>

#include "config/clsregedit.h"
#include "config/textlines.h"
#include "platform/folders.h"
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
    throw RegEditError(kFileAccessError, path, QStringLiteral("Path/File access error"));
}

QString keyValue(const clsRegEdit &regEdit, const QString &key)
{
    return regEdit.GetKeyValue(RegistryRoot::ClassesRoot, QString(), key);
}

void setKeyValue(clsRegEdit &regEdit, const QString &key, const QString &value)
{
    regEdit.SetKeyValue(RegistryRoot::ClassesRoot, QString(), key, platform::kRegSz, value);
}

void deleteKey(clsRegEdit &regEdit, const QString &key)
{
    regEdit.DeleteKey(RegistryRoot::ClassesRoot, QString(), key);
}

// Children before their parents: a key that still has subkeys cannot be deleted.
void deleteClass(clsRegEdit &regEdit, const QString &progId)
{
    deleteKey(regEdit, progId + QStringLiteral("\\DefaultIcon"));
    deleteKey(regEdit, progId + QStringLiteral("\\shell\\open\\command"));
    deleteKey(regEdit, progId + QStringLiteral("\\shell\\open"));
    deleteKey(regEdit, progId + QStringLiteral("\\shell"));
    deleteKey(regEdit, progId);
}

void writeClass(clsRegEdit &regEdit, const QString &progId, const QString &description, const QString &icon,
                const QString &command)
{
    setKeyValue(regEdit, progId, description);
    setKeyValue(regEdit, progId + QStringLiteral("\\DefaultIcon"), icon);
    setKeyValue(regEdit, progId + QStringLiteral("\\shell"), QStringLiteral("open"));
    setKeyValue(regEdit, progId + QStringLiteral("\\shell\\open\\command"), command);
}

} // namespace

AssociationValues defaultAssociationValues()
{
    AssociationValues values;
    values.strPresetIcon = platform::shellIconValue(platform::ShellIcon::Preset);
    values.strPlaylistIcon = platform::shellIconValue(platform::ShellIcon::Playlist);
    values.strOpenCommand =
        QLatin1Char('"') + QDir::toNativeSeparators(platform::executablePath()) + QStringLiteral("\" \"%1\" -noop");
    values.strBackupFile = platform::programFile(QStringLiteral("assoc.mcg"));
    return values;
}

bool IsPlaylistHandler(const clsRegEdit &regEdit)
{
    return keyValue(regEdit, kPlaylistExtension) == kPlaylistClass;
}

void TakeOverPlaylists(clsRegEdit &regEdit, const QString &strBackupFile)
{
    const QString previous = keyValue(regEdit, kPlaylistExtension);
    if (!previous.isEmpty() && !writeTextLines(strBackupFile, {previous}))
        raiseFileError(strBackupFile);
    setKeyValue(regEdit, kPlaylistExtension, kPlaylistClass);
}

void GiveBackPlaylists(clsRegEdit &regEdit, const QString &strBackupFile)
{
    if (!platform::fileExists(strBackupFile)) {
        setKeyValue(regEdit, kPlaylistExtension, QString());
        return;
    }
    const std::optional<QStringList> lines = readTextLines(strBackupFile);
    if (!lines)
        raiseFileError(strBackupFile);
    setKeyValue(regEdit, kPlaylistExtension, lines->value(0));
    QFile::remove(strBackupFile);
}

void RemoveAssociations(clsRegEdit &regEdit, const QString &strBackupFile)
{
    deleteKey(regEdit, kPresetExtension);
    deleteClass(regEdit, kPresetClass);
    deleteClass(regEdit, kPlaylistClass);
    if (IsPlaylistHandler(regEdit))
        GiveBackPlaylists(regEdit, strBackupFile);
}

void InstallAssociations(clsRegEdit &regEdit, const AssociationValues &values)
{
    const bool wasPlaylistHandler = IsPlaylistHandler(regEdit);
    RemoveAssociations(regEdit, values.strBackupFile);
    if (keyValue(regEdit, kPresetExtension) != kPresetClass)
        setKeyValue(regEdit, kPresetExtension, kPresetClass);
    if (keyValue(regEdit, kPresetClass) != kPresetDescription)
        writeClass(regEdit, kPresetClass, kPresetDescription, values.strPresetIcon, values.strOpenCommand);
    if (keyValue(regEdit, kPlaylistClass) != kPlaylistDescription)
        writeClass(regEdit, kPlaylistClass, kPlaylistDescription, values.strPlaylistIcon, values.strOpenCommand);
    if (wasPlaylistHandler)
        TakeOverPlaylists(regEdit, values.strBackupFile);
}

namespace
{

template <typename Command> bool runOnSystemRegistry(Command command)
{
    clsRegEdit regEdit;
    bool ok = true;
    try {
        command(regEdit);
    } catch (const RegEditError &error) {
        platform::frontEnd().showMessage(error.Description);
        ok = false;
    }
    // Whatever was changed before a failure is made known as well.
    regEdit.registry().publish();
    return ok;
}

} // namespace

bool InstallAssociations()
{
    return runOnSystemRegistry([](clsRegEdit &regEdit) { InstallAssociations(regEdit, defaultAssociationValues()); });
}

bool RemoveAssociations()
{
    return runOnSystemRegistry(
        [](clsRegEdit &regEdit) { RemoveAssociations(regEdit, platform::programFile(QStringLiteral("assoc.mcg"))); });
}
