#pragma once

#include <QString>

#include "config/setupsettings.h"

class Preset;

// Where and how the setup window's recording is saved, without widgets: the
// capture mode, the path box's text and whether it was accepted, the path each
// kind of mode last had (a folder for titles and archives, a file for a single
// file), and the dated archive's file header. The window shows what this holds
// and hands it every edit; the rules for what may be recorded live here.
class CaptureTarget
{
public:
    // Why nothing can be recorded to the target now.
    enum class Problem
    {
        None,
        NoPath,          // no path, or one that was not accepted
        NoArchiveHeader, // a dated archive needs its file header
    };
    // The outcome of accepting the path box's text.
    enum class Refusal
    {
        None,
        MissingFolder,
        UnwritableFile,
    };

    SetupSettings::CaptureMode mode() const { return m_mode; }
    // Every mode records into a folder but the single file.
    bool isFolderMode() const { return m_mode != SetupSettings::CaptureSingleFile; }
    // Changes the mode; between folder and file modes the path box swaps to the
    // text the other kind last had.
    void setMode(SetupSettings::CaptureMode mode);

    const QString &path() const { return m_path; }
    bool isAccepted() const { return m_accepted; }
    // Text typed or set into the path box; it counts once accepted.
    void edit(const QString &text) { m_path = text; }
    // The box got the focus: a refused path goes back to what it shows now.
    void rememberPath();
    // Accepts the box's text or refuses it. A folder gets its trailing
    // separator and must exist; a file must be writable. A refused text gives
    // way to the last one of its kind. An empty box is no refusal, but is not
    // accepted either.
    Refusal accept();
    // A folder or file the user picked in a dialog (the dialog checked it exists).
    void takeChosenFolder(const QString &folder);
    Refusal takeChosenFile(const QString &file);
    // A dialog closed: whatever the box holds counts as chosen.
    void acceptWhatIsShown() { m_accepted = !m_path.isEmpty(); }
    // A dropped path is taken only when it fits the mode: an existing folder in
    // folder mode, an existing file in file mode.
    bool fitsMode(const QString &path) const;

    const QString &archiveHeader() const { return m_archiveHeader; }
    void setArchiveHeader(const QString &header) { m_archiveHeader = header; }

    Problem problem() const;

    // The capture mode, folder and file name of a preset, both ways. Loading
    // counts the loaded path as accepted.
    void putIn(Preset &preset) const;
    void takeFrom(const Preset &preset);

    // True when a file can be written at the path: an existing writable file,
    // or a new one that could be created (and is removed again).
    static bool canWriteFile(const QString &path);
    // The folder part of a single-file path (up to and including its last
    // separator of either kind) and the name after it.
    static QString folderPart(const QString &path);
    static QString namePart(const QString &path);

private:
    QString &lastOfThisKind() { return isFolderMode() ? m_lastFolder : m_lastFile; }

    SetupSettings::CaptureMode m_mode = SetupSettings::CaptureStreamTitles;
    QString m_path;
    bool m_accepted = false;
    QString m_lastFolder;
    QString m_lastFile;
    QString m_archiveHeader;
};
