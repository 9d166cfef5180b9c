#include "ui/filedialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "config/inivalues.h"
#include "ui/localpresetsearch.h"

QString dialogFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isAbsolute()) {
        if (info.isDir())
            return info.absoluteFilePath();
        if (info.absoluteDir().exists())
            return info.absolutePath();
    }
    const QString fallback = defaultRecordingFolder(false);
    if (!fallback.isEmpty() && QFileInfo(fallback).isDir())
        return fallback;
    return QDir::homePath();
}

void choosePresetFile(QWidget *parent, bool saving, const QString &lastPreset,
                      std::function<void(const QString &file)> chosen)
{
    const QString start = lastPreset.isEmpty() ? LocalPresetSearch::presetsFolder() : lastPreset;
    const QString filter = QCoreApplication::translate("SetupWindow", "Preset File (*.mvr)");
    QFileDialog *dialog = nullptr;
    if (saving) {
        QDir().mkpath(LocalPresetSearch::presetsFolder());
        dialog = new QFileDialog(parent, QCoreApplication::translate("SetupWindow", "Save Preset File"), start, filter);
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
    } else {
        dialog = new QFileDialog(parent, QCoreApplication::translate("SetupWindow", "Open Preset File"),
                                 dialogFolder(start), filter);
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setDefaultSuffix(QStringLiteral("mvr"));
    QObject::connect(dialog, &QFileDialog::fileSelected, parent, std::move(chosen));
    dialog->open();
}
