#include "config/associations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <optional>

#include "config/textlines.h"
#include "platform/folders.h"
#include "platform/keyfile.h"
#include "platform/paths.h"

using platform::KeyFile;

namespace
{

const QString kPresetType = QStringLiteral("application/x-vorlane-preset");
const QString kPlaylistType = QStringLiteral("audio/x-scpls");
const QString kPresetClass = QStringLiteral("Ombrex.Preset");
const QString kPlaylistClass = QStringLiteral("Ombrex.Playlist");
const QString kPresetDescription = QStringLiteral("Ombrex Preset");
const QString kPlaylistDescription = QStringLiteral("Ombrex Playlist Link");
const QString kDefaultApplications = QStringLiteral("Default Applications");
const QString kDesktopEntry = QStringLiteral("Desktop Entry");
const QString kMarkerKey = QStringLiteral("X-Vorlane-ProgID");
const QString kDesktopSuffix = QStringLiteral(".desktop");

// The texts a failure reports, as the user has always seen them.
const QString kCannotWrite = QStringLiteral("Cannot set Registry value");
const QString kFileAccess = QStringLiteral("Path/File access error");

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

// Desktop ids in mimeapps.list stand for classes in the backup file:
// "vlc.desktop" is kept as "vlc". A list of several applications, or anything
// else, is kept as it stands, so that whatever is read is given back unchanged.
QString classFromHandler(const QString &handler)
{
    if (!handler.contains(QLatin1Char(';')) && handler.endsWith(kDesktopSuffix))
        return handler.left(handler.size() - kDesktopSuffix.size());
    return handler;
}

QString handlerFromClass(const QString &name)
{
    if (name.isEmpty() || name.contains(QLatin1Char(';')) || name.endsWith(kDesktopSuffix))
        return name;
    return name + kDesktopSuffix;
}

// Writes bytes atomically unless the file already holds exactly them.
bool writeIfDifferent(const QString &path, const QByteArray &bytes, bool &changed)
{
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == bytes)
        return true;
    existing.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    // Unbuffered, so that a short write shows in write()'s result.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size()) {
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
    // Run from the command line before any window exists, and the program
    // ends right after: the desktop must see the change when it does.
    QProcess process;
    process.start(tool, {folder});
    if (!process.waitForStarted())
        return;
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
}

// One run of install or remove over the files.
class AssociationRun
{
public:
    explicit AssociationRun(const AssociationFiles &files)
        : m_files(files)
    {}

    bool mimeChanged = false;
    bool entriesChanged = false;

    std::optional<QString> handler(const QString &type) const
    {
        KeyFile list;
        list.load(m_files.mimeAppsList());
        const std::optional<QString> value = list.value(kDefaultApplications, type);
        if (!value)
            return std::nullopt;
        return value->trimmed();
    }

    bool isPlaylistHandler() const
    {
        // Some desktops end even a single application with ";".
        const QString value = handler(kPlaylistType).value_or(QString());
        const QString ours = kPlaylistClass + kDesktopSuffix;
        return value == ours || value == ours + QLatin1Char(';');
    }

    // An empty handler is no handler: the desktop's own default applies.
    bool setHandler(const QString &type, const QString &desktopId)
    {
        KeyFile list;
        list.load(m_files.mimeAppsList());
        if (desktopId.isEmpty()) {
            if (!list.removeKey(kDefaultApplications, type))
                return true;
        } else {
            if (list.value(kDefaultApplications, type) == desktopId)
                return true;
            list.setValue(kDefaultApplications, type, desktopId);
        }
        const QString path = m_files.mimeAppsList();
        if (list.isEmpty())
            return !QFileInfo::exists(path) || QFile::remove(path);
        return list.save(path);
    }

    bool isOurEntry(const QString &name) const
    {
        KeyFile entry;
        return entry.load(m_files.desktopEntry(name)) && entry.value(kDesktopEntry, kMarkerKey) == name;
    }

    bool writeEntry(const QString &name, const QString &description, const AssociationValues &values,
                    const QString &mimeType)
    {
        const QString path = m_files.desktopEntry(name);
        if (QFileInfo::exists(path) && !isOurEntry(name))
            return false; // someone else's
        const auto line = [](const QString &key, const QString &value) -> QString {
            return key + QLatin1Char('=') + KeyFile::escapeValue(value) + QLatin1Char('\n');
        };
        QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=Vorlane\n");
        text += line(QStringLiteral("Comment"), description);
        if (!values.icon.isEmpty())
            text += line(QStringLiteral("Icon"), values.icon);
        text += line(QStringLiteral("Exec"), values.exec);
        if (!mimeType.isEmpty())
            text += QStringLiteral("MimeType=") + mimeType + QStringLiteral(";\n");
        // A document handler only: kept out of the application menus.
        text += QStringLiteral("NoDisplay=true\nTerminal=false\n");
        text += line(kMarkerKey, name);
        return writeIfDifferent(path, text.toUtf8(), entriesChanged);
    }

    void removeEntry(const QString &name)
    {
        if (isOurEntry(name) && QFile::remove(m_files.desktopEntry(name)))
            entriesChanged = true;
    }

    bool writeMimePackage()
    {
        const QString xml =
            QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                           "  <mime-type type=\"") +
            kPresetType +
            QStringLiteral("\">\n"
                           "    <comment>Vorlane preset</comment>\n"
                           "    <sub-class-of type=\"text/plain\"/>\n"
                           "    <generic-icon name=\"audio-x-generic\"/>\n"
                           // Case-sensitive like the program's own test of the
                           // extension, so that a file it would refuse is not offered to it.
                           "    <glob pattern=\"*.mvr\" case-sensitive=\"true\"/>\n"
                           "  </mime-type>\n"
                           "</mime-info>\n");
        return writeIfDifferent(m_files.mimePackage(), xml.toUtf8(), mimeChanged);
    }

    void removeMimePackage()
    {
        if (QFile::remove(m_files.mimePackage()))
            mimeChanged = true;
    }

    QString giveBackPlaylists()
    {
        QString previous;
        const bool backedUp = platform::fileExists(m_files.backupFile);
        if (backedUp) {
            const std::optional<QStringList> lines = readTextLines(m_files.backupFile);
            if (!lines)
                return kFileAccess;
            previous = lines->value(0);
        }
        if (!setHandler(kPlaylistType, handlerFromClass(previous)))
            return kCannotWrite;
        if (backedUp)
            QFile::remove(m_files.backupFile);
        return {};
    }

    QString takeOverPlaylists()
    {
        const QString previous = classFromHandler(handler(kPlaylistType).value_or(QString()));
        if (!previous.isEmpty() && !writeTextLines(m_files.backupFile, {previous}))
            return kFileAccess;
        return setHandler(kPlaylistType, kPlaylistClass + kDesktopSuffix) ? QString() : kCannotWrite;
    }

    QString remove()
    {
        if (QFileInfo::exists(m_files.mimePackage())) {
            if (!setHandler(kPresetType, QString()))
                return kCannotWrite;
            removeMimePackage();
        }
        removeEntry(kPresetClass);
        removeEntry(kPlaylistClass);
        return isPlaylistHandler() ? giveBackPlaylists() : QString();
    }

    QString install(const AssociationValues &values)
    {
        const bool wasPlaylistHandler = isPlaylistHandler();
        if (const QString failure = remove(); !failure.isEmpty())
            return failure;
        if (!writeMimePackage() || !setHandler(kPresetType, kPresetClass + kDesktopSuffix) ||
            !writeEntry(kPresetClass, kPresetDescription, values, kPresetType) ||
            !writeEntry(kPlaylistClass, kPlaylistDescription, values, QString()))
            return kCannotWrite;
        if (!wasPlaylistHandler)
            return {};
        if (const QString failure = takeOverPlaylists(); !failure.isEmpty())
            return failure;
        return writeEntry(kPlaylistClass, kPlaylistDescription, values, kPlaylistType) ? QString() : kCannotWrite;
    }

    void publish() const
    {
        if (mimeChanged)
            runTool(QStringLiteral("update-mime-database"), m_files.dataHome + QStringLiteral("/mime"));
        if (entriesChanged)
            runTool(QStringLiteral("update-desktop-database"), m_files.dataHome + QStringLiteral("/applications"));
    }

private:
    const AssociationFiles &m_files;
};

QString programIcon()
{
    // The program's own icon where it is installed (or built); otherwise a named
    // icon every theme has beats a broken image.
    const QString folder = platform::dataFolder();
    const QString own = folder + QStringLiteral("/icons/vorlane.svg");
    if (!folder.isEmpty() && QFileInfo::exists(own))
        return own;
    return QStringLiteral("audio-x-generic");
}

} // namespace

AssociationFiles AssociationFiles::forUser()
{
    return {xdgFolder("XDG_DATA_HOME", QStringLiteral("/.local/share")),
            xdgFolder("XDG_CONFIG_HOME", QStringLiteral("/.config")), platform::programFile(QStringLiteral("assoc.mcg"))};
}

QString AssociationFiles::mimeAppsList() const
{
    return configHome + QStringLiteral("/mimeapps.list");
}

QString AssociationFiles::mimePackage() const
{
    return dataHome + QStringLiteral("/mime/packages/vorlane.xml");
}

QString AssociationFiles::desktopEntry(const QString &name) const
{
    return dataHome + QStringLiteral("/applications/") + name + kDesktopSuffix;
}

QString execArgument(const QString &argument)
{
    QString escaped = argument;
    escaped.replace(QLatin1Char('%'), QLatin1String("%%"));
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool plain = !argument.isEmpty() && std::none_of(argument.begin(), argument.end(),
                                                           [](QChar c) { return reserved.contains(c); });
    if (plain)
        return escaped;
    QString quoted(QLatin1Char('"'));
    for (const QChar c : std::as_const(escaped)) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

AssociationValues defaultAssociationValues()
{
    return {programIcon(), execArgument(platform::executablePath()) + QStringLiteral(" %f -noop")};
}

QString installAssociations(const AssociationFiles &files, const AssociationValues &values)
{
    return AssociationRun(files).install(values);
}

QString removeAssociations(const AssociationFiles &files)
{
    return AssociationRun(files).remove();
}

QString installAssociations()
{
    const AssociationFiles files = AssociationFiles::forUser();
    AssociationRun run(files);
    const QString result = run.install(defaultAssociationValues());
    // Whatever was changed before a failure is made known as well.
    run.publish();
    return result;
}

QString removeAssociations()
{
    const AssociationFiles files = AssociationFiles::forUser();
    AssociationRun run(files);
    const QString result = run.remove();
    run.publish();
    return result;
}
