#include "platform/keyfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform
{

namespace
{

bool isGroupLine(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

QString groupName(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed.mid(1, trimmed.size() - 2);
}

bool isBlankOrComment(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'));
}

// The key of a "key=value" line, or an empty text for any other line.
QString lineKey(const QString &line)
{
    if (isBlankOrComment(line) || isGroupLine(line))
        return {};
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0)
        return {};
    return line.left(equals).trimmed();
}

QString lineValue(const QString &line)
{
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    QString value = line.mid(equals + 1);
    qsizetype start = 0;
    while (start < value.size() && (value.at(start) == QLatin1Char(' ') || value.at(start) == QLatin1Char('\t')))
        ++start;
    return value.mid(start);
}

} // namespace

bool KeyFile::load(const QString &path)
{
    m_lines.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QLatin1Char('\r'));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (!text.isEmpty())
        m_lines = text.split(QLatin1Char('\n'));
    return true;
}

bool KeyFile::save(const QString &path) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // Unbuffered, so that a short write shows in write()'s result instead of
    // being lost in the final flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    QByteArray bytes;
    for (const QString &line : m_lines) {
        bytes += line.toUtf8();
        bytes += '\n';
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool KeyFile::isEmpty() const
{
    for (const QString &line : m_lines) {
        if (!line.trimmed().isEmpty())
            return false;
    }
    return true;
}

qsizetype KeyFile::findGroup(const QString &group) const
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (isGroupLine(m_lines.at(i)) && groupName(m_lines.at(i)) == group)
            return i;
    }
    return -1;
}

qsizetype KeyFile::groupEnd(qsizetype header) const
{
    qsizetype end = header + 1;
    while (end < m_lines.size() && !isGroupLine(m_lines.at(end)))
        ++end;
    return end;
}

qsizetype KeyFile::findKey(const QString &group, const QString &key) const
{
    const qsizetype header = findGroup(group);
    if (header < 0)
        return -1;
    const qsizetype end = groupEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (lineKey(m_lines.at(i)) == key)
            return i;
    }
    return -1;
}

std::optional<QString> KeyFile::value(const QString &group, const QString &key) const
{
    const qsizetype line = findKey(group, key);
    if (line < 0)
        return std::nullopt;
    return lineValue(m_lines.at(line));
}

QStringList KeyFile::keys(const QString &group) const
{
    QStringList result;
    const qsizetype header = findGroup(group);
    if (header < 0)
        return result;
    const qsizetype end = groupEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        const QString key = lineKey(m_lines.at(i));
        if (!key.isEmpty())
            result.append(key);
    }
    return result;
}

void KeyFile::setValue(const QString &group, const QString &key, const QString &value)
{
    const QString line = key + QLatin1Char('=') + value;
    const qsizetype existing = findKey(group, key);
    if (existing >= 0) {
        m_lines[existing] = line;
        return;
    }
    const qsizetype header = findGroup(group);
    if (header < 0) {
        if (!m_lines.isEmpty() && !m_lines.constLast().trimmed().isEmpty())
            m_lines.append(QString());
        m_lines.append(QLatin1Char('[') + group + QLatin1Char(']'));
        m_lines.append(line);
        return;
    }
    // After the group's last non-blank line, so that a blank line separating it
    // from the next group stays where it is.
    qsizetype insertAt = groupEnd(header);
    while (insertAt > header + 1 && m_lines.at(insertAt - 1).trimmed().isEmpty())
        --insertAt;
    m_lines.insert(insertAt, line);
}

bool KeyFile::removeKey(const QString &group, const QString &key)
{
    const qsizetype line = findKey(group, key);
    if (line < 0)
        return false;
    m_lines.removeAt(line);

    const qsizetype header = findGroup(group);
    const qsizetype end = groupEnd(header);
    for (qsizetype i = header + 1; i < end; ++i) {
        if (!m_lines.at(i).trimmed().isEmpty())
            return true;
    }
    // Nothing of its own is left: the group goes, with the blank lines it held.
    m_lines.erase(m_lines.begin() + header, m_lines.begin() + end);
    if (header == m_lines.size()) {
        while (!m_lines.isEmpty() && m_lines.constLast().trimmed().isEmpty())
            m_lines.removeLast();
    }
    return true;
}

QString KeyFile::escapeValue(const QString &value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\'))
            result += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            result += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            result += QLatin1String("\\t");
        else if (c == QLatin1Char('\r'))
            result += QLatin1String("\\r");
        else if (c == QLatin1Char(' ') && i == 0)
            result += QLatin1String("\\s");
        else
            result += c;
    }
    return result;
}

QString KeyFile::unescapeValue(const QString &value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const QChar next = value.at(++i);
        if (next == QLatin1Char('s'))
            result += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            result += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            result += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            result += QLatin1Char('\r');
        else if (next == QLatin1Char('\\'))
            result += QLatin1Char('\\');
        else
            result += QLatin1Char('\\') + QString(next);
    }
    return result;
}

} // namespace platform
