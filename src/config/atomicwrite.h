#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes, or leaves it untouched: the bytes go to a
// temporary file in the same folder that is renamed over the old file only once
// everything was written. Returns false (old file intact, no temporary left) when
// the folder is missing, the disk is full or the file cannot be replaced.
bool writeFileAtomically(const QString &path, const QByteArray &bytes);
