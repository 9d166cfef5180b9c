#include "config/inifile.h"

#include <QFile>
#include <QList>

#include "config/atomicwrite.h"

namespace
{

using Lines = QList<QByteArray>;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmedBlanks(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The name of a section line ("[name]"), or a null array for any other line.
QByteArray sectionName(const QByteArray &line)
{
    const QByteArray text = trimmedBlanks(line);
    if (!text.startsWith('['))
        return {};
    qsizetype close = text.indexOf(']');
    if (close < 0)
        close = text.size();
    QByteArray name = trimmedBlanks(text.mid(1, close - 1));
    if (name.isNull())
        name = QByteArray("");
    return name;
}

// Splits a "key=value" line; false for lines without an equals sign.
bool splitKeyLine(const QByteArray &line, QByteArray *key, QByteArray *value)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return false;
    *key = trimmedBlanks(line.left(eq));
    if (value)
        *value = trimmedBlanks(line.mid(eq + 1));
    return true;
}

// Reads the file's lines without their line ends. A missing file reads as no
// lines; false only when the file exists but cannot be read.
bool readLines(const QString &path, Lines *lines)
{
    lines->clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return true;
    *lines = bytes.split('\n');
    // A final line end leaves an empty piece behind that is no line of its own.
    if (bytes.endsWith('\n'))
        lines->removeLast();
    for (QByteArray &line : *lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return true;
}

struct Location
{
    qsizetype section = -1; // index of the section line
    qsizetype end = -1;     // index past the section's last line
    qsizetype key = -1;     // index of the key line
};

// Finds the first section of that name and the first key of that name in it.
Location locate(const Lines &lines, const QByteArray &section, const QByteArray &key)
{
    Location where;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray name = sectionName(lines.at(i));
        if (where.section >= 0) {
            if (!name.isNull()) {
                where.end = i;
                break;
            }
            QByteArray lineKey;
            if (where.key < 0 && splitKeyLine(lines.at(i), &lineKey, nullptr) && sameName(lineKey, key))
                where.key = i;
        } else if (!name.isNull() && sameName(name, section)) {
            where.section = i;
        }
    }
    if (where.section >= 0 && where.end < 0)
        where.end = lines.size();
    return where;
}

QByteArray unquoted(const QByteArray &value)
{
    if (value.size() >= 2) {
        const char first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

} // namespace

IniFile::IniFile(const QString &path)
    : m_path(path)
{}

QByteArray IniFile::value(const QByteArray &section, const QByteArray &key) const
{
    Lines lines;
    if (!readLines(m_path, &lines))
        return QByteArray("");
    const Location where = locate(lines, section, key);
    if (where.key < 0)
        return QByteArray("");
    QByteArray lineKey;
    QByteArray value;
    splitKeyLine(lines.at(where.key), &lineKey, &value);
    value = unquoted(value);
    if (value.size() > kMaxValueLength)
        value.truncate(kMaxValueLength);
    if (value.isNull())
        value = QByteArray("");
    return value;
}

bool IniFile::contains(const QByteArray &section, const QByteArray &key) const
{
    Lines lines;
    if (!readLines(m_path, &lines))
        return false;
    return locate(lines, section, key).key >= 0;
}

bool IniFile::setValue(const QByteArray &section, const QByteArray &key, const QByteArray &value)
{
    Lines lines;
    if (!readLines(m_path, &lines))
        return false;

    QByteArray stored = value;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored.at(i) == '\r' || stored.at(i) == '\n') {
            stored.truncate(i);
            break;
        }
    }

    const Location where = locate(lines, section, key);
    if (where.key >= 0) {
        // Keep the key's spelling as found in the file.
        QByteArray lineKey;
        splitKeyLine(lines.at(where.key), &lineKey, nullptr);
        lines[where.key] = lineKey + '=' + stored;
    } else if (where.section >= 0) {
        // After the section's last non-blank line, so a blank separator line stays last.
        qsizetype at = where.end;
        while (at > where.section + 1 && trimmedBlanks(lines.at(at - 1)).isEmpty())
            --at;
        lines.insert(at, key + '=' + stored);
    } else {
        if (!lines.isEmpty() && !trimmedBlanks(lines.constLast()).isEmpty())
            lines.append(QByteArray());
        lines.append('[' + section + ']');
        lines.append(key + '=' + stored);
    }

    QByteArray bytes;
    for (const QByteArray &line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return writeFileAtomically(m_path, bytes);
}
