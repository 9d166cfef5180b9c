#pragma once

#include <QByteArray>
#include <QString>

// One INI file: section and key names are
// matched without regard to case, values are trimmed and cut at 749 bytes when read, and a write creates the
// file, the section or the key as needed while keeping every other line (comments,
// unknown lines) as it was. Files are 8-bit text; they are read with LF or CR LF
// line ends and always written with CR LF. Every write replaces the file
// atomically, so a crash never leaves half an INI file behind.
//
// The file is read afresh on every call; nothing is cached, so two objects (or two
// processes) on the same path always see each other's writes.
class IniFile final
{
public:
    explicit IniFile(const QString &path);

    const QString &path() const { return m_path; }

    // The value of key in section, or an empty array when the file, the section or
    // the key is missing. Blanks around the value and one pair of matching quotes
    // are removed; the result is at most kMaxValueLength bytes.
    QByteArray value(const QByteArray &section, const QByteArray &key) const;
    // True when the key exists in the section (even with an empty value).
    bool contains(const QByteArray &section, const QByteArray &key) const;

    // Stores the value, creating file, section and key as needed. A value is one
    // line: it is cut at its first CR or LF. Returns false when the file could not
    // be read or written; the file on disk is then unchanged.
    bool setValue(const QByteArray &section, const QByteArray &key, const QByteArray &value);

    // The longest value a read returns (the profile functions read into 750 bytes
    // including the terminating NUL).
    static constexpr int kMaxValueLength = 749;

private:
    QString m_path;
};
