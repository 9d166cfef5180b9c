#include "config/atomicwrite.h"

#include <QSaveFile>

bool writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // Unbuffered, so that a short write (full disk, file size limit) shows in the
    // result of write(): a buffered QSaveFile can lose the tail in its final flush
    // and still commit the cut file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            file.cancelWriting();
            return false;
        }
        done += written;
    }
    return file.commit();
}
