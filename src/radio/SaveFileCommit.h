#pragma once

#include <QSaveFile>

// QSaveFile::commit() in Qt 5.15 ignores a failure of its final flush: a small file that
// still sits in the write buffer when the disk is full is committed empty or cut short.
// Flushing first, and giving up on failure, keeps the old file whole.
inline bool commitSaveFile(QSaveFile &file)
{
    if (!file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
