#pragma once

#include <QString>

class RegistryEditor;

// File associations: preset files (.mvr) always open in the program; playlist
// files (.pls) only when the user already had the program as their handler.
// The handler .pls had before is kept in a backup file so that removal can give
// it back.

// What an installation writes besides the fixed class names and descriptions.
struct AssociationValues
{
    QString presetIcon;   // "Ombrex.Preset\DefaultIcon"
    QString playlistIcon; // "Ombrex.Playlist\DefaultIcon"
    QString openCommand;  // "shell\open\command" of both classes
    QString backupFile;   // keeps the earlier .pls handler
};

// For this program: the platform's icons; the running executable, quoted, then
// "%1" quoted and "-noop"; "assoc.mcg" in the program folder.
AssociationValues defaultAssociationValues();

// True when ".pls" names "Ombrex.Playlist".
bool isPlaylistHandler(const RegistryEditor &editor);
// Keeps the current .pls handler (when there is one) in the backup file, then
// makes the program the handler.
void takeOverPlaylists(RegistryEditor &editor, const QString &backupFile);
// Restores the handler kept in the backup file and deletes the file; without a
// backup, .pls is left without a handler.
void giveBackPlaylists(RegistryEditor &editor, const QString &backupFile);

// The two algorithms on any registry. Both may raise RegistryError: a key that
// cannot be written, or a backup file that cannot be written or read (then .pls
// is not touched, so that the earlier handler is never lost).
void removeAssociations(RegistryEditor &editor, const QString &backupFile);
void installAssociations(RegistryEditor &editor, const AssociationValues &values);

// The command-line commands "-installassc" and "-uninstallassc": on the system's
// registry with the default values, telling the desktop afterwards. A failure is
// shown to the user (message box) and gives false.
bool installAssociations();
bool removeAssociations();
