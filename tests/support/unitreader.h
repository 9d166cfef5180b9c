#pragma once

// A reader of unit files that follows systemd's own rules where they matter
// for injection: lines end at LF, CR and NUL; a line ending in an unescaped
// backslash continues on the next; "#" and ";" start comments; "[...]" starts
// a section. ExecStart= words are unquoted and C-unescaped, specifiers (%) and
// variables ($) are undoubled. Used by the scheduler's tests and its fuzzer.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace unitreader
{

struct Entry
{
    QString section;
    QString key;
    QString value;
};

inline QList<Entry> read(const QByteArray &text)
{
    QList<Entry> entries;
    QString section;
    QByteArray pending;
    const auto take = [&](QByteArray line) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#') || line.startsWith(';'))
            return;
        if (line.startsWith('[') && line.endsWith(']')) {
            section = QString::fromUtf8(line.mid(1, line.size() - 2));
            return;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals < 0) {
            entries.append({section, QString::fromUtf8(line), QStringLiteral("<no assignment>")});
            return;
        }
        entries.append({section, QString::fromUtf8(line.left(equals).trimmed()),
                        QString::fromUtf8(line.mid(equals + 1).trimmed())});
    };
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\n' && text[i] != '\r' && text[i] != '\0')
            continue;
        QByteArray line = text.mid(start, i - start);
        start = i + 1;
        qsizetype backslashes = 0;
        while (backslashes < line.size() && line[line.size() - 1 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 1 && i < text.size()) {
            line.chop(1);
            pending += line + ' ';
            continue;
        }
        take(pending + line);
        pending.clear();
    }
    return entries;
}

// Specifiers: every % must be doubled; none when a lone one is left.
inline std::optional<QString> undoubled(const QString &value, QChar mark)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != mark) {
            out += value[i];
            continue;
        }
        if (i + 1 >= value.size() || value[i + 1] != mark)
            return std::nullopt;
        out += mark;
        ++i;
    }
    return out;
}

// The words of an ExecStart=/Environment= value; none when quoting is broken.
inline std::optional<QStringList> words(const QString &value, bool expandsVariables)
{
    const std::optional<QString> text = undoubled(value, QLatin1Char('%'));
    if (!text)
        return std::nullopt;
    QStringList list;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < text->size(); ++i) {
        const QChar c = text->at(i);
        if (quote.isNull() && c.isSpace()) {
            if (inWord)
                list.append(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\\')) {
            if (++i >= text->size())
                return std::nullopt;
            const QChar e = text->at(i);
            if (e == QLatin1Char('x')) {
                bool ok = false;
                const ushort code = text->mid(i + 1, 2).toUShort(&ok, 16);
                if (!ok || text->mid(i + 1, 2).size() != 2 || code == 0)
                    return std::nullopt;
                word += QChar(code);
                i += 2;
            } else if (e == QLatin1Char('n')) {
                word += QLatin1Char('\n');
            } else if (e == QLatin1Char('\\') || e == QLatin1Char('"') || e == QLatin1Char('\'')) {
                word += e;
            } else {
                return std::nullopt; // an escape our writer never makes
            }
        } else if (quote.isNull() && (c == QLatin1Char('"') || c == QLatin1Char('\''))) {
            quote = c;
        } else if (c == quote) {
            quote = QChar();
        } else {
            word += c;
        }
    }
    if (!quote.isNull())
        return std::nullopt;
    if (inWord)
        list.append(word);
    if (expandsVariables) {
        for (QString &each : list) {
            const std::optional<QString> plain = undoubled(each, QLatin1Char('$'));
            if (!plain)
                return std::nullopt;
            each = *plain;
        }
    }
    return list;
}

} // namespace unitreader
