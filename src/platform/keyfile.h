#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform
{

// A freedesktop key file (desktop entries, mimeapps.list) edited line by line:
// everything the editor is not asked to change (comments, order, other groups,
// unknown keys) is written back untouched, so that removing what we added leaves
// the user's file as it was. Keys are case-sensitive; values are kept raw (see
// escapeValue/unescapeValue for string values).
class KeyFile
{
public:
    // Reads the file (UTF-8). A missing or unreadable file gives an empty editor
    // and false.
    bool load(const QString &path);
    // Writes the file atomically, creating its folder; false on failure.
    bool save(const QString &path) const;

    // True when the file holds nothing but blank lines.
    bool isEmpty() const;

    std::optional<QString> value(const QString &group, const QString &key) const;
    // The keys of a group in file order.
    QStringList keys(const QString &group) const;
    // Replaces the key's value in place, or adds the key at the end of the group,
    // or adds the group at the end of the file.
    void setValue(const QString &group, const QString &key, const QString &value);
    // Removes the key; a group left without any line of its own goes too.
    // Returns whether the key was there.
    bool removeKey(const QString &group, const QString &key);

    // String values of desktop entries escape backslash, newline, tab, carriage
    // return and a leading blank.
    static QString escapeValue(const QString &value);
    static QString unescapeValue(const QString &value);

private:
    // Index of the group's header line, -1 when absent.
    qsizetype findGroup(const QString &group) const;
    // One past the last line belonging to the group that starts at header.
    qsizetype groupEnd(qsizetype header) const;
    qsizetype findKey(const QString &group, const QString &key) const;

    QStringList m_lines;
};

} // namespace platform
