#pragma once

#include <QString>

// File associations in the user's freedesktop files: preset files (.mvr) always
// open in the program; playlist files (.pls, audio/x-scpls) only when the user
// already had the program as their handler. The handler playlists had before is
// kept in a backup file so that removal can give it back.
//
// What is written:
// - the MIME package mime/packages/vorlane.xml (declares the preset type),
// - the desktop entries applications/Ombrex.Preset.desktop and
//   Ombrex.Playlist.desktop, marked as ours so that an entry of the same name
//   that we did not write is never touched,
// - the [Default Applications] lines of mimeapps.list for both types; every
//   other line of that file stays as it was.
struct AssociationFiles
{
    QString dataHome;   // $XDG_DATA_HOME
    QString configHome; // $XDG_CONFIG_HOME
    QString backupFile; // keeps the earlier playlist handler

    // The user's XDG folders and "assoc.mcg" in the program folder.
    static AssociationFiles forUser();

    QString mimeAppsList() const;
    QString mimePackage() const;
    QString desktopEntry(const QString &name) const;
};

// What the desktop entries name besides their fixed descriptions.
struct AssociationValues
{
    QString icon;
    QString exec; // the Exec value, "%f" standing for the file
};

// For this program: its icon and the running executable with "%f -noop".
AssociationValues defaultAssociationValues();

// One argument of an Exec value, quoted where the desktop would split or
// expand it, so that the desktop gives back exactly this text.
QString execArgument(const QString &argument);

// The two algorithms. Each returns an empty text on success, otherwise what
// went wrong; steps done before a failure stay done, and a backup that cannot
// be written or read stops before the playlist handler changes, so that the
// earlier handler is never lost.
QString installAssociations(const AssociationFiles &files, const AssociationValues &values);
QString removeAssociations(const AssociationFiles &files);

// The command-line commands "-installassc" and "-uninstallassc": for the user,
// rebuilding the desktop's caches afterwards. The result as above, for the
// caller to show.
QString installAssociations();
QString removeAssociations();
