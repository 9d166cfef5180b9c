#include "platform/freedesktopregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/folders.h"
#include "platform/keyfile.h"

namespace platform
{

namespace
{

const QString kDefaultApplications = QStringLiteral("Default Applications");
const QString kDesktopEntry = QStringLiteral("Desktop Entry");
const QString kMarkerKey = QStringLiteral("X-Vorlane-ProgID");
const QString kKeyPrefix = QStringLiteral("X-Vorlane-Key");
const QString kDesktopSuffix = QStringLiteral(".desktop");

// How long a cache rebuild may take before it is abandoned.
constexpr int kToolTimeoutMs = 30000;

QString xdgFolder(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    // Relative values are invalid by the XDG rules and must be ignored.
    if (value.isEmpty() || QDir::isRelativePath(value))
        return QDir::homePath() + fallback;
    return value;
}

// A registry path split into its first part (an extension or a document class)
// and the subkeys below it.
struct KeyPath
{
    QString head;
    QStringList subkeys;
};

KeyPath splitPath(const QString &path)
{
    KeyPath result;
    QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (!parts.isEmpty())
        result.head = parts.takeFirst();
    result.subkeys = parts;
    return result;
}

bool isAlnum(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

// Document classes become desktop file names.
bool isValidProgId(const QString &progId)
{
    if (progId.isEmpty() || progId.startsWith(QLatin1Char('.')))
        return false;
    for (const QChar c : progId) {
        if (!isAlnum(c) && c != QLatin1Char('.') && c != QLatin1Char('_') && c != QLatin1Char('-'))
            return false;
    }
    return true;
}

// The desktop entry key holding a class's subkey, or an empty text when the
// subkey names cannot be written as a key name.
QString entryKeyName(const QStringList &subkeys)
{
    QString name = kKeyPrefix;
    for (const QString &subkey : subkeys) {
        if (subkey.isEmpty())
            return {};
        for (const QChar c : subkey) {
            if (!isAlnum(c))
                return {};
        }
        name += QLatin1Char('-') + subkey.toLower();
    }
    return name;
}

// Desktop ids in mimeapps.list stand for document classes: "P.desktop" is "P".
// A list of several applications, or anything else, is kept as it stands, so
// that whatever is read can be written back unchanged.
QString progIdFromHandler(const QString &handler)
{
    if (!handler.contains(QLatin1Char(';')) && handler.endsWith(kDesktopSuffix))
        return handler.left(handler.size() - kDesktopSuffix.size());
    return handler;
}

QString handlerFromProgId(const QString &progId)
{
    if (progId.contains(QLatin1Char(';')) || progId.endsWith(kDesktopSuffix))
        return progId;
    return progId + kDesktopSuffix;
}

// Writes bytes atomically unless the file already holds exactly them. Returns
// false on failure; changed tells whether the file was written.
bool writeIfDifferent(const QString &path, const QByteArray &bytes, bool &changed)
{
    changed = false;
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes)
        return true;
    existing.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // Unbuffered, so that a short write shows in write()'s result instead of
    // being lost in the final flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    changed = true;
    return true;
}

void runTool(const QString &name, const QString &folder)
{
    const QString tool = QStandardPaths::findExecutable(name);
    if (tool.isEmpty() || !QFileInfo(folder).isDir())
        return;
    QProcess process;
    process.start(tool, {folder});
    if (!process.waitForStarted())
        return;
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
}

bool needsQuoting(const QString &arg)
{
    if (arg.isEmpty())
        return true;
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (const QChar c : arg) {
        if (reserved.contains(c))
            return true;
    }
    return false;
}

} // namespace

FreedesktopRegistry::FreedesktopRegistry()
    : FreedesktopRegistry(xdgFolder("XDG_DATA_HOME", QStringLiteral("/.local/share")),
                          xdgFolder("XDG_CONFIG_HOME", QStringLiteral("/.config")))
{}

FreedesktopRegistry::FreedesktopRegistry(const QString &dataHome, const QString &configHome)
    : m_dataHome(dataHome)
    , m_configHome(configHome)
{
    // Globs are case-sensitive like the program's own test of the extension, so
    // that a file the program would refuse is not offered to it.
    m_extensions.append({QStringLiteral(".mvr"), QStringLiteral("application/x-vorlane-preset"),
                         QStringLiteral("Vorlane preset"), true});
    m_extensions.append({QStringLiteral(".pls"), QStringLiteral("audio/x-scpls"), QString(), false});
}

QString FreedesktopRegistry::mimeAppsListPath() const
{
    return m_configHome + QStringLiteral("/mimeapps.list");
}

QString FreedesktopRegistry::applicationsFolder() const
{
    return m_dataHome + QStringLiteral("/applications");
}

QString FreedesktopRegistry::mimeFolder() const
{
    return m_dataHome + QStringLiteral("/mime");
}

QString FreedesktopRegistry::mimePackagePath() const
{
    return mimeFolder() + QStringLiteral("/packages/vorlane.xml");
}

QString FreedesktopRegistry::desktopEntryPath(const QString &progId) const
{
    // Registry keys ignore case, file names do not: an entry written under
    // another spelling of the class is the same key.
    const QString wanted = progId + kDesktopSuffix;
    const QString exact = applicationsFolder() + QLatin1Char('/') + wanted;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList names = QDir(applicationsFolder()).entryList({QStringLiteral("*.desktop")}, QDir::Files);
    for (const QString &name : names) {
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return applicationsFolder() + QLatin1Char('/') + name;
    }
    return exact;
}

const FreedesktopRegistry::Extension *FreedesktopRegistry::findExtension(const QString &extension) const
{
    for (const Extension &ext : m_extensions) {
        if (ext.extension.compare(extension, Qt::CaseInsensitive) == 0)
            return &ext;
    }
    return nullptr;
}

std::optional<QString> FreedesktopRegistry::handlerOf(const Extension &ext) const
{
    KeyFile list;
    list.load(mimeAppsListPath());
    const std::optional<QString> handler = list.value(kDefaultApplications, ext.mimeType);
    if (!handler)
        return std::nullopt;
    const QString value = handler->trimmed();
    // Some desktops end even a single application with ";": the program's own
    // class is still recognised then.
    if (value.endsWith(QStringLiteral(".desktop;")) && value.count(QLatin1Char(';')) == 1) {
        const QString progId = value.left(value.size() - kDesktopSuffix.size() - 1);
        EntryKeys keys;
        if (isValidProgId(progId) && readEntry(progId, keys))
            return progId;
    }
    return progIdFromHandler(value);
}

bool FreedesktopRegistry::setHandler(const Extension &ext, const QString &progId)
{
    const std::optional<QString> previous = handlerOf(ext);
    KeyFile list;
    list.load(mimeAppsListPath());
    bool changed = false;
    if (progId.isEmpty()) {
        // An empty handler is no handler: the desktop's own default applies.
        changed = list.removeKey(kDefaultApplications, ext.mimeType);
    } else {
        const QString handler = handlerFromProgId(progId);
        if (list.value(kDefaultApplications, ext.mimeType) != handler) {
            list.setValue(kDefaultApplications, ext.mimeType, handler);
            changed = true;
        }
    }
    if (!changed)
        return true;
    if (list.isEmpty()) {
        if (QFileInfo::exists(mimeAppsListPath()) && !QFile::remove(mimeAppsListPath()))
            return false;
    } else if (!list.save(mimeAppsListPath())) {
        return false;
    }
    if (previous)
        refreshEntry(*previous);
    if (!progId.isEmpty())
        refreshEntry(progId);
    return true;
}

bool FreedesktopRegistry::writeMimePackage(bool present)
{
    const QString path = mimePackagePath();
    if (!present) {
        if (!QFileInfo::exists(path))
            return true;
        if (!QFile::remove(path))
            return false;
        m_mimeChanged = true;
        return true;
    }
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                 "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n");
    for (const Extension &ext : std::as_const(m_extensions)) {
        if (!ext.own)
            continue;
        xml += QStringLiteral("  <mime-type type=\"") + ext.mimeType + QStringLiteral("\">\n") +
               QStringLiteral("    <comment>") + ext.comment + QStringLiteral("</comment>\n") +
               QStringLiteral("    <sub-class-of type=\"text/plain\"/>\n") +
               QStringLiteral("    <generic-icon name=\"audio-x-generic\"/>\n") +
               QStringLiteral("    <glob pattern=\"*") + ext.extension +
               QStringLiteral("\" case-sensitive=\"true\"/>\n") + QStringLiteral("  </mime-type>\n");
    }
    xml += QStringLiteral("</mime-info>\n");
    bool changed = false;
    if (!writeIfDifferent(path, xml.toUtf8(), changed))
        return false;
    m_mimeChanged = m_mimeChanged || changed;
    return true;
}

// False when there is no entry of that name or when this mapping did not write it.
bool FreedesktopRegistry::readEntry(const QString &progId, EntryKeys &keys) const
{
    keys.clear();
    KeyFile entry;
    if (!entry.load(desktopEntryPath(progId)))
        return false;
    const std::optional<QString> marker = entry.value(kDesktopEntry, kMarkerKey);
    if (!marker || marker->compare(progId, Qt::CaseInsensitive) != 0)
        return false;
    const QStringList names = entry.keys(kDesktopEntry);
    for (const QString &name : names) {
        if (name == kKeyPrefix || name.startsWith(kKeyPrefix + QLatin1Char('-')))
            keys.insert(name, KeyFile::unescapeValue(entry.value(kDesktopEntry, name).value_or(QString())));
    }
    return true;
}

bool FreedesktopRegistry::writeEntry(const QString &progId, const EntryKeys &keys)
{
    const auto line = [](const QString &key, const QString &value) -> QString {
        return key + QLatin1Char('=') + KeyFile::escapeValue(value) + QLatin1Char('\n');
    };
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=Vorlane\n");
    const QString description = keys.value(kKeyPrefix);
    if (!description.isEmpty())
        text += line(QStringLiteral("Comment"), description);
    const QString icon = keys.value(kKeyPrefix + QStringLiteral("-defaulticon"));
    if (!icon.isEmpty())
        text += line(QStringLiteral("Icon"), icon);
    QString verb = keys.value(kKeyPrefix + QStringLiteral("-shell"));
    if (verb.isEmpty())
        verb = QStringLiteral("open");
    const QString commandKey = entryKeyName({QStringLiteral("shell"), verb, QStringLiteral("command")});
    const QString command = commandKey.isEmpty() ? QString() : keys.value(commandKey);
    if (!command.isEmpty())
        text += line(QStringLiteral("Exec"), execFromCommand(command));
    QString mimeTypes;
    for (const Extension &ext : std::as_const(m_extensions)) {
        if (ext.own && !QFileInfo::exists(mimePackagePath()))
            continue;
        const std::optional<QString> handler = handlerOf(ext);
        if (handler && handler->compare(progId, Qt::CaseInsensitive) == 0)
            mimeTypes += ext.mimeType + QLatin1Char(';');
    }
    if (!mimeTypes.isEmpty())
        text += QStringLiteral("MimeType=") + mimeTypes + QLatin1Char('\n');
    // A document handler only: kept out of the application menus.
    text += QStringLiteral("NoDisplay=true\nTerminal=false\n");
    text += line(kMarkerKey, progId);
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        text += line(it.key(), it.value());

    bool changed = false;
    if (!writeIfDifferent(desktopEntryPath(progId), text.toUtf8(), changed))
        return false;
    m_applicationsChanged = m_applicationsChanged || changed;
    return true;
}

void FreedesktopRegistry::refreshEntry(const QString &progId)
{
    EntryKeys keys;
    if (isValidProgId(progId) && readEntry(progId, keys))
        writeEntry(progId, keys);
}

bool FreedesktopRegistry::keyExists(RegistryRoot, const QString &path) const
{
    const KeyPath key = splitPath(path);
    if (key.head.isEmpty())
        return true;
    if (key.head.startsWith(QLatin1Char('.'))) {
        const Extension *ext = findExtension(key.head);
        if (!ext || !key.subkeys.isEmpty())
            return false;
        return !ext->own || QFileInfo::exists(mimePackagePath());
    }
    if (!isValidProgId(key.head))
        return false;
    EntryKeys keys;
    if (!readEntry(key.head, keys))
        return false;
    return key.subkeys.isEmpty() || keys.contains(entryKeyName(key.subkeys));
}

bool FreedesktopRegistry::createKey(RegistryRoot root, const QString &path)
{
    const KeyPath key = splitPath(path);
    if (key.head.isEmpty())
        return true;
    if (key.head.startsWith(QLatin1Char('.'))) {
        const Extension *ext = findExtension(key.head);
        if (!ext || !key.subkeys.isEmpty())
            return false;
        return !ext->own || writeMimePackage(true);
    }
    if (!isValidProgId(key.head) || entryKeyName(key.subkeys).isEmpty())
        return false;
    EntryKeys keys;
    if (!readEntry(key.head, keys)) {
        if (QFileInfo::exists(desktopEntryPath(key.head)))
            return false; // not ours
        keys.clear();
    } else if (keyExists(root, path)) {
        return true;
    }
    for (qsizetype depth = 1; depth <= key.subkeys.size(); ++depth) {
        const QString name = entryKeyName(key.subkeys.mid(0, depth));
        if (!keys.contains(name))
            keys.insert(name, QString());
    }
    return writeEntry(key.head, keys);
}

std::optional<QString> FreedesktopRegistry::defaultValue(RegistryRoot, const QString &path) const
{
    const KeyPath key = splitPath(path);
    if (key.head.isEmpty())
        return std::nullopt;
    if (key.head.startsWith(QLatin1Char('.'))) {
        const Extension *ext = findExtension(key.head);
        if (!ext || !key.subkeys.isEmpty())
            return std::nullopt;
        if (ext->own && !QFileInfo::exists(mimePackagePath()))
            return std::nullopt;
        return handlerOf(*ext);
    }
    EntryKeys keys;
    if (!isValidProgId(key.head) || !readEntry(key.head, keys))
        return std::nullopt;
    const QString name = entryKeyName(key.subkeys);
    if (name.isEmpty() || !keys.contains(name))
        return std::nullopt;
    return keys.value(name);
}

bool FreedesktopRegistry::setDefaultValue(RegistryRoot root, const QString &path, qint32 type, const QString &value)
{
    if (type != kRegSz)
        return false;
    const KeyPath key = splitPath(path);
    if (key.head.isEmpty())
        return false;
    if (key.head.startsWith(QLatin1Char('.'))) {
        const Extension *ext = findExtension(key.head);
        if (!ext || !key.subkeys.isEmpty())
            return false;
        if (ext->own && !writeMimePackage(true))
            return false;
        return setHandler(*ext, value);
    }
    if (!createKey(root, path))
        return false;
    EntryKeys keys;
    if (!readEntry(key.head, keys))
        return false;
    keys.insert(entryKeyName(key.subkeys), value);
    return writeEntry(key.head, keys);
}

bool FreedesktopRegistry::deleteKey(RegistryRoot, const QString &path)
{
    const KeyPath key = splitPath(path);
    if (key.head.isEmpty())
        return false;
    if (key.head.startsWith(QLatin1Char('.'))) {
        const Extension *ext = findExtension(key.head);
        if (!ext || !key.subkeys.isEmpty())
            return false;
        if (!ext->own) {
            // The system's type stays; only the handler this key named goes.
            if (!handlerOf(*ext))
                return false;
            return setHandler(*ext, QString());
        }
        if (!QFileInfo::exists(mimePackagePath()))
            return false;
        if (!setHandler(*ext, QString()))
            return false;
        return writeMimePackage(false);
    }
    EntryKeys keys;
    if (!isValidProgId(key.head) || !readEntry(key.head, keys))
        return false;
    const QString name = entryKeyName(key.subkeys);
    if (name.isEmpty() || !keys.contains(name))
        return false;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it) {
        if (it.key().startsWith(name + QLatin1Char('-')))
            return false; // a key with subkeys cannot be deleted
    }
    if (key.subkeys.isEmpty()) {
        if (!QFile::remove(desktopEntryPath(key.head)))
            return false;
        m_applicationsChanged = true;
        return true;
    }
    keys.remove(name);
    return writeEntry(key.head, keys);
}

void FreedesktopRegistry::publish()
{
    if (m_mimeChanged)
        runTool(QStringLiteral("update-mime-database"), mimeFolder());
    if (m_applicationsChanged)
        runTool(QStringLiteral("update-desktop-database"), applicationsFolder());
    m_mimeChanged = false;
    m_applicationsChanged = false;
}

QString FreedesktopRegistry::quoteCommandArgument(const QString &arg)
{
    // The inverse of the splitting below: backslashes count only before a
    // double quote, where they are doubled, and a quote of the value is "\"".
    QString quoted(QLatin1Char('"'));
    qsizetype backslashes = 0;
    for (const QChar c : arg) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
            continue;
        }
        if (c == QLatin1Char('"'))
            backslashes = backslashes * 2 + 1;
        quoted += QString(backslashes, QLatin1Char('\\'));
        backslashes = 0;
        quoted += c;
    }
    quoted += QString(backslashes * 2, QLatin1Char('\\'));
    return quoted + QLatin1Char('"');
}

QString FreedesktopRegistry::execFromCommand(const QString &command)
{
    // Windows splitting: blanks separate arguments, double quotes group them;
    // 2n backslashes before a quote stand for n, 2n+1 for n and a literal quote.
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool started = false;
    qsizetype backslashes = 0;
    for (const QChar c : command) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
            started = true;
            continue;
        }
        if (c == QLatin1Char('"')) {
            current += QString(backslashes / 2, QLatin1Char('\\'));
            if (backslashes % 2 == 1)
                current += c;
            else
                inQuotes = !inQuotes;
            backslashes = 0;
            started = true;
            continue;
        }
        current += QString(backslashes, QLatin1Char('\\'));
        backslashes = 0;
        if (!inQuotes && (c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
            if (started)
                args.append(current);
            current.clear();
            started = false;
        } else {
            current += c;
            started = true;
        }
    }
    current += QString(backslashes, QLatin1Char('\\'));
    if (started)
        args.append(current);

    QStringList exec;
    for (const QString &arg : std::as_const(args)) {
        if (arg == QLatin1String("%1") || arg.compare(QLatin1String("%L"), Qt::CaseInsensitive) == 0) {
            exec.append(QStringLiteral("%f"));
            continue;
        }
        QString quoted = arg;
        quoted.replace(QLatin1Char('%'), QLatin1String("%%"));
        if (needsQuoting(arg)) {
            QString inner;
            for (const QChar c : std::as_const(quoted)) {
                if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                    inner += QLatin1Char('\\');
                inner += c;
            }
            quoted = QLatin1Char('"') + inner + QLatin1Char('"');
        }
        exec.append(quoted);
    }
    return exec.join(QLatin1Char(' '));
}

QString shellIconValue(ShellIcon icon)
{
    // The program's own icon where it is installed (or built); otherwise a named
    // icon every theme has beats a broken image.
    switch (icon) {
    case ShellIcon::Preset:
    case ShellIcon::Playlist:
        break;
    }
    const QString folder = dataFolder();
    const QString own = folder + QStringLiteral("/icons/vorlane.svg");
    if (!folder.isEmpty() && QFileInfo::exists(own))
        return own;
    return QStringLiteral("audio-x-generic");
}

} // namespace platform
