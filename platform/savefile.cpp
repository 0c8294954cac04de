#include "platform/savefile.h"

#include <QSaveFile>

namespace platform {

bool replaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // Unbuffered, so that a write that fails is seen by the write itself: a buffered write
    // error met only while closing would not stop commit() from renaming a short file over
    // the old one.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace platform
